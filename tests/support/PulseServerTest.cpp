// The private sound server that the sound-server device tests run against: its sources, its
// tones, and that nothing of it outlives the test.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/PulseServer.h"
#include "tests/support/WaveInFixtures.h"

namespace {

using namespace std::chrono_literals;

// The start of a recording, where the server's resampler may still settle.
constexpr std::size_t SettleFrames = PulseServer::ToneRate / 10;

ToneFigures Measure(const std::vector<std::int16_t>& interleaved, std::size_t channel) {
  return MeasureTone(interleaved, channel, PulseServer::ToneRate, SettleFrames);
}

// The processes other than this one whose environment names folder: everything a server of
// that folder started carries its runtime folder.
std::vector<std::string> ProcessesUsing(const std::filesystem::path& folder) {
  std::vector<std::string> found;
  const std::string self = std::to_string(getpid());
  const std::string mark = "XDG_RUNTIME_DIR=" + (folder / "run").string();
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string pid = entry.path().filename().string();
    const bool number =
        std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (pid == self || !number) continue;
    std::ifstream file(entry.path() / "environ", std::ios::binary);
    const std::string environment{std::istreambuf_iterator<char>(file), {}};
    if (environment.find(mark + '\0') != std::string::npos) found.push_back(pid);
  }
  return found;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

class PulseServerTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = PulseServer::MissingReason(); !missing.empty()) {
      GTEST_SKIP() << missing;
    }
    server_.emplace(environment_, temp_.Path());
  }

  PulseServer& Server() { return *server_; }

  TempDir temp_;
  ScopedEnvironment environment_;
  std::optional<PulseServer> server_;
};

TEST_F(PulseServerTest, MonitorCarriesEachChannelsToneAndTheDescriptionSurvives) {
  const std::string description = "\xC3\x89lan Studio Monitor Output Stage 3";
  Server().LoadNullSink("corvane_tone", description);
  Server().PlayTone("corvane_tone",
                    {.leftHz = 1000, .leftLevel = 0.5, .rightHz = 440, .rightLevel = 0.25});
  const auto recorded = Server().Record("corvane_tone.monitor", PulseServer::ToneRate);
  ASSERT_EQ(recorded.size(), 2U * PulseServer::ToneRate);
  const ToneFigures left = Measure(recorded, 0);
  const ToneFigures right = Measure(recorded, 1);
  EXPECT_NEAR(left.level, 0.5, 0.02);
  EXPECT_NEAR(left.hertz, 1000.0, 20.0);
  EXPECT_NEAR(right.level, 0.25, 0.02);
  EXPECT_NEAR(right.hertz, 440.0, 10.0);

  const auto sources = Server().Pactl({"list", "sources"});
  ASSERT_TRUE(sources);
  EXPECT_NE(sources->find("Description: Monitor of " + description + "\n"), std::string::npos)
      << *sources;

  Server().StopTone("corvane_tone");
  EXPECT_LT(Measure(Server().Record("corvane_tone.monitor", PulseServer::ToneRate / 2), 0).level,
            0.01);
}

TEST_F(PulseServerTest, PipeSourceIsASourceOfItsOwnWithItsTone) {
  Server().LoadNullSink("corvane_tone", "Tone Output");
  Server().LoadPipeSource("corvane_mic", "Bench Microphone (USB) \xE2\x80\x93 Front");
  const auto sources = Server().Pactl({"list", "sources"});
  ASSERT_TRUE(sources);
  EXPECT_NE(sources->find("Description: Bench Microphone (USB) \xE2\x80\x93 Front\n"),
            std::string::npos)
      << *sources;
  EXPECT_TRUE(Contains(Server().SourceNames(), "corvane_mic"));

  Server().PlayTone("corvane_mic",
                    {.leftHz = 300, .leftLevel = 0.8, .rightHz = 2000, .rightLevel = 0.1});
  const auto recorded = Server().Record("corvane_mic", PulseServer::ToneRate);
  ASSERT_EQ(recorded.size(), 2U * PulseServer::ToneRate);
  EXPECT_NEAR(Measure(recorded, 0).level, 0.8, 0.02);
  EXPECT_NEAR(Measure(recorded, 0).hertz, 300.0, 6.0);
  EXPECT_NEAR(Measure(recorded, 1).level, 0.1, 0.02);
  EXPECT_NEAR(Measure(recorded, 1).hertz, 2000.0, 40.0);

  ASSERT_TRUE(Server().SetDefaultSource("corvane_mic"));
  EXPECT_EQ(Server().Pactl({"get-default-source"}), "corvane_mic\n");
  ASSERT_TRUE(Server().SetDefaultSource("corvane_tone.monitor"));
  EXPECT_EQ(Server().Pactl({"get-default-source"}), "corvane_tone.monitor\n");
}

TEST_F(PulseServerTest, UnloadingAModuleTakesItsSourceAway) {
  const std::uint32_t first = Server().LoadNullSink("corvane_first", "First Output");
  Server().LoadNullSink("corvane_second", "Second Output");
  const std::uint32_t pipe = Server().LoadPipeSource("corvane_mic", "Bench Microphone");
  Server().PlayTone("corvane_first", {});
  Server().PlayTone("corvane_mic", {});

  ASSERT_TRUE(Server().UnloadModule(first));
  EXPECT_TRUE(
      WaitUntil([&] { return !Contains(Server().SourceNames(), "corvane_first.monitor"); }));
  ASSERT_TRUE(Server().UnloadModule(pipe));
  EXPECT_TRUE(WaitUntil([&] { return !Contains(Server().SourceNames(), "corvane_mic"); }));
  EXPECT_TRUE(Contains(Server().SourceNames(), "corvane_second.monitor"));
  EXPECT_FALSE(Server().UnloadModule(first));
}

TEST_F(PulseServerTest, RefusesNamesAndDescriptionsThatModuleArgumentsWouldMangle) {
  EXPECT_THROW(Server().LoadNullSink("two words", "Output"), std::invalid_argument);
  EXPECT_THROW(Server().LoadNullSink("corvane_quoted", "The \"Best\" Output"),
               std::invalid_argument);
  EXPECT_THROW(Server().LoadPipeSource("corvane_mic", "Studio's Microphone"),
               std::invalid_argument);
  PulseServer::Tone tooLoud;
  tooLoud.leftLevel = 1.5;
  EXPECT_THROW(Server().PlayTone("corvane_none", tooLoud), std::invalid_argument);
  EXPECT_FALSE(Contains(Server().SourceNames(), "corvane_quoted.monitor"));
}

TEST_F(PulseServerTest, KillLeavesNoServerAndTheDestructorNoProcess) {
  Server().LoadNullSink("corvane_tone", "Tone Output");
  Server().LoadPipeSource("corvane_mic", "Bench Microphone");
  Server().PlayTone("corvane_tone", {});
  Server().PlayTone("corvane_mic", {});
  ASSERT_FALSE(ProcessesUsing(temp_.Path()).empty());

  Server().Kill();
  EXPECT_FALSE(Server().Pactl({"info"}));
  EXPECT_TRUE(Server().SourceNames().empty());
  EXPECT_TRUE(Server().Record("corvane_tone.monitor", 4410).empty());

  server_.reset();
  EXPECT_TRUE(WaitUntil([&] { return ProcessesUsing(temp_.Path()).empty(); }, 5s));
}

TEST(PulseServerCrash, ProcessesGoWithATestProcessThatDies) {
  if (const std::string missing = PulseServer::MissingReason(); !missing.empty()) {
    GTEST_SKIP() << missing;
  }
  // The death test runs this test again in a new process; the folder comes along in the
  // environment.
  constexpr const char* FolderVariable = "CORVANE_TEST_CRASH_FOLDER";
  const TempDir temp;
  ScopedEnvironment environment;
  if (std::getenv(FolderVariable) == nullptr) environment.Set(FolderVariable, temp.Path().string());
  const std::filesystem::path folder = std::getenv(FolderVariable);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        PulseServer server(environment, folder);
        server.LoadNullSink("corvane_tone", "Tone Output");
        server.PlayTone("corvane_tone", {});
        std::ofstream(folder / "playing") << "yes\n";
        std::abort();
      },
      testing::KilledBySignal(SIGABRT), "");
  ASSERT_TRUE(std::filesystem::exists(folder / "playing"));
  EXPECT_TRUE(WaitUntil([&] { return ProcessesUsing(folder).empty(); }, 10s));
  for (const std::string& pid : ProcessesUsing(folder)) kill(std::stoi(pid), SIGKILL);
}

}  // namespace
