// The audio file input: its name and formats, mono files, files at other rates, files that
// cannot seek, and files that cannot be played. Queue order, looping and pacing are in
// WaveInContractTest.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/wavein/scripted_device.h"
#include "tests/support/WaveInFixtures.h"

namespace {

class WaveInFileTest : public testing::Test {
 protected:
  void SetUp() override {
    ClearScriptedWaveIns();
    environment_.Set("CORVANE_NO_ALSA", "1");
    environment_.Set("CORVANE_NO_GENERATOR", "1");
  }

  // Lists path as the file input, which must be the only device.
  void UseFile(const std::filesystem::path& path) {
    environment_.Set("CORVANE_INPUT_FILE", path.string());
    ASSERT_EQ(waveInGetNumDevs(), 1U);
  }

  TempDir temp_;
  ScopedEnvironment environment_;
};

// Rising zero crossings and the largest value of one channel of interleaved samples.
struct ChannelShape {
  int risingCrossings = 0;
  int peak = 0;
};
ChannelShape Shape(const std::vector<std::int16_t>& samples, std::size_t channel) {
  ChannelShape shape;
  for (std::size_t i = channel + 2; i < samples.size(); i += 2) {
    if (samples[i - 2] < 0 && samples[i] >= 0) ++shape.risingCrossings;
    shape.peak = std::max<int>(shape.peak, samples[i]);
  }
  return shape;
}

TEST_F(WaveInFileTest, IsNamedAfterItsBaseNameAndOffersSixteenBitFormats) {
  const std::string name = "a-rather-long-recording-name-for-the-scope.wav";
  WriteWav(temp_.Path() / name, 44100, 2, PatternFrames(0, 500));
  UseFile(temp_.Path() / name);
  WAVEINCAPSA caps{};
  ASSERT_EQ(waveInGetDevCapsA(0, &caps, sizeof(caps)), MMSYSERR_NOERROR);
  EXPECT_EQ(std::string(caps.szPname), name.substr(0, 31));
  EXPECT_EQ(caps.dwFormats, WAVE_FORMAT_1M16 | WAVE_FORMAT_1S16 | WAVE_FORMAT_2M16 |
                                WAVE_FORMAT_2S16 | WAVE_FORMAT_4M16 | WAVE_FORMAT_4S16);
}

TEST_F(WaveInFileTest, MonoFileFeedsBothChannels) {
  constexpr std::size_t kFrames = 1000;
  const auto mono = LeftChannel(PatternFrames(0, kFrames));
  WriteWav(temp_.Path() / "mono.wav", 44100, 1, mono);
  UseFile(temp_.Path() / "mono.wav");
  TestCapture capture({BufferBytesFor(44100, 100)});
  ASSERT_EQ(capture.Open(0, 44100), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(capture.WaitFull(0));
  std::vector<std::int16_t> expected;
  for (std::size_t j = 0; j < 4410; ++j) {
    expected.push_back(mono[j % kFrames]);
    expected.push_back(mono[j % kFrames]);
  }
  EXPECT_EQ(FirstDifference(capture.Recorded({0}), expected), -1);
}

TEST_F(WaveInFileTest, FileAtAnotherRateIsConvertedToTheOpenedRate) {
  struct Case {
    int fileRate;
    DWORD openedRate;
  };
  for (const Case c : {Case{22050, 44100}, Case{44100, 22050}, Case{48000, 44100}}) {
    SCOPED_TRACE(std::to_string(c.fileRate) + " Hz opened at " + std::to_string(c.openedRate));
    const auto path = temp_.Path() / ("sines" + std::to_string(c.fileRate) + ".wav");
    WriteWav(
        path, c.fileRate, 2,
        SineFrames(c.fileRate, static_cast<std::size_t>(c.fileRate), 1000.0, 0.5, 250.0, 0.25));
    UseFile(path);
    TestCapture capture(std::vector<DWORD>(3, BufferBytesFor(c.openedRate, 100)));
    ASSERT_EQ(capture.Open(0, c.openedRate), MMSYSERR_NOERROR);
    for (std::size_t k = 0; k < 3; ++k) ASSERT_EQ(capture.Queue(k), MMSYSERR_NOERROR);
    ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(capture.WaitFull(2));
    // The last buffer, well past the converter's start: 100 ms hold 100 and 25 periods.
    const auto samples = capture.Recorded({2});
    const ChannelShape left = Shape(samples, 0);
    const ChannelShape right = Shape(samples, 1);
    EXPECT_NEAR(left.risingCrossings, 100, 1);
    EXPECT_NEAR(right.risingCrossings, 25, 1);
    EXPECT_NEAR(left.peak, 16384, 500);
    EXPECT_NEAR(right.peak, 8192, 250);
  }
}

// GSM 6.10 cannot seek, so the loop opens the file again instead of rewinding it.
TEST_F(WaveInFileTest, FileThatCannotSeekIsListedAndLoops) {
  const auto path = temp_.Path() / "speech.wav";
  SF_INFO info{};
  info.samplerate = 8000;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_GSM610;
  {
    const std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_WRITE, &info),
                                                           &sf_close);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    const auto tone = LeftChannel(SineFrames(8000, 1000, 300.0, 0.5, 300.0, 0.5));
    ASSERT_EQ(sf_writef_short(file.get(), tone.data(), 1000), 1000);
  }
  SF_INFO decoded{};
  sf_close(sf_open(path.c_str(), SFM_READ, &decoded));
  ASSERT_EQ(decoded.seekable, 0);
  const auto frames = static_cast<std::size_t>(decoded.frames);

  testing::internal::CaptureStderr();
  UseFile(path);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  TestCapture capture({BufferBytesFor(8000, 500)});
  ASSERT_EQ(capture.Open(0, 8000), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(capture.WaitFull(0));
  const auto samples = capture.Recorded({0});
  ASSERT_GT(samples.size(), 4 * frames);
  EXPECT_GT(Shape(samples, 0).peak, 8000);
  for (std::size_t i = 0; i + 2 * frames < samples.size(); ++i) {
    ASSERT_EQ(samples[i + 2 * frames], samples[i]) << i;
  }
}

TEST_F(WaveInFileTest, UnplayableFileIsLeftOutWithOneLineSayingWhy) {
  const auto folder = temp_.Path();
  std::ofstream(folder / "notes.wav") << "not a sound file\n";
  WriteWav(folder / "empty.wav", 44100, 2, {});
  // Two megahertz: converting it would hold the device thread far longer than it plays.
  const std::filesystem::path tooFast =
      CORVANE_SOURCE_DIR "/tests/fuzz/audio_file/regressions/gsm-93-channels-2-mhz.aifc";
  for (const auto& path :
       {folder / "absent.wav", folder / "notes.wav", folder / "empty.wav", folder, tooFast}) {
    environment_.Set("CORVANE_INPUT_FILE", path.string());
    testing::internal::CaptureStderr();
    const UINT count = waveInGetNumDevs();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count, 0U) << path;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(path.string()), std::string::npos) << said;
  }
}

}  // namespace
