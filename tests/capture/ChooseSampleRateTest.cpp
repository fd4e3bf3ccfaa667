#include <gtest/gtest.h>

#include <cstring>

#include "app/Global.h"
#include "capture/RecordWave.h"

namespace {

struct RateCase {
  DWORD formats;
  std::uint32_t rate;
  std::uint8_t has22k;
  std::uint8_t has44k;
};

class ChooseSampleRateTest : public testing::TestWithParam<RateCase> {
 protected:
  void SetUp() override { ResetGlobals(); }
};

TEST_P(ChooseSampleRateTest, PicksTheHighestStereo16BitRate) {
  const RateCase& expected = GetParam();
  DeviceIndex = 3;
  InputDeviceCaps[3].dwFormats = expected.formats;
  for (int call = 0; call < 2; ++call) {  // a second call gives the same answer
    ChooseSampleRate();
    EXPECT_EQ(SampleRate, expected.rate);
    EXPECT_EQ(Has22kStereo16, expected.has22k);
    EXPECT_EQ(Has44kStereo16, expected.has44k);
  }
}

INSTANTIATE_TEST_SUITE_P(FormatMasks, ChooseSampleRateTest,
                         testing::Values(RateCase{0x880, 44100, 1, 1}, RateCase{0x80, 22050, 1, 0},
                                         RateCase{0x800, 44100, 0, 1}, RateCase{0x40, 0, 0, 0},
                                         RateCase{0x20, 0, 0, 0}, RateCase{0xFFF, 44100, 1, 1},
                                         RateCase{0x7FF, 22050, 1, 0}, RateCase{0, 0, 0, 0}));

TEST(ChooseSampleRate, AFormer44kNeverSurvivesA22kOnlyDevice) {
  ResetGlobals();
  InputDeviceCaps[0].dwFormats = 0x880;
  InputDeviceCaps[1].dwFormats = 0x80;
  ChooseSampleRate();
  ASSERT_EQ(SampleRate, 44100U);
  DeviceIndex = 1;
  ChooseSampleRate();
  EXPECT_EQ(SampleRate, 22050U);
  EXPECT_EQ(Has44kStereo16, 0);
}

TEST(QueryDeviceCaps, IgnoresIndexesOutsideTheTable) {
  ResetGlobals();
  const auto before = InputDeviceCaps;
  QueryDeviceCaps(-1);
  QueryDeviceCaps(DeviceCapsEntries);
  EXPECT_EQ(std::memcmp(&before, &InputDeviceCaps, sizeof(before)), 0);
}

}  // namespace
