// Sound-server sources as capture devices, against a private server of the test's own: the
// list by description, monitors included, the tone of each channel, and sources or a server
// that go away while a capture runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "app/Global.h"
#include "capture/RecordWave.h"
#include "platform/wavein.h"
#include "platform/wavein/device_list.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/FollowedSoundServer.h"
#include "tests/support/WaveInFixtures.h"

namespace {

using namespace std::chrono_literals;

// Long enough for a hang to be one, short of the test's own timeout.
constexpr auto HangLimit = 20s;

// Runs action on a thread of its own and says whether it came back within HangLimit.
template <typename Action>
bool ReturnsInTime(Action action) {
  auto done = std::async(std::launch::async, action);
  return done.wait_for(HangLimit) == std::future_status::ready;
}

class WaveInPulseTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = PulseServer::MissingReason(); !missing.empty()) {
      GTEST_SKIP() << missing;
    }
    ClearScriptedWaveIns();
    environment_.Set("CORVANE_NO_ALSA", "1");
    environment_.Set("CORVANE_NO_GENERATOR", "1");
    environment_.Unset("CORVANE_INPUT_FILE");
    server_.emplace(environment_, temp_.Path());
  }

  PulseServer& Server() { return server_->Server(); }

  // The device called name after a fresh listing, or -1.
  static int Device(const std::string& name) { return FindDevice(name); }

  // Captures seconds of sound from device at rate into buffers of 100 ms.
  static std::vector<std::int16_t> Capture(int device, DWORD rate, std::size_t buffers) {
    TestCapture capture(std::vector<DWORD>(buffers, BufferBytesFor(rate, 100)));
    if (capture.Open(static_cast<UINT>(device), rate) != MMSYSERR_NOERROR) return {};
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < buffers; ++k) {
      capture.Queue(k);
      order.push_back(k);
    }
    capture.Start();
    if (!capture.WaitFull(buffers - 1)) return {};
    return capture.Recorded(order);
  }

  TempDir temp_;
  ScopedEnvironment environment_;
  std::optional<FollowedSoundServer> server_;
};

TEST_F(WaveInPulseTest, ListsTheDefaultFirstThenEverySourceByItsDescription) {
  Server().LoadNullSink("corvane_tone", "Corvane Tone Output");
  Server().LoadPipeSource("corvane_line", "Bench Line Input");
  ASSERT_TRUE(Server().SetDefaultSource("corvane_line"));

  const auto names = DeviceNames();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names[0], "Default: Bench Line Input");
  EXPECT_NE(Device("Bench Line Input"), -1);
  EXPECT_NE(Device("Monitor: Corvane Tone Output"), -1);
  for (const std::string& name : names) EXPECT_LE(name.size(), 31U) << name;

  // The default entry follows the desktop's choice.
  ASSERT_TRUE(Server().SetDefaultSource("corvane_tone.monitor"));
  EXPECT_TRUE(WaitUntil([] { return DeviceNames()[0] == "Default: Monitor: Corvane Tone"; }, 10s))
      << DeviceNames()[0];
}

TEST_F(WaveInPulseTest, LongAndNonAsciiDescriptionsFitByWholeWords) {
  Server().LoadNullSink("corvane_elan", "\xC3\x89lan Studio Monitor Output Stage 3");
  Server().LoadPipeSource("corvane_bench",
                          "Bench Microphone (USB) \xE2\x80\x93 Front Left Capsule");
  EXPECT_NE(Device("Monitor: \xC3\x89lan Studio Monitor"), -1);
  EXPECT_NE(Device("Bench Microphone (USB)"), -1);
}

TEST_F(WaveInPulseTest, TheServerReplacesAlsasWayToIt) {
  // ALSA's default device, as a file device of the test: with the server's sources listed it
  // is the server again and stays out; without a server it is back.
  WriteRaw(temp_.Path() / "square.raw", PatternFrames(0, 4410));
  UseAlsaConfiguration(environment_, temp_.Path(),
                       "pcm.!default {\n  type file\n  slave.pcm null\n  file \"/dev/null\"\n"
                       "  infile \"" +
                           (temp_.Path() / "square.raw").string() +
                           "\"\n  format raw\n}\nnamehint.pcm.default \"default|ALSA Default "
                           "Input|IOIDInput\"\n");
  Server().LoadNullSink("corvane_tone", "Corvane Tone Output");
  EXPECT_NE(Device("Monitor: Corvane Tone Output"), -1);
  EXPECT_EQ(Device("ALSA Default Input"), -1);

  Server().Kill();
  EXPECT_TRUE(WaitUntil([] { return Device("ALSA Default Input") != -1; }, 10s));
  EXPECT_EQ(Device("Monitor: Corvane Tone Output"), -1);
}

TEST_F(WaveInPulseTest, CaptureGivesEachChannelsToneAtBothRates) {
  Server().LoadNullSink("corvane_tone", "Corvane Tone Output");
  Server().PlayTone("corvane_tone",
                    {.leftHz = 1000, .leftLevel = 0.5, .rightHz = 440, .rightLevel = 0.25});
  const int device = Device("Monitor: Corvane Tone Output");
  ASSERT_NE(device, -1);
  for (const DWORD rate : {44100U, 22050U}) {
    const auto recorded = Capture(device, rate, 8);
    ASSERT_EQ(recorded.size(), 8U * rate / 10 * 2) << rate;
    const ToneFigures left = MeasureTone(recorded, 0, rate, rate / 10);
    const ToneFigures right = MeasureTone(recorded, 1, rate, rate / 10);
    EXPECT_NEAR(left.level, 0.5, 0.03) << rate;
    EXPECT_NEAR(left.hertz, 1000.0, 20.0) << rate;
    EXPECT_NEAR(right.level, 0.25, 0.03) << rate;
    EXPECT_NEAR(right.hertz, 440.0, 10.0) << rate;
  }
}

// A source unloaded or a server killed while capturing: the open device stops filling, reset
// and close return, one line says why, and the next open fails.
class WaveInPulseLossTest : public WaveInPulseTest,
                            public testing::WithParamInterface<bool /*kill the server*/> {};

TEST_P(WaveInPulseLossTest, NoHangStopWorksAndTheNextOpenFails) {
  const std::uint32_t module = Server().LoadNullSink("corvane_tone", "Corvane Tone Output");
  Server().PlayTone("corvane_tone", {});
  const int device = Device("Monitor: Corvane Tone Output");
  ASSERT_NE(device, -1);
  TestCapture capture({BufferBytesFor(44100, 100), BufferBytesFor(44100, 10000)});
  ASSERT_EQ(capture.Open(static_cast<UINT>(device), 44100), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Queue(1), MMSYSERR_NOERROR);
  ASSERT_EQ(capture.Start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(capture.WaitFull(0));

  const TempDir temp;
  std::string said;
  {
    const StderrRecorder stderrText(temp.Path() / "stderr.txt");
    if (GetParam()) {
      Server().Kill();
    } else {
      ASSERT_TRUE(Server().UnloadModule(module));
    }
    // The loss has arrived once the device says so.
    EXPECT_TRUE(WaitUntil([&] { return !stderrText.Text().empty(); }, HangLimit));
    EXPECT_TRUE(ReturnsInTime([&] { capture.Reset(); }));
    EXPECT_TRUE(ReturnsInTime([&] { EXPECT_EQ(capture.Close(), MMSYSERR_NOERROR); }));
    said = stderrText.Text();
  }
  EXPECT_NE(said.find("Corvane Tone Output"), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

  // START on the same entry, with the list as it was taken before.
  TestCapture again({BufferBytesFor(44100, 100)});
  EXPECT_TRUE(ReturnsInTime(
      [&] { EXPECT_EQ(again.Open(static_cast<UINT>(device), 44100), MMSYSERR_BADDEVICEID); }));
}

INSTANTIATE_TEST_SUITE_P(SourceOrServer, WaveInPulseLossTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& param) {
                           return param.param ? "ServerKilled" : "SourceUnloaded";
                         });

TEST_F(WaveInPulseTest, TheChosenDeviceSurvivesARefreshInWhichAnotherVanished) {
  const std::uint32_t first = Server().LoadNullSink("corvane_first", "First Output");
  Server().LoadPipeSource("corvane_line", "Bench Line Input");
  DeviceIndex = Device("Bench Line Input");
  DeviceChosen = 1;
  const int before = DeviceIndex;
  ASSERT_GT(before, Device("Monitor: First Output"));

  ASSERT_TRUE(Server().UnloadModule(first));
  ASSERT_TRUE(WaitUntil(
      [this] {
        const auto sources = Server().SourceNames();
        return std::find(sources.begin(), sources.end(), "corvane_first.monitor") == sources.end();
      },
      10s));
  RefreshDeviceLists();
  ListInputDevices();
  EXPECT_EQ(DeviceIndex, before - 1);
  EXPECT_EQ(DeviceIndex, Device("Bench Line Input"));
}

}  // namespace
