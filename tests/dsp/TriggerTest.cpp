#include "dsp/Trigger.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/Global.h"

namespace {

using Samples = std::vector<std::pair<int, std::int16_t>>;  // element, value

struct ChannelSetup {
  std::int16_t level;  // every element not listed
  Samples samples;
};

struct TriggerCase {
  std::string name;
  std::uint32_t rate;
  bool sync1;
  bool sync2;
  ChannelSetup channel1;
  ChannelSetup channel2;
  std::int32_t expected1;
  std::int32_t expected2;
};

void PrintTo(const TriggerCase& c, std::ostream* os) { *os << c.name; }

constexpr std::int16_t kHigh = 100;
constexpr std::int16_t kLow = -100;

// A lone rising crossing whose non-negative sample is `at`.
Samples CrossingAt(int at) { return {{at - 1, -1}, {at, 0}}; }

const ChannelSetup kFlat{kHigh, {}};

const std::vector<TriggerCase> kCases = {
    {"AllNonNegativeFindsNothing", 44100, true, true, kFlat, {0, {}}, 1, 1},
    {"AllNegativeFindsNothing", 44100, true, false, {kLow, {}}, kFlat, 1, 1},
    {"ElementZeroDoesNotArmBeforeALaterCrossing",
     44100,
     true,
     false,
     {kHigh, {{0, -5}, {6, -2}}},
     kFlat,
     7,
     7},
    {"ZeroCountsAsTheRisingSample",
     44100,
     true,
     false,
     {kHigh, {{1, 5}, {2, -3}, {3, 0}}},
     kFlat,
     3,
     3},
    {"FirstNegativeArmsAndARunOfThemDoesNotMoveIt",
     44100,
     true,
     false,
     {kHigh, {{1, -1}, {2, -1}, {3, 4}}},
     kFlat,
     3,
     3},
    {"FirstCrossingWins",
     22050,
     true,
     false,
     {kHigh, {{40, -9}, {41, 9}, {80, -9}, {81, 9}}},
     kFlat,
     41,
     41},
    {"CrossingAtLastSearchedElementAt22050",
     22050,
     true,
     false,
     {kHigh, CrossingAt(1102)},
     kFlat,
     1102,
     1102},
    {"CrossingJustPastTheSearchAt22050",
     22050,
     true,
     false,
     {kHigh, CrossingAt(1103)},
     kFlat,
     1,
     1},
    {"CrossingAtLastSearchedElementAt44100",
     44100,
     true,
     false,
     {kHigh, CrossingAt(2205)},
     kFlat,
     2205,
     2205},
    {"CrossingJustPastTheSearchAt44100",
     44100,
     true,
     false,
     {kHigh, CrossingAt(2206)},
     kFlat,
     1,
     1},
    {"NoSampleRateNoSearch", 0, true, true, {kHigh, CrossingAt(10)}, {kHigh, CrossingAt(20)}, 1, 1},
    {"NoSampleRateNoSearchOnChannel2", 0, false, true, kFlat, {kHigh, CrossingAt(20)}, 1, 1},
    {"Channel1OnlyStartsBothTracesThere",
     44100,
     true,
     false,
     {kHigh, CrossingAt(10)},
     {kHigh, CrossingAt(20)},
     10,
     10},
    {"Channel1OnlyWithoutCrossingIgnoresChannel2",
     44100,
     true,
     false,
     kFlat,
     {kHigh, CrossingAt(20)},
     1,
     1},
    {"Channel2OnlyStartsBothTracesThere",
     44100,
     false,
     true,
     {kHigh, CrossingAt(10)},
     {kHigh, CrossingAt(700)},
     700,
     700},
    {"Channel2OnlyWithoutCrossingIgnoresChannel1",
     22050,
     false,
     true,
     {kHigh, CrossingAt(10)},
     kFlat,
     1,
     1},
    {"BothChannelsEachTheirOwn",
     44100,
     true,
     true,
     {kHigh, CrossingAt(10)},
     {kHigh, CrossingAt(700)},
     10,
     700},
    {"BothChannelsOneWithoutCrossing", 44100, true, true, {kHigh, CrossingAt(10)}, kFlat, 10, 1},
    {"BothChannelsOtherWithoutCrossing", 22050, true, true, kFlat, {kHigh, CrossingAt(33)}, 1, 33},
    {"NeitherChannelStartsBothAtOne",
     44100,
     false,
     false,
     {kHigh, CrossingAt(10)},
     {kHigh, CrossingAt(20)},
     1,
     1},
};

class TriggerTest : public testing::TestWithParam<TriggerCase> {
 protected:
  void SetUp() override { ResetGlobals(); }

  static void Fill(std::array<std::int16_t, ChannelBlockLength>& block, const ChannelSetup& setup) {
    block.fill(setup.level);
    for (const auto& [element, value] : setup.samples) block[element] = value;
  }
};

TEST_P(TriggerTest, FindsTheFirstRisingCrossingOfTheChosenChannels) {
  const TriggerCase& c = GetParam();
  SampleRate = c.rate;
  SyncChannel1 = c.sync1 ? 1 : 0;
  SyncChannel2 = c.sync2 ? 1 : 0;
  Fill(Channel1Block, c.channel1);
  Fill(Channel2Block, c.channel2);
  // What an earlier block found must not survive.
  TriggerIndex1 = 555;
  TriggerIndex2 = 666;
  FindTriggerPoints();
  EXPECT_EQ(TriggerIndex1, c.expected1);
  EXPECT_EQ(TriggerIndex2, c.expected2);
}

INSTANTIATE_TEST_SUITE_P(Cases, TriggerTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<TriggerCase>& caseInfo) {
                           return caseInfo.param.name;
                         });

}  // namespace
