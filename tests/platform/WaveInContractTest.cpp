// The same promises checked against every kind of capture device: the generator, the audio
// file input, ALSA devices of the test's own configuration, an unpaced one over null (bit
// for bit, as fast as it is read) and a paced one over JACK's dummy driver when JACK is there,
// and the monitor of an output of a private sound server when one can be run.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/wavein/device.h"
#include "platform/wavein/generator_signal.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/FollowedSoundServer.h"
#include "tests/support/WaveInFixtures.h"

namespace {

enum class DeviceKind { Generator, File, AlsaUnpaced, AlsaPaced, ServerSource };

struct ContractCase {
  DeviceKind kind;
  DWORD rate;
};

std::string CaseName(const testing::TestParamInfo<ContractCase>& info) {
  constexpr std::array<const char*, 5> kinds{"Generator", "File", "AlsaUnpaced", "AlsaPaced",
                                             "ServerSource"};
  return kinds[static_cast<std::size_t>(info.param.kind)] + std::to_string(info.param.rate);
}

class WaveInContractTest : public testing::TestWithParam<ContractCase> {
 protected:
  static constexpr std::size_t kFileFrames = 1000;      // shorter than most buffers: the file loops
  static constexpr std::size_t kRawFrames = 3 * 44100;  // ALSA's file device repeats stale data
                                                        // past the end of its file
  static constexpr DWORD kTenSecondsOf44k = 10 * 44100 * 4;

  void SetUp() override {
    environment_.Set("CORVANE_NO_ALSA", "1");
    environment_.Set("CORVANE_NO_GENERATOR", "1");
    environment_.Unset("CORVANE_INPUT_FILE");
    environment_.Unset("CORVANE_GENERATOR");
    ClearScriptedWaveIns();
    const auto folder = temp_.Path();
    switch (GetParam().kind) {
      case DeviceKind::Generator:
        environment_.Unset("CORVANE_NO_GENERATOR");
        name_ = "Signal Generator";
        break;
      case DeviceKind::File:
        WriteWav(folder / "pattern.wav", static_cast<int>(Rate()), 2,
                 PatternFrames(0, kFileFrames));
        environment_.Set("CORVANE_INPUT_FILE", (folder / "pattern.wav").string());
        name_ = "pattern.wav";
        break;
      case DeviceKind::AlsaUnpaced:
        WriteRaw(folder / "pattern.raw", PatternFrames(0, kRawFrames));
        UseAlsaConfiguration(environment_, folder,
                             FileCaptureDevice("corvane_test", "Corvane Test Input",
                                               folder / "pattern.raw", "null"));
        name_ = "Corvane Test Input";
        break;
      case DeviceKind::AlsaPaced:
        if (const std::string missing = JackServer::MissingReason(); !missing.empty()) {
          GTEST_SKIP() << missing;
        }
        WriteRaw(folder / "pattern.raw", PatternFrames(0, kRawFrames));
        UseAlsaConfiguration(environment_, folder,
                             FileCaptureDevice("corvane_paced", "Corvane Paced Input",
                                               folder / "pattern.raw", "plug:jack"));
        jack_.emplace(environment_, folder, 44100);
        ASSERT_TRUE(jack_->Started());
        name_ = "Corvane Paced Input";
        // The device opens for capture, and so is listed, once the server runs.
        ASSERT_TRUE(WaitUntil([this] { return FindDevice(name_) >= 0; })) << "JACK never came up";
        break;
      case DeviceKind::ServerSource:
        if (const std::string missing = PulseServer::MissingReason(); !missing.empty()) {
          GTEST_SKIP() << missing;
        }
        pulse_.emplace(environment_, folder);
        pulse_->Server().LoadNullSink("corvane_contract", "Contract Output");
        pulse_->Server().PlayTone("corvane_contract", {});
        name_ = "Monitor: Contract Output";
        break;
    }
    device_ = FindDevice(name_);
    ASSERT_GE(device_, 0) << name_ << " is not listed";
  }

  [[nodiscard]] DWORD Rate() const { return GetParam().rate; }
  [[nodiscard]] bool Paced() const { return GetParam().kind != DeviceKind::AlsaUnpaced; }
  [[nodiscard]] DWORD Milliseconds(DWORD milliseconds) const {
    return BufferBytesFor(Rate(), milliseconds);
  }

  // The first frames a device gives after it was opened, as far as they are known (nothing of
  // a sound server's source, which plays on while nobody listens).
  [[nodiscard]] std::vector<std::int16_t> Expected(std::size_t frames) const {
    switch (GetParam().kind) {
      case DeviceKind::Generator: {
        SignalSynthesiser synthesiser(DefaultGeneratorSignal(), Rate());
        std::vector<std::int16_t> samples(2 * frames);
        synthesiser.Fill(samples.data(), frames);
        return samples;
      }
      case DeviceKind::File: {
        const auto file = PatternFrames(0, kFileFrames);
        std::vector<std::int16_t> samples;
        for (std::size_t j = 0; j < frames; ++j) {
          samples.push_back(file[2 * (j % kFileFrames)]);
          samples.push_back(file[2 * (j % kFileFrames) + 1]);
        }
        return samples;
      }
      case DeviceKind::ServerSource:
        return {};
      case DeviceKind::AlsaUnpaced:
      case DeviceKind::AlsaPaced:
        break;
    }
    return PatternFrames(0, std::min(frames, kRawFrames));
  }

  // Compares what was recorded with what the device should have given, as far as known.
  void ExpectSamplesFromTheStart(std::vector<std::int16_t> recorded) const {
    auto expected = Expected(recorded.size() / 2);
    recorded.resize(std::min(recorded.size(), expected.size()));
    EXPECT_EQ(FirstDifference(recorded, expected), -1);
  }

  TempDir temp_;
  ScopedEnvironment environment_;
  std::optional<JackServer> jack_;
  std::optional<FollowedSoundServer> pulse_;
  std::string name_;
  int device_ = -1;
};

TEST_P(WaveInContractTest, FillsBuffersInQueueOrderAndPublishesOnlyFullCounts) {
  TestCapture capture(std::vector<DWORD>(6, Milliseconds(10)));
  ASSERT_EQ(capture.Open(device_, Rate()), MMSYSERR_NOERROR);
  const std::vector<std::size_t> order{3, 0, 5, 1, 4, 2};
  for (const std::size_t k : order) ASSERT_EQ(capture.Queue(k), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);

  // Looking from the last queued back to the first: once a later buffer was seen full, every
  // earlier one must be full when looked at afterwards.
  bool inOrder = true;
  bool onlyFullCounts = true;
  ASSERT_TRUE(WaitUntil([&] {
    bool laterFull = false;
    bool allFull = true;
    for (auto k = order.rbegin(); k != order.rend(); ++k) {
      const DWORD count = BytesRecorded(capture.Header(*k));
      const bool full = count == capture.Header(*k).dwBufferLength;
      onlyFullCounts = onlyFullCounts && (full || count == 0);
      inOrder = inOrder && (full || !laterFull);
      laterFull = laterFull || full;
      allFull = allFull && full;
    }
    return allFull;
  }));
  EXPECT_TRUE(inOrder);
  EXPECT_TRUE(onlyFullCounts);
  ExpectSamplesFromTheStart(capture.Recorded(order));
}

TEST_P(WaveInContractTest, ResetReturnsEveryBufferWithOnlyTheOneBeingFilledShort) {
  // The long buffers outlast the test on a paced device, so one of them is being filled.
  TestCapture capture({Milliseconds(10), kTenSecondsOf44k, kTenSecondsOf44k});
  ASSERT_EQ(capture.Open(device_, Rate()), MMSYSERR_NOERROR);
  for (std::size_t k = 0; k < 3; ++k) ASSERT_EQ(capture.Queue(k), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(capture.WaitFull(0));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_EQ(capture.Reset(), MMSYSERR_NOERROR);

  // F full, P part of a buffer, E empty: full buffers first, then at most one partial one.
  std::string shape;
  for (std::size_t k = 0; k < 3; ++k) {
    const WAVEHDR& header = capture.Header(k);
    const DWORD count = BytesRecorded(capture.Header(k));
    EXPECT_NE(header.dwFlags & WHDR_DONE, 0U) << k;
    EXPECT_EQ(header.dwFlags & WHDR_INQUEUE, 0U) << k;
    EXPECT_EQ(count % WaveFrameBytes, 0U) << k;
    shape += count == header.dwBufferLength ? 'F' : count > 0 ? 'P' : 'E';
  }
  const auto rank = [](char state) { return state == 'F' ? 0 : state == 'P' ? 1 : 2; };
  EXPECT_TRUE(std::is_sorted(shape.begin(), shape.end(),
                             [&rank](char a, char b) { return rank(a) < rank(b); }) &&
              std::count(shape.begin(), shape.end(), 'P') <= 1)
      << shape;
  if (Paced()) {
    EXPECT_TRUE(shape == "FPE" || shape == "FEE") << shape;
  }
  ExpectSamplesFromTheStart(capture.Recorded({0, 1, 2}));
}

TEST_P(WaveInContractTest, NoThreadTouchesABufferAfterReset) {
  TestCapture capture({Milliseconds(10), kTenSecondsOf44k, Milliseconds(10)});
  ASSERT_EQ(capture.Open(device_, Rate()), MMSYSERR_NOERROR);
  for (std::size_t k = 0; k < 3; ++k) ASSERT_EQ(capture.Queue(k), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(capture.WaitFull(0));
  ASSERT_EQ(capture.Reset(), MMSYSERR_NOERROR);

  constexpr std::int16_t kPoison = 0x5A5A;
  constexpr DWORD kPoisonCount = 0xDEADBEEF;
  for (std::size_t k = 0; k < 3; ++k) {
    std::fill(capture.Samples(k).begin(), capture.Samples(k).end(), kPoison);
    capture.Header(k).dwBytesRecorded = kPoisonCount;
    capture.Header(k).dwFlags = WHDR_PREPARED;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // time for a stray write
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(std::count(capture.Samples(k).begin(), capture.Samples(k).end(), kPoison),
              static_cast<std::ptrdiff_t>(capture.Samples(k).size()))
        << k;
    EXPECT_EQ(capture.Header(k).dwBytesRecorded, kPoisonCount) << k;
    EXPECT_EQ(capture.Header(k).dwFlags, WHDR_PREPARED) << k;
  }
  EXPECT_EQ(capture.Close(), MMSYSERR_NOERROR);
}

TEST_P(WaveInContractTest, CloseIsRefusedWhileBuffersAreQueuedAndWorksOnceAfterReset) {
  TestCapture capture({Milliseconds(10), Milliseconds(10)});
  ASSERT_EQ(capture.Open(device_, Rate()), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Queue(1), MMSYSERR_NOERROR);
  const HWAVEIN handle = capture.Handle();
  // Before the start, so that a device faster than real time cannot have filled both already.
  EXPECT_EQ(waveInClose(handle), WAVERR_STILLPLAYING);
  ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
  EXPECT_TRUE(capture.WaitFull(1)) << "the refused close broke the device";

  ASSERT_EQ(capture.Reset(), MMSYSERR_NOERROR);
  EXPECT_EQ(capture.Close(), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(handle), MMSYSERR_INVALHANDLE);
}

TEST_P(WaveInContractTest, ReopensAfterCloseAndRecordsFromTheStart) {
  {
    TestCapture first({Milliseconds(10)});
    ASSERT_EQ(first.Open(device_, Rate()), MMSYSERR_NOERROR);
    ASSERT_EQ(first.Queue(0), MMSYSERR_NOERROR);
    ASSERT_EQ(first.Start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(first.WaitFull(0));
    ASSERT_EQ(first.Reset(), MMSYSERR_NOERROR);
    ASSERT_EQ(first.Close(), MMSYSERR_NOERROR);
  }
  TestCapture second({Milliseconds(20), Milliseconds(20)});
  ASSERT_EQ(second.Open(device_, Rate()), MMSYSERR_NOERROR);
  ASSERT_EQ(second.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(second.Queue(1), MMSYSERR_NOERROR);
  ASSERT_EQ(second.Start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(second.WaitFull(1));
  ExpectSamplesFromTheStart(second.Recorded({0, 1}));
}

TEST_P(WaveInContractTest, SecondOpenOfAnOpenDeviceReportsAllocated) {
  TestCapture first({Milliseconds(10)});
  TestCapture second({Milliseconds(10)});
  ASSERT_EQ(first.Open(device_, Rate()), MMSYSERR_NOERROR);
  EXPECT_EQ(second.Open(device_, Rate()), MMSYSERR_ALLOCATED);
  ASSERT_EQ(first.Close(), MMSYSERR_NOERROR);
  EXPECT_EQ(second.Open(device_, Rate()), MMSYSERR_NOERROR);
}

TEST_P(WaveInContractTest, FramesArrivingWithNoBufferQueuedAreDroppedAndCounted) {
  TestCapture capture({Milliseconds(10)});
  ASSERT_EQ(capture.Open(device_, Rate()), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
  EXPECT_TRUE(WaitUntil([&capture] { return WaveInDroppedFrames(capture.Handle()) > 0; }));
  ASSERT_EQ(capture.Queue(0), MMSYSERR_NOERROR);
  EXPECT_TRUE(capture.WaitFull(0));
}

TEST_P(WaveInContractTest, PacedDeviceNeverDeliversAheadOfTheClock) {
  if (!Paced()) GTEST_SKIP() << "this device gives its samples as fast as they are read";
  constexpr std::size_t kBuffers = 20;  // half a second
  TestCapture capture(std::vector<DWORD>(kBuffers, Milliseconds(25)));
  ASSERT_EQ(capture.Open(device_, Rate()), MMSYSERR_NOERROR);
  for (std::size_t k = 0; k < kBuffers; ++k) ASSERT_EQ(capture.Queue(k), MMSYSERR_NOERROR);
  // Slack for one delivery and the device's own buffering.
  const double slackFrames = 0.06 * Rate();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
  double worstLead = -slackFrames;
  ASSERT_TRUE(WaitUntil([&] {
    std::size_t full = 0;
    while (full < kBuffers && capture.Full(full)) ++full;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double frames = static_cast<double>(full * Milliseconds(25) / WaveFrameBytes);
    worstLead = std::max(worstLead, frames - elapsed * Rate());
    return full == kBuffers;
  }));
  EXPECT_LE(worstLead, slackFrames) << "frames recorded ahead of " << Rate() << " Hz";
}

INSTANTIATE_TEST_SUITE_P(WaveInDevices, WaveInContractTest,
                         testing::Values(ContractCase{DeviceKind::Generator, 22050},
                                         ContractCase{DeviceKind::Generator, 44100},
                                         ContractCase{DeviceKind::File, 22050},
                                         ContractCase{DeviceKind::File, 44100},
                                         ContractCase{DeviceKind::AlsaUnpaced, 22050},
                                         ContractCase{DeviceKind::AlsaUnpaced, 44100},
                                         ContractCase{DeviceKind::AlsaPaced, 22050},
                                         ContractCase{DeviceKind::AlsaPaced, 44100},
                                         ContractCase{DeviceKind::ServerSource, 22050},
                                         ContractCase{DeviceKind::ServerSource, 44100}),
                         CaseName);

}  // namespace
