// The program on a private sound server: device 0 is the desktop's default source, named in
// full in the caption, and with the monitor of an output chosen START shows what it plays.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/Settings.h"
#include "app/main.h"
#include "platform/messagebox.h"
#include "platform/wavein.h"
#include "platform/wavein/device_list.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/FollowedSoundServer.h"
#include "tests/support/WaveInFixtures.h"

namespace {

constexpr int CaptureMilliseconds = 700;

// The first samples of both channels' blocks, interleaved.
std::vector<std::int16_t> Interleaved(int samples) {
  std::vector<std::int16_t> frames;
  for (int i = 0; i < samples; ++i) {
    frames.push_back(Channel1Block[static_cast<std::size_t>(i)]);
    frames.push_back(Channel2Block[static_cast<std::size_t>(i)]);
  }
  return frames;
}

class SoundServerCaptureTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = PulseServer::MissingReason(); !missing.empty()) {
      GTEST_SKIP() << missing;
    }
    ResetGlobals();
    ClearScriptedWaveIns();
    SetMessageBoxHook([this](const MessageBoxCall& call) { messages_.push_back(call.text); });
    environment_.Set("CORVANE_NO_ALSA", "1");
    environment_.Set("CORVANE_NO_GENERATOR", "1");
    environment_.Unset("CORVANE_INPUT_FILE");
    server_.emplace(environment_, temp_.Path());
  }
  void TearDown() override {
    dialog_.reset();
    form_.reset();
    SetMessageBoxHook({});
  }

  TempDir temp_;
  ScopedEnvironment environment_;
  std::optional<FollowedSoundServer> server_;
  std::vector<std::string> messages_;
  std::unique_ptr<TFormMain> form_;
  std::unique_ptr<TFormSettings> dialog_;
};

TEST_F(SoundServerCaptureTest, TheDefaultMonitorShowsWhatIsPlaying) {
  server_->Server().LoadNullSink("corvane_speakers", "Desk Speakers");
  server_->Server().PlayTone(
      "corvane_speakers", {.leftHz = 1000, .leftLevel = 0.5, .rightHz = 440, .rightLevel = 0.25});
  ASSERT_TRUE(server_->Server().SetDefaultSource("corvane_speakers.monitor"));
  RefreshDeviceLists();

  form_ = std::make_unique<TFormMain>();
  dialog_ = std::make_unique<TFormSettings>();
  EXPECT_EQ(form_->windowTitle().toStdString(), "Corvane - Default: Monitor: Desk Speakers");
  ASSERT_EQ(SampleRate, 44100U);

  QTimer::singleShot(CaptureMilliseconds, form_.get(), [this] { form_->BitBtnStart->click(); });
  form_->BitBtnStartClick();
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(Capturing, 0);
  // The last block shown: 4410 samples per channel at the 10 ms time base.
  const std::vector<std::int16_t> block = Interleaved(4410);
  EXPECT_NEAR(MeasureTone(block, 0, 44100, 0).level, 0.5, 0.02);
  EXPECT_NEAR(MeasureTone(block, 1, 44100, 0).level, 0.25, 0.02);
}

}  // namespace
