// The settings file of the main window: loaded when it is first shown, saved when it closes,
// in a folder of the test's own.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QWindow>
#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/ProgramFiles.h"
#include "app/SettingsFile.h"
#include "app/main.h"
#include "platform/kernel.h"
#include "platform/messagebox.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/ScriptedDevicesTest.h"

namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public ScriptedDevicesTest {
 protected:
  void SetUp() override {
    ScriptedDevicesTest::SetUp();
    AddDevice("Line In", 0x880);
    std::string pattern = (fs::temp_directory_path() / "corvane-settings-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    path_ = (folder_ / "corvane.INI").string();
    SetSettingsFilePath(path_);
  }
  void TearDown() override {
    form_.reset();
    ScriptedDevicesTest::TearDown();
    fs::remove_all(folder_);
  }

  void WriteIni(const std::string& content) const {
    std::ofstream(path_, std::ios::binary) << content;
  }
  [[nodiscard]] std::string ReadIni() const {
    std::ifstream file(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }
  // A new main window, shown: its first show loads the file.
  void Start() {
    form_ = std::make_unique<TFormMain>();
    form_->show();
  }
  [[nodiscard]] std::array<QSlider*, 4> Sliders() const {
    return {form_->TBarAX, form_->TBarAY, form_->TBarFX, form_->TBarFY};
  }

  fs::path folder_;
  std::string path_;
  std::unique_ptr<TFormMain> form_;
};

TEST_F(SettingsFileTest, TheFileOfTheTestProgramLiesBesideIt) {
  SetSettingsFilePath("");
  EXPECT_EQ(SettingsFilePath(), SettingsFileFor(ExecutablePath()));
  EXPECT_TRUE(SettingsFilePath().ends_with("/corvane_tests.INI"));
}

TEST_F(SettingsFileTest, IntegersFollowTheReadingRules) {
  constexpr std::int32_t Default = -99;
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"7", 7},
      {"0x4", 4},
      {"0X1f", 31},
      {"$10", 16},
      {"x10", 16},
      {"X1A", 26},
      {"  -3", -3},
      {"+5", 5},
      {"-$10", -16},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"abc", Default},
      {"", Default},
      {"0x", Default},
      {"0x-4", Default},
      {"-0x4", Default},
      {"12abc", Default},
      {"7 ", Default},
      {"$", Default},
      {"--1", Default},
      {"2147483648", Default},
      {"0x80000000", Default},
      {"99999999999999999999999", Default},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseIniInteger(c.text, Default), c.expected) << '"' << c.text << '"';
  }
}

TEST_F(SettingsFileTest, StoredSliderPositionsAreClampedAndMoveOnlyWhenTheyChange) {
  struct Case {
    const char* scales;
    std::array<int, 4> positions;  // AX, AY, FX, FY
    std::array<int, 4> handlerRuns;
  };
  const Case cases[] = {
      {"AX=9\nAY=0\nFX=6\nFY=abc\n", {7, 1, 5, 1}, {1, 0, 1, 0}},
      {"AX=1\nAY=-3\nFX=2\nFY=\n", {1, 1, 2, 1}, {0, 0, 1, 0}},
      {"ax=0x3\nAy=$2\nFX=x5\nFY=0x4\n", {3, 2, 5, 4}, {1, 1, 1, 1}},
      {"", {1, 1, 1, 1}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    WriteIni(std::string("[Scales]\n") + c.scales);
    form_ = std::make_unique<TFormMain>();
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (QSlider* slider : Sliders()) {
      spies.push_back(std::make_unique<QSignalSpy>(slider, &QSlider::valueChanged));
    }
    form_->show();
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(Sliders()[i]->value(), c.positions[i]) << c.scales << "slider " << i;
      EXPECT_EQ(spies[i]->count(), c.handlerRuns[i]) << c.scales << "slider " << i;
    }
  }
  EXPECT_TRUE(messages_.empty());
}

// The desktop is the one upper limit: a damaged file asking for a window two billion pixels wide
// must not make the program allocate window and display bitmaps of gigabytes.
TEST_F(SettingsFileTest, StoredWindowSizeIsKeptWithinTheMinimumAndTheDesktop) {
  struct Case {
    const char* form;
    int width;
    int height;
  };
  const QSize desktop = QGuiApplication::primaryScreen()->virtualSize();
  const Case cases[] = {
      {"", 800, 600},
      {"Width=300\nHeight=100\n", 640, 580},
      {"Width=700\nHeight=590\n", 700, 590},
      {"Width=0x2BC\nHeight=big\n", 700, 600},
      {"Width=2000000000\nHeight=-5\n", std::max(640, desktop.width()), 580},
  };
  for (const Case& c : cases) {
    WriteIni(std::string("[Form]\n") + c.form);
    Start();
    EXPECT_EQ(form_->width(), c.width) << c.form;
    EXPECT_EQ(form_->height(), c.height) << c.form;
  }
}

TEST_F(SettingsFileTest, AFirstRunCreatesTheFileWithTheSixKeysInOrder) {
  ASSERT_FALSE(fs::exists(path_));
  Start();
  EXPECT_EQ(form_->width(), 800);
  EXPECT_EQ(form_->height(), 600);
  form_->close();
  EXPECT_EQ(ReadIni(), "[Scales]\nAX=1\nAY=1\nFX=1\nFY=1\n[Form]\nWidth=800\nHeight=600\n");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsFileTest, TheFirstSaveMakesTheMissingFoldersForTheUserOnly) {
  // As in a user's configuration folder that has no folder for the program yet.
  const fs::path folder = folder_ / "config" / "corvane";
  path_ = (folder / "corvane.INI").string();
  SetSettingsFilePath(path_);
  Start();
  EXPECT_FALSE(fs::exists(folder_ / "config")) << "loading makes nothing";
  form_->TBarFX->setValue(2);
  form_->close();
  EXPECT_EQ(ReadIni(), "[Scales]\nAX=1\nAY=1\nFX=2\nFY=1\n[Form]\nWidth=800\nHeight=600\n");
  EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(folder_ / "config").permissions(), fs::perms::owner_all);
  EXPECT_TRUE(messages_.empty());
  Start();
  EXPECT_EQ(form_->TBarFX->value(), 2);
}

TEST_F(SettingsFileTest, SlidersAndSizeSurviveARestartAndOtherLinesStay) {
  WriteIni(
      "; written by hand\r\n[Scales]\r\nAX=1\r\nAY=1\r\nFX=1\r\nFY=1\r\n\r\n[Colours]\r\n"
      "Trace=yellow\r\n[Form]\r\nWidth=800\r\nHeight=600\r\n");
  Start();
  form_->TBarAX->setValue(3);
  form_->TBarFY->setValue(6);
  form_->resize(760, 590);
  form_->close();
  EXPECT_EQ(ReadIni(),
            "; written by hand\r\n[Scales]\r\nAX=3\r\nAY=1\r\nFX=1\r\nFY=6\r\n\r\n[Colours]\r\n"
            "Trace=yellow\r\n[Form]\r\nWidth=760\r\nHeight=590\r\n");

  Start();
  EXPECT_EQ(form_->TBarAX->value(), 3);
  EXPECT_EQ(form_->TBarAY->value(), 1);
  EXPECT_EQ(form_->TBarFX->value(), 1);
  EXPECT_EQ(form_->TBarFY->value(), 6);
  EXPECT_EQ(form_->size(), QSize(760, 590));
  // Nothing moved: the same six values go back.
  const std::string before = ReadIni();
  form_->close();
  EXPECT_EQ(ReadIni(), before);
}

TEST_F(SettingsFileTest, AWindowMadeSmallerThanItsMinimumSavesTheMinimum) {
  // Without a window manager another program can size the window below its minimum; the
  // file keeps only sizes that a load takes as they are.
  Start();
  form_->windowHandle()->resize(3, 2);
  QCoreApplication::processEvents();
  ASSERT_LT(form_->width(), 640);
  form_->close();
  EXPECT_EQ(ReadIni(), "[Scales]\nAX=1\nAY=1\nFX=1\nFY=1\n[Form]\nWidth=640\nHeight=580\n");
}

TEST_F(SettingsFileTest, AnUnwritableFolderShowsTheErrorAndTheWindowClosesAnyway) {
  // A folder that is a file cannot be written, not even by root.
  const fs::path notAFolder = folder_ / "not-a-folder";
  std::ofstream(notAFolder) << "file";
  const std::string path = (notAFolder / "corvane.INI").string();
  SetSettingsFilePath(path);
  Start();
  form_->close();
  ASSERT_EQ(messages_.size(), 1U);
  EXPECT_EQ(messages_[0].text, "Unable to write to " + path + ".");
  EXPECT_EQ(messages_[0].caption, "Corvane");
  EXPECT_EQ(messages_[0].type, MB_OK | MB_ICONERROR);
  EXPECT_FALSE(form_->isVisible());
}

TEST_F(SettingsFileTest, AWriteThatFailsSkipsTheRestAndKeepsWhatWasWritten) {
  Start();
  // A disk that fills up after the first two values: 19 bytes fit, 24 do not.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = old;
  limited.rlim_cur = 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  form_->close();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(ReadIni(), "[Scales]\nAX=1\nAY=1\n");
  ASSERT_EQ(messages_.size(), 1U);
  EXPECT_EQ(messages_[0].text, "Unable to write to " + path_ + ".");
  EXPECT_FALSE(form_->isVisible());
}

}  // namespace
