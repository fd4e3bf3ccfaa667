// The time display's picture: time-base counts, dotted grid and the clamped traces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/display/DisplayFixture.h"

namespace {

class TimeTracesTest : public DisplayFixture {
 protected:
  void Draw() {
    DrawTimeBackground();
    DrawTimeTraces();
  }
  [[nodiscard]] Color At(int x, int y) const { return TimeBitmap->Pixel(x, y); }
  // Rows of column x in the colour.
  [[nodiscard]] std::vector<int> RowsIn(int x, Color color) const {
    std::vector<int> rows;
    for (int y = 0; y < TimeBitmap->Height(); ++y) {
      if (At(x, y) == color) rows.push_back(y);
    }
    return rows;
  }
};

struct TimeBaseCase {
  float timeBase;
  std::int32_t step;
  std::int32_t window44;
  std::int32_t shown44;
  std::int32_t window22;
  std::int32_t shown22;
};

TEST_F(TimeTracesTest, TimeBaseCountsAtBothRatesRoundHalvesToEven) {
  const std::vector<TimeBaseCase> cases = {
      {10.0F, 4, 4410, 1102, 2205, 551}, {5.0F, 2, 2205, 1102, 1102, 551},
      {2.0F, 1, 882, 882, 441, 441},     {1.0F, 1, 441, 441, 220, 220},
      {0.5F, 1, 220, 220, 110, 110},     {0.2F, 1, 88, 88, 44, 44},
      {0.1F, 1, 44, 44, 22, 22},
  };
  ShowTimeChannels(false, false);
  for (const TimeBaseCase& c : cases) {
    TimeBaseMs = c.timeBase;
    SampleRate = 44100;
    Draw();
    EXPECT_EQ(SampleStep, c.step) << c.timeBase;
    EXPECT_EQ(TimeWindowSamples, c.window44) << c.timeBase;
    EXPECT_EQ(SamplesShown, c.shown44) << c.timeBase;
    SampleRate = 22050;
    Draw();
    EXPECT_EQ(SampleStep, c.step) << c.timeBase;
    EXPECT_EQ(TimeWindowSamples, c.window22) << c.timeBase;
    EXPECT_EQ(SamplesShown, c.shown22) << c.timeBase;
  }
}

TEST_F(TimeTracesTest, DottedSilverGridOfTenthsAndQuartersWithBlackGaps) {
  ShowTimeChannels(false, false);
  Draw();
  const std::vector<int> columns = {48, 96, 144, 192, 241, 289, 337, 385, 433};
  for (const int x : columns) {
    for (int y = 0; y <= 215; ++y) {
      const bool onHorizontal = y == 53 || y == 107 || y == 161;
      if (!onHorizontal) {
        EXPECT_EQ(At(x, y), y % 2 == 0 ? Silver : Black) << x << "," << y;
      }
    }
  }
  for (const int y : {53, 107, 161}) {
    for (int x = 0; x < 482; ++x) EXPECT_EQ(At(x, y), x % 2 == 0 ? Silver : Black) << x << "," << y;
    EXPECT_EQ(At(482, y), Black) << y;  // the end point is not drawn
  }
  int silver = 0;
  for (int y = 0; y <= 215; ++y) {
    for (int x = 0; x <= 482; ++x) silver += At(x, y) == Silver ? 1 : 0;
  }
  // The quarter rows are odd, where the vertical lines have gaps: nothing counts twice.
  EXPECT_EQ(silver, 9 * 108 + 3 * 241);
}

struct RowCase {
  bool first;
  bool second;
  std::int32_t voltsScale;
  std::int16_t sample1;
  std::int16_t sample2;
  int row1;  // -1: channel not drawn
  int row2;
};

TEST_F(TimeTracesTest, SamplesLandOnTheirRowsClampedInsideTheirBand) {
  const std::vector<RowCase> cases = {
      {true, true, 100, 16384, 0, 26, 161},
      {true, true, 100, 32767, 32767, 1, 108},
      {true, true, 100, -32768, -32768, 106, 214},
      {true, true, 100, 0, -16384, 53, 188},
      {true, false, 100, -32768, 0, 214, -1},
      {true, false, 100, 32767, 0, 1, -1},
      {true, false, 100, 16384, 0, 53, -1},
      {false, true, 100, 0, 16384, -1, 53},
      {false, true, 100, 0, -32768, -1, 214},
      {true, false, 1, 300, 0, 9, -1},
      {true, false, 1, 328, 0, 1, -1},
      {true, false, 1, 0, 0, 107, -1},
  };
  for (const RowCase& c : cases) {
    ShowTimeChannels(c.first, c.second);
    TimeVoltsScale = c.voltsScale;
    Channel1Block.fill(c.sample1);
    Channel2Block.fill(c.sample2);
    Draw();
    const std::string name = std::to_string(c.sample1) + "/" + std::to_string(c.sample2) + " at " +
                             std::to_string(c.voltsScale);
    for (const int x : {0, 10, 300, 481}) {
      EXPECT_EQ(RowsIn(x, Yellow), c.row1 < 0 ? std::vector<int>{} : std::vector<int>{c.row1})
          << name << " x " << x;
      EXPECT_EQ(RowsIn(x, Lime), c.row2 < 0 ? std::vector<int>{} : std::vector<int>{c.row2})
          << name << " x " << x;
    }
  }
}

// A 602-row client gives 256-row bands at 1/512 row per sample unit: odd multiples of 256
// land on halves, which go to the even row.
TEST_F(TimeTracesTest, UnclampedRowsRoundHalvesToEven) {
  window_->SetClientSize(700, 602);
  LayoutDisplays();
  ASSERT_EQ(TimeBottom - TimeTop, 256);
  ASSERT_EQ(TimeQuarter, 64);
  ASSERT_EQ(TimeThreeQuarters, 192);
  struct Case {
    std::int16_t sample;
    int offset;  // rows above the band's zero line
  };
  for (const Case c : {Case{256, 0}, Case{768, 2}, Case{1280, 2}, Case{-256, 0}, Case{-768, -2}}) {
    Channel1Block.fill(c.sample);
    Channel2Block.fill(c.sample);
    Draw();
    ASSERT_EQ(TimeYScale, 1.0F / 512);
    EXPECT_EQ(RowsIn(100, Yellow), std::vector<int>{64 - c.offset}) << c.sample;
    EXPECT_EQ(RowsIn(100, Lime), std::vector<int>{192 - c.offset}) << c.sample;
  }
}

TEST_F(TimeTracesTest, ScalesOfTheWorkedExample) {
  Draw();
  EXPECT_FLOAT_EQ(TimeXScale, 192800.0F / 441000.0F);
  EXPECT_EQ(TimeYScale, 0.00164031982421875F);
  ShowTimeChannels(false, true);
  TimeBaseMs = 1.0F;
  Draw();
  EXPECT_NEAR(TimeXScale, 1.09297, 1e-5);
  EXPECT_EQ(TimeYScale, 0.0032806396484375F);
}

// The last point may fall a column short of the right edge; it is never drawn itself.
TEST_F(TimeTracesTest, TheTraceEndsWhereItsLastPointFalls) {
  ShowTimeChannels(true, false);
  struct EndCase {
    float timeBase;
    int lastColumn;
  };
  for (const EndCase c : {EndCase{10.0F, 482}, EndCase{1.0F, 482}, EndCase{0.5F, 481}}) {
    TimeBaseMs = c.timeBase;
    Draw();
    EXPECT_EQ(At(c.lastColumn - 1, 107), Yellow) << c.timeBase;
    EXPECT_NE(At(c.lastColumn, 107), Yellow) << c.timeBase;
  }
}

TEST_F(TimeTracesTest, TracesStartAtTheTriggerAndStepThroughTheBlock) {
  ShowTimeChannels(true, true);
  TriggerIndex1 = 100;
  TriggerIndex2 = 7;
  Channel1Block[100] = 16384;
  Channel1Block[100 + 4 * 10] = 16384;  // point 10 at 10 ms: four samples a point
  Channel2Block[7 + 4 * 200] = -16384;
  Draw();
  EXPECT_EQ(At(0, 26), Yellow);
  EXPECT_EQ(At(Round(10 * static_cast<long double>(TimeXScale)), 26), Yellow);
  EXPECT_EQ(At(Round(200 * static_cast<long double>(TimeXScale)), 188), Lime);
  EXPECT_EQ(At(300, 53), Yellow);
  EXPECT_EQ(At(300, 161), Lime);

  TimeBaseMs = 1.0F;
  Channel1Block.fill(0);
  Channel1Block[100 + 10] = 16384;  // point 10 at 1 ms: every sample
  Draw();
  EXPECT_EQ(At(11, 26), Yellow);
  EXPECT_EQ(RowsIn(4, Yellow), std::vector<int>{53});
}

TEST_F(TimeTracesTest, WithoutACaptureRateOnlyTheStartingPointsAreDrawn) {
  SampleRate = 0;
  Channel1Block.fill(16384);
  Channel2Block.fill(-16384);
  TriggerIndex1 = 0;
  TriggerIndex2 = 0;
  Draw();
  EXPECT_EQ(TimeWindowSamples, 0);
  EXPECT_EQ(SamplesShown, 0);
  EXPECT_EQ(TimeXScale, 0.0F);
  EXPECT_EQ(At(0, 26), Yellow);
  EXPECT_EQ(At(0, 188), Lime);
  int traced = 0;
  for (int y = 0; y <= 215; ++y) {
    for (int x = 0; x <= 482; ++x) traced += At(x, y) == Yellow || At(x, y) == Lime ? 1 : 0;
  }
  EXPECT_EQ(traced, 2);
}

// Before the start-up scales are set (as in the capture loop's own tests) nothing overflows.
TEST_F(TimeTracesTest, AnUnsetAmplitudeScalePutsTheTraceOnItsZeroLine) {
  TimeVoltsScale = 0;
  Channel1Block.fill(32767);
  Channel2Block.fill(-32768);
  Draw();
  EXPECT_EQ(TimeYScale, 0.0F);
  EXPECT_EQ(RowsIn(100, Yellow), std::vector<int>{53});
  EXPECT_EQ(RowsIn(100, Lime), std::vector<int>{161});
}

}  // namespace
