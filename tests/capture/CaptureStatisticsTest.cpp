// The figures a capture run reports for soak measurements: when the file is written, what the
// worst poll intervals cover, and what a real run over a scripted device counts.
#include "capture/CaptureStatistics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "capture/RecordWave.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/FakeMainWindow.h"

namespace {

using Clock = CaptureStatistics::Clock;
using std::chrono::milliseconds;

using Figures = std::map<std::string, std::int64_t>;

class CaptureStatisticsTest : public testing::Test {
 protected:
  void SetUp() override {
    file_ = std::filesystem::path(testing::TempDir()) /
            (testing::UnitTest::GetInstance()->current_test_info()->name() + std::string(".stats"));
    std::filesystem::remove(file_);
  }
  void TearDown() override { std::filesystem::remove(file_); }

  // The file's key=value lines; empty when there is no file.
  [[nodiscard]] Figures Read() const {
    Figures figures;
    std::ifstream in(file_);
    std::string line;
    while (std::getline(in, line)) {
      const auto equals = line.find('=');
      if (equals != std::string::npos) {
        figures[line.substr(0, equals)] = std::stoll(line.substr(equals + 1));
      }
    }
    return figures;
  }

  std::filesystem::path file_;
};

TEST_F(CaptureStatisticsTest, WritesOnceASecondWithTheWorstIntervalOfTheRunAndOfTheSecond) {
  std::uint64_t dropped = 0;
  CaptureStatistics statistics(file_, [&dropped] { return dropped; });
  const Clock::time_point start{};
  for (const int ms : {0, 2, 300, 900}) statistics.PollStarted(start + milliseconds(ms));
  statistics.BlockShown();
  EXPECT_FALSE(std::filesystem::exists(file_)) << "written before a second had passed";

  dropped = 40;
  statistics.PollStarted(start + milliseconds(1000));
  EXPECT_EQ(Read(), (Figures{{"elapsed_us", 1'000'000},
                             {"polls", 5},
                             {"blocks", 1},
                             {"dropped_frames", 40},
                             {"worst_poll_interval_us", 600'000},
                             {"worst_poll_interval_last_second_us", 600'000}}));

  statistics.PollStarted(start + milliseconds(1010));
  statistics.PollStarted(start + milliseconds(1030));
  statistics.BlockShown();
  statistics.Finish(start + milliseconds(1500));
  const Figures last = Read();
  EXPECT_EQ(last.at("elapsed_us"), 1'500'000);
  EXPECT_EQ(last.at("polls"), 7);
  EXPECT_EQ(last.at("blocks"), 2);
  EXPECT_EQ(last.at("worst_poll_interval_us"), 600'000);
  EXPECT_EQ(last.at("worst_poll_interval_last_second_us"), 20'000);
  EXPECT_FALSE(std::filesystem::exists(file_.string() + ".new"));
}

TEST_F(CaptureStatisticsTest, NothingIsWrittenOrAskedWithoutAFile) {
  unsetenv("CORVANE_STATS_FILE");
  int asked = 0;
  CaptureStatistics statistics([&asked] {
    ++asked;
    return std::uint64_t{0};
  });
  EXPECT_FALSE(statistics.Enabled());
  statistics.PollStarted(Clock::time_point{});
  statistics.PollStarted(Clock::time_point{} + milliseconds(2000));
  statistics.Finish(Clock::time_point{} + milliseconds(2500));
  EXPECT_EQ(asked, 0);
}

TEST_F(CaptureStatisticsTest, ACaptureRunCountsItsBlocksAndTheFramesItsDeviceDropped) {
  ResetGlobals();
  FakeMainWindow window;
  window.SetChecked(DisplayCheckBox::F1, false);
  window.SetChecked(DisplayCheckBox::F2, false);
  setenv("CORVANE_NO_GENERATOR", "1", 1);
  setenv("CORVANE_NO_ALSA", "1", 1);
  setenv("CORVANE_STATS_FILE", file_.c_str(), 1);
  ClearScriptedWaveIns();
  const auto device = std::make_shared<ScriptedWaveIn>("Scripted", WAVE_FORMAT_4S16);
  RegisterScriptedWaveIn(device);
  ASSERT_EQ(waveInGetNumDevs(), 1U);
  SampleRate = 44100;
  TimeBaseMs = 5.0F;

  constexpr std::size_t kFramesPerBuffer = 4410;
  constexpr std::size_t kExtraFrames = 1000;  // beyond the ten queued buffers: dropped
  int poll = 0;
  window.OnProcessMessages = [&] {
    switch (poll++) {
      case 0:
        device->FillNext(1, 1);
        break;
      case 1:
        device->Deliver(std::vector<std::int16_t>(2 * (10 * kFramesPerBuffer + kExtraFrames)));
        break;
      case 2:
        device->FillNext(2, 2);
        break;
      default:
        Capturing = 0;
    }
  };
  Capturing = 1;
  RunCapture();
  unsetenv("CORVANE_STATS_FILE");
  ClearScriptedWaveIns();
  waveInGetNumDevs();

  const Figures figures = Read();
  EXPECT_EQ(figures.at("polls"), 4);
  // One block per poll that found a full buffer, however many were full.
  EXPECT_EQ(figures.at("blocks"), 3);
  EXPECT_EQ(figures.at("dropped_frames"), static_cast<std::int64_t>(kExtraFrames));
}

}  // namespace
