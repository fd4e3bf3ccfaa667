// A settings folder that can no longer be written when the main window closes: it turned
// read-only, or a file took its place, after the settings were loaded and while the window
// captures from the generator. Closing still ends the run and frees the device, says why the
// settings were not saved, and leaves the settings file as it was.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/SettingsFile.h"
#include "app/main.h"
#include "capture/RecordWave.h"
#include "tests/support/ScriptedDevicesTest.h"
#include "tests/support/WaveInFixtures.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// While it lives, the calling thread writes only where permission bits let it, as any user but
// root does: root's capabilities that override them leave the thread's effective set (its
// permitted set keeps them, to come back).
class PermissionBitsApply {
 public:
  PermissionBitsApply() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    dropped_ = syscall(SYS_capget, &header, saved_.data()) == 0;
    if (!dropped_) return;
    std::array<__user_cap_data_struct, 2> lowered = saved_;
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
      lowered[0].effective &= ~(1U << static_cast<unsigned>(capability));
    }
    dropped_ = syscall(SYS_capset, &header, lowered.data()) == 0;
  }
  PermissionBitsApply(const PermissionBitsApply&) = delete;
  PermissionBitsApply& operator=(const PermissionBitsApply&) = delete;
  ~PermissionBitsApply() {
    if (!dropped_) return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    syscall(SYS_capset, &header, saved_.data());
  }
  [[nodiscard]] bool Applied() const { return dropped_ || geteuid() != 0; }

 private:
  std::array<__user_cap_data_struct, 2> saved_{};
  bool dropped_ = false;
};

class SettingsFaultTest : public ScriptedDevicesTest,
                          public testing::WithParamInterface<bool /*replaced by a file*/> {
 protected:
  static constexpr const char* kSaved =
      "; kept by hand\n[Scales]\nAX=3\nAY=2\nFX=1\nFY=4\n[Form]\nWidth=700\nHeight=590\n"
      "[Other]\nkey=value\n";

  void SetUp() override {
    ScriptedDevicesTest::SetUp();
    environment_.Unset("CORVANE_NO_GENERATOR");
    environment_.Unset("CORVANE_GENERATOR");
    folder_ = temp_.Path() / "corvane";
    fs::create_directory(folder_);
    std::ofstream(folder_ / "corvane.INI", std::ios::binary) << kSaved;
    SetSettingsFilePath((folder_ / "corvane.INI").string());
  }
  void TearDown() override {
    fs::permissions(folder_, fs::perms::owner_all);
    form_.reset();
    ScriptedDevicesTest::TearDown();
    waveInGetNumDevs();
  }

  static std::string Read(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

  TempDir temp_;
  ScopedEnvironment environment_;
  fs::path folder_;
  std::unique_ptr<TFormMain> form_;
};

TEST_P(SettingsFaultTest, ClosingStopsTheRunSaysSoAndKeepsTheSettingsFileAsItWas) {
  form_ = std::make_unique<TFormMain>();
  form_->show();
  ASSERT_EQ(form_->TBarAX->value(), 3);
  ASSERT_EQ(DeviceName(InputDeviceCaps[0]), "Signal Generator");
  fs::path kept = folder_ / "corvane.INI";

  std::optional<PermissionBitsApply> permissionBits;
  // Once a block of the generator's sine has been shown.
  const auto blockShown = [] {
    return std::any_of(Channel1Block.begin(), Channel1Block.begin() + 1000,
                       [](std::int16_t sample) { return sample != 0; });
  };
  WhenInsideTheRun(*form_, blockShown, [&] {
    form_->TBarAX->setValue(5);
    if (GetParam()) {
      kept = temp_.Path() / "moved" / "corvane.INI";
      fs::rename(folder_, kept.parent_path());
      std::ofstream(folder_) << "a file where the folder was\n";
    } else {
      fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
      permissionBits.emplace();
    }
    form_->close();
  });
  form_->BitBtnStart->click();
  const bool bitsApplied = !permissionBits || permissionBits->Applied();
  permissionBits.reset();

  EXPECT_FALSE(CaptureRunActive());
  EXPECT_EQ(Capturing, 0);
  // The generator is free again: it opens.
  TestCapture capture({BufferBytesFor(44100, 10)});
  EXPECT_EQ(capture.Open(0, 44100), MMSYSERR_NOERROR);
  if (!bitsApplied) GTEST_SKIP() << "this thread cannot give up root's file capabilities";
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Unable to write to " +
                                                      (folder_ / "corvane.INI").string() + "."}));
  EXPECT_EQ(Read(kept), kSaved);
  if (GetParam()) {
    EXPECT_EQ(Read(folder_), "a file where the folder was\n");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(kept.parent_path()), fs::directory_iterator()), 1)
      << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(FolderUnwritable, SettingsFaultTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& param) {
                           return param.param ? "ReplacedByAFile" : "ReadOnly";
                         });

}  // namespace
