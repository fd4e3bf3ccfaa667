// The ALSA device list and open against a configuration of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/wavein/scripted_device.h"
#include "tests/support/WaveInFixtures.h"

namespace {

class WaveInAlsaTest : public testing::Test {
 protected:
  void SetUp() override {
    ClearScriptedWaveIns();
    environment_.Set("CORVANE_NO_GENERATOR", "1");
    environment_.Unset("CORVANE_INPUT_FILE");
    WriteRaw(Infile(), PatternFrames(0, 4410));
  }

  [[nodiscard]] std::filesystem::path Infile() const { return temp_.Path() / "pattern.raw"; }
  void Configure(const std::string& asoundrc) {
    UseAlsaConfiguration(environment_, temp_.Path(), asoundrc);
  }

  TempDir temp_;
  ScopedEnvironment environment_;
};

TEST_F(WaveInAlsaTest, ListsEachCaptureDeviceOnceLeavingOutNullAndWrappers) {
  const std::string infile = Infile().string();
  Configure(FileCaptureDevice("corvane_test", "Corvane Test Input\nsecond line", Infile(), "null") +
            "pcm.corvane_rate {\n  type rate\n  slave { pcm corvane_test rate 48000 }\n"
            "  hint.description \"Corvane Rate Wrapper\"\n}\n"
            "pcm.corvane_bytes {\n  type file\n  slave.pcm null\n  file \"/dev/null\"\n"
            "  infile \"" +
            infile +
            "\"\n  hint.description \"Caf\\351 \\377\\376 input\"\n}\n"
            "pcm.corvane_bare {\n  type file\n  slave.pcm null\n  file \"/dev/null\"\n"
            "  infile \"" +
            infile +
            "\"\n}\n"
            "pcm.corvane_missing {\n  type file\n  slave.pcm null\n  file \"/dev/null\"\n"
            "  infile \"" +
            (temp_.Path() / "absent.raw").string() +
            "\"\n  hint.description \"Corvane Missing\"\n}\n");

  const auto names = DeviceNames();
  const auto count = [&names](const std::string& name) {
    return std::count(names.begin(), names.end(), name);
  };
  // The definition and the namehint entry name the same device.
  EXPECT_EQ(count("Corvane Test Input"), 1);
  EXPECT_EQ(count("Caf\xE9 \xFF\xFE input"), 1);
  EXPECT_EQ(count("corvane_bare"), 1);  // no description: its name
  EXPECT_EQ(count("Corvane Rate Wrapper"), 0);
  EXPECT_EQ(count("Corvane Missing"), 0);  // does not open for capture
  EXPECT_EQ(count("null"), 0);
  EXPECT_EQ(count("Discard all samples (playback) or generate zero samples (capture)"), 0);
  const auto first = std::find(names.begin(), names.end(), "Corvane Test Input");
  const auto bytes = std::find(names.begin(), names.end(), "Caf\xE9 \xFF\xFE input");
  EXPECT_LT(first, bytes) << "the configuration's order";
}

TEST_F(WaveInAlsaTest, FormatsComeFromWhatTheDeviceAccepts) {
  Configure(FileCaptureDevice("corvane_test", "Corvane Test Input", Infile(), "null"));
  const int device = FindDevice("Corvane Test Input");
  ASSERT_GE(device, 0);
  WAVEINCAPSA caps{};
  ASSERT_EQ(waveInGetDevCapsA(static_cast<UINT>(device), &caps, sizeof(caps)), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.dwFormats, 0xFFFU);  // null and file take any rate, width and channel count
  EXPECT_EQ(caps.wChannels, 2);
}

TEST_F(WaveInAlsaTest, BusyDeviceStaysListedAndASecondOpenIsRefused) {
  Configure(FileCaptureDevice("corvane_test", "Corvane Test Input", Infile(), "null"));
  const int device = FindDevice("Corvane Test Input");
  ASSERT_GE(device, 0);
  TestCapture first({BufferBytesFor(44100, 10)});
  ASSERT_EQ(first.Open(static_cast<UINT>(device), 44100), MMSYSERR_NOERROR);

  // A fresh list while capturing, as the settings dialog makes it.
  const int again = FindDevice("Corvane Test Input");
  ASSERT_EQ(again, device);
  TestCapture second({BufferBytesFor(44100, 10)});
  EXPECT_EQ(second.Open(static_cast<UINT>(again), 44100), MMSYSERR_ALLOCATED);
  ASSERT_EQ(first.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(first.Start(), MMSYSERR_NOERROR);
  EXPECT_TRUE(first.WaitFull(0)) << "relisting disturbed the open device";
}

TEST_F(WaveInAlsaTest, ADeviceAtAFixedRateOffersOnlyThatRateAndRefusesOthers) {
  if (const std::string missing = JackServer::MissingReason(); !missing.empty()) {
    GTEST_SKIP() << missing;
  }
  Configure(
      "pcm.corvane_fixed {\n  type plug\n  slave { pcm \"jack\" rate \"unchanged\" }\n"
      "  hint.description \"Corvane Fixed Rate\"\n}\n");
  const JackServer jack(environment_, temp_.Path(), 44100);
  ASSERT_TRUE(jack.Started());
  ASSERT_TRUE(WaitUntil([] { return FindDevice("Corvane Fixed Rate") >= 0; }));
  const auto device = static_cast<UINT>(FindDevice("Corvane Fixed Rate"));
  WAVEINCAPSA caps{};
  ASSERT_EQ(waveInGetDevCapsA(device, &caps, sizeof(caps)), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.dwFormats,
            WAVE_FORMAT_4M08 | WAVE_FORMAT_4S08 | WAVE_FORMAT_4M16 | WAVE_FORMAT_4S16);

  TestCapture capture({BufferBytesFor(44100, 10)});
  EXPECT_EQ(capture.Open(device, 22050), WAVERR_BADFORMAT);
  ASSERT_EQ(capture.Open(device, 44100), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
  EXPECT_TRUE(capture.WaitFull(0));
}

TEST_F(WaveInAlsaTest, WithoutAJackServerListingLeavesJackOutAndPrintsNothing) {
  if (const std::string missing = JackServer::MissingReason(); !missing.empty()) {
    GTEST_SKIP() << missing;
  }
  Configure(FileCaptureDevice("corvane_test", "Corvane Test Input", Infile(), "null") +
            "pcm.corvane_over_jack {\n  type plug\n  slave.pcm \"jack\"\n"
            "  hint.description \"Corvane Over Jack\"\n}\n");
  testing::internal::CaptureStderr();
  const auto names = DeviceNames();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "");
  EXPECT_NE(std::find(names.begin(), names.end(), "Corvane Test Input"), names.end());
  for (const std::string& name : names) {
    EXPECT_EQ(name.find("JACK"), std::string::npos) << name;
    EXPECT_NE(name, "Corvane Over Jack");
  }
}

}  // namespace
