// The capture loop over a device that delivers in odd pieces, and over a poll that comes later
// than the ten buffers last: the loop shows every block it can, goes on polling, and STOP ends
// the run with the device closed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "capture/RecordWave.h"
#include "platform/messagebox.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/FakeMainWindow.h"
#include "tests/support/WaveInFixtures.h"

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kFrames = 4410;  // one buffer at 44100 Hz

class WaveInFaultRunCaptureTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetGlobals();
    FormMain = &window_;
    environment_.Set("CORVANE_NO_ALSA", "1");
    environment_.Set("CORVANE_NO_GENERATOR", "1");
    environment_.Unset("CORVANE_INPUT_FILE");
    ClearScriptedWaveIns();
    SetMessageBoxHook([this](const MessageBoxCall& call) { messages_.push_back(call.text); });
    SampleRate = 44100;
    TimeBaseMs = 5.0F;  // one buffer per block
    window_.SetChecked(DisplayCheckBox::F1, false);
    window_.SetChecked(DisplayCheckBox::F2, false);
  }
  void TearDown() override {
    SetMessageBoxHook({});
    ClearScriptedWaveIns();
    waveInGetNumDevs();
  }

  // Runs the capture on device 0; each poll's message processing calls poll until it returns
  // false, which is STOP. A run that goes on for too long is stopped as a failure.
  void Run(const std::function<bool()>& poll) {
    const auto giveUp = std::chrono::steady_clock::now() + 30s;
    window_.OnProcessMessages = [&] {
      if (std::chrono::steady_clock::now() > giveUp) {
        ADD_FAILURE() << "the run never came to its end";
        Capturing = 0;
      } else if (!poll()) {
        Capturing = 0;
      }
    };
    DeviceIndex = 0;
    Capturing = 1;
    RunCapture();
    window_.OnProcessMessages = nullptr;
  }

  // Device 0 is free: nothing of the run holds it open.
  static bool DeviceZeroOpens() {
    TestCapture capture({BufferBytesFor(44100, 10)});
    return capture.Open(0, 44100) == MMSYSERR_NOERROR;
  }

  TempDir temp_;
  ScopedEnvironment environment_;
  FakeMainWindow window_;
  std::vector<std::string> messages_;
};

TEST_F(WaveInFaultRunCaptureTest, PiecesOfAnySizeMakeTheSameBlocksAsWholeBuffers) {
  const auto device = std::make_shared<ScriptedWaveIn>("Scripted", WAVE_FORMAT_4S16);
  RegisterScriptedWaveIn(device);
  ASSERT_EQ(waveInGetNumDevs(), 1U);
  // Three buffers of numbered frames, in pieces of no frame, one frame, a frame and a half
  // (the half is no frame and goes), and one across the end of a buffer.
  std::vector<std::int16_t> stream;
  for (std::size_t j = 0; j < 3 * kFrames; ++j) {
    stream.push_back(static_cast<std::int16_t>(j));
    stream.push_back(static_cast<std::int16_t>(-static_cast<int>(j % 30000)));
  }
  const std::vector<std::size_t> pieceSamples{0, 2, 3, 1, 2 * (kFrames - 10), 40, 0};
  std::vector<std::vector<std::int16_t>> blocks;
  std::size_t next = 0;
  std::size_t piece = 0;
  std::size_t shown = 0;
  Run([&] {
    if (window_.WindowChangedCalls() > static_cast<int>(shown)) {
      shown = static_cast<std::size_t>(window_.WindowChangedCalls());
      blocks.emplace_back(Channel1Block.begin(), Channel1Block.begin() + kFrames);
    }
    if (next >= stream.size()) return blocks.size() < 3;
    const std::size_t samples =
        std::min(pieceSamples[piece++ % pieceSamples.size()], stream.size() - next);
    const std::size_t whole = samples - samples % 2;
    EXPECT_TRUE(device->Deliver({stream.data() + next, samples}));
    next += whole;
    return true;
  });
  ASSERT_EQ(blocks.size(), 3U);
  for (std::size_t k = 0; k < 3; ++k) {
    for (std::size_t j = 0; j < kFrames; ++j) {
      ASSERT_EQ(blocks[k][j], static_cast<std::int16_t>(k * kFrames + j)) << k << " " << j;
    }
  }
  EXPECT_FALSE(device->IsOpen());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(WaveInFaultRunCaptureTest, APollLaterThanTheTenBuffersLoseTheGapAndTheRunGoesOn) {
  environment_.Unset("CORVANE_NO_GENERATOR");
  ASSERT_EQ(waveInGetNumDevs(), 1U);
  bool stalled = false;
  int shownAfterStall = -1;
  Run([&] {
    if (!stalled && window_.WindowChangedCalls() >= 2) {
      // A message box or a window move holds the loop until the device has had to drop.
      stalled = true;
      EXPECT_TRUE(WaitUntil([] { return WaveInDroppedFrames(WaveHandle) > 0; }));
      shownAfterStall = window_.WindowChangedCalls();
    }
    return !stalled || window_.WindowChangedCalls() < shownAfterStall + 3;
  });
  EXPECT_TRUE(stalled);
  EXPECT_GE(window_.WindowChangedCalls(), shownAfterStall + 3);
  EXPECT_EQ(WaveHandle, nullptr);
  EXPECT_TRUE(DeviceZeroOpens());
  EXPECT_TRUE(messages_.empty());
}

}  // namespace
