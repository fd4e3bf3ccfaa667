// The Options and Help commands of the main window, with the platform calls recorded.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/About.h"
#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/ProgramFiles.h"
#include "app/Settings.h"
#include "app/main.h"
#include "platform/kernel.h"
#include "platform/shell.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/ScriptedDevicesTest.h"

namespace {

class MenuCommandsTest : public ScriptedDevicesTest {
 protected:
  void SetUp() override {
    ScriptedDevicesTest::SetUp();
    AddDevice("Line In", 0x880);
    SetShellHook([this](const ShellCall& call) { calls_.push_back(call); });
    form_ = std::make_unique<TFormMain>();
    about_ = std::make_unique<TFormAbout>();
    settings_ = std::make_unique<TFormSettings>();
  }
  void TearDown() override {
    settings_.reset();
    about_.reset();
    form_.reset();
    SetShellHook({});
    ScriptedDevicesTest::TearDown();
  }

  std::unique_ptr<TFormMain> form_;
  std::unique_ptr<TFormAbout> about_;
  std::unique_ptr<TFormSettings> settings_;
  std::vector<ShellCall> calls_;
};

TEST_F(MenuCommandsTest, VolumeControlStartsTheCommandLineOfTheSystemVersion) {
  struct Case {
    std::uint8_t vistaOrLater;
    const char* commandLine;
  };
  for (const Case& c : {Case{1, "control mmsys.cpl,,1"}, Case{0, "Sndvol32.exe -R"}}) {
    calls_.clear();
    IsVistaOrLater = c.vistaOrLater;
    form_->MenuVolumeClick();
    ASSERT_EQ(calls_.size(), 1U);
    EXPECT_EQ(calls_[0].function, "WinExec");
    EXPECT_EQ(calls_[0].commandLine, c.commandLine);
    EXPECT_EQ(calls_[0].showCmd, SW_SHOWNORMAL);
  }
}

TEST_F(MenuCommandsTest, VolumeControlDoesNothingWhileCapturing) {
  Capturing = 1;
  form_->MenuVolumeClick();
  EXPECT_TRUE(calls_.empty());
}

TEST_F(MenuCommandsTest, HelpContentsOpensTheHelpBesideTheBuildsProgramMaximised) {
  // The build puts the pages beside its programs; the compiled help only beside corvane.
  const HelpFiles help = HelpFilesFor(ExecutablePath());
  ASSERT_TRUE(std::filesystem::is_regular_file(help.pages)) << help.pages;
  ASSERT_FALSE(std::filesystem::exists(help.compiled)) << help.compiled;
  for (const std::uint8_t capturing : {0, 1}) {
    calls_.clear();
    Capturing = capturing;
    form_->menuContentsClick();
    ASSERT_EQ(calls_.size(), 1U);
    EXPECT_EQ(calls_[0].function, "ShellExecuteA");
    EXPECT_EQ(calls_[0].verb, "open");
    EXPECT_EQ(calls_[0].file, help.pages);
    EXPECT_TRUE(calls_[0].file.ends_with("/help/index.html"));
    EXPECT_EQ(calls_[0].argv, (std::vector<std::string>{"xdg-open", help.pages}));
    EXPECT_EQ(calls_[0].parameters, "");
    EXPECT_EQ(calls_[0].directory, "");
    EXPECT_EQ(calls_[0].showCmd, SW_SHOWMAXIMIZED);
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(MenuCommandsTest, SettingsAndAboutOpenModelessAndOnlyOnce) {
  form_->MenuSettingsClick();
  EXPECT_TRUE(settings_->isVisible());
  EXPECT_EQ(settings_->CmbBoxInDev->count(), 1);
  form_->menuAboutClick();
  form_->menuAboutClick();
  EXPECT_TRUE(about_->isVisible());
  int aboutBoxes = 0;
  for (const QWidget* window : QApplication::topLevelWidgets()) {
    if (qobject_cast<const TFormAbout*>(window) != nullptr && window->isVisible()) ++aboutBoxes;
  }
  EXPECT_EQ(aboutBoxes, 1);
  EXPECT_TRUE(calls_.empty());
}

}  // namespace
