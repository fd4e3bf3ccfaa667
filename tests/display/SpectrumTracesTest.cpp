// The frequency display's picture: dotted decibel grid, divisions and the spectra.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/display/DisplayFixture.h"

namespace {

constexpr float kTopLevel = 32767.0F;  // full scale at FreqLevelScale 100: drawn at row 1

class SpectrumTracesTest : public DisplayFixture {
 protected:
  void Draw() {
    DrawFreqBackground();
    DrawSpectrumTraces();
  }
  [[nodiscard]] Color At(int x, int y) const { return FreqBitmap->Pixel(x, y); }
  [[nodiscard]] int Count(Color color) const {
    int count = 0;
    for (int y = 0; y < FreqBitmap->Height(); ++y) {
      for (int x = 0; x < FreqBitmap->Width(); ++x) count += At(x, y) == color ? 1 : 0;
    }
    return count;
  }
};

TEST_F(SpectrumTracesTest, DottedGridOfTheShownLevelsAndNineDivisions) {
  ShowFreqChannels(false, false);
  Draw();
  const std::vector<int> rows = {0, 92, 143, 173, 189};
  const std::vector<int> columns = {48, 96, 144, 192, 241, 289, 337, 385, 433};
  for (const int y : rows) {
    EXPECT_EQ(At(0, y), Silver) << y;
    EXPECT_EQ(At(1, y), Black) << y;
    EXPECT_EQ(At(480, y), Silver) << y;
    EXPECT_EQ(At(482, y), Black) << y;
  }
  for (const int x : columns) {
    EXPECT_EQ(At(x, 0), Silver) << x;
    EXPECT_EQ(At(x, 1), Black) << x;
    EXPECT_EQ(At(x, 50), Silver) << x;
    EXPECT_EQ(At(x, 143), Black) << x;  // drawn after the level lines: its gap wins
    EXPECT_EQ(At(x, 51), Black) << x;
    EXPECT_EQ(At(x, 210), Black) << x;  // the end point is not drawn
  }
  // Nothing else: 5 rows of 241 dots and 9 columns of 105, which cover the rows' dots in the
  // four even columns.
  EXPECT_EQ(Count(Silver), 5 * 241 + 9 * 105 - 4 * 5);
}

struct BinCase {
  std::int32_t bin;
  int column;
};

// A single full-scale bin shows as a peak at its column on row 1; the rest lies on row H.
TEST_F(SpectrumTracesTest, BinsStandAtTheirColumnsOfTheWorkedExample) {
  ShowFreqChannels(true, false);
  for (const BinCase c :
       {BinCase{1, 0}, BinCase{2, 1}, BinCase{3, 1}, BinCase{100, 26}, BinCase{1000, 259}}) {
    Spectrum1.fill(0.0F);
    Spectrum1[static_cast<std::size_t>(c.bin)] = kTopLevel;
    Draw();
    EXPECT_EQ(At(c.column, 1), Yellow) << c.bin;
    EXPECT_NE(At(c.column - 2, 1), Yellow) << c.bin;
    EXPECT_NE(At(c.column + 2, 1), Yellow) << c.bin;
  }
  // The last bin, 1858, lands on column 482 as the polyline's unplotted end point: only the
  // rising line below it is visible.
  Spectrum1.fill(0.0F);
  Spectrum1[1858] = kTopLevel;
  Draw();
  EXPECT_EQ(HarmonicsShown, 1858);
  EXPECT_EQ(At(482, 2), Yellow);
  EXPECT_NE(At(482, 1), Yellow);
  EXPECT_EQ(At(481, 210), Yellow);
}

TEST_F(SpectrumTracesTest, RowsAreClampedAtTheTopOnlyAndZeroLiesOnTheBottomRow) {
  ShowFreqChannels(true, true);
  Spectrum1.fill(0.0F);
  Spectrum2.fill(0.0F);
  Spectrum1[500] = 1.0e9F;
  Spectrum1[600] = kTopLevel / 2;
  Draw();
  EXPECT_EQ(At(Round(500 * BinWidthHz * FreqXScale), 1), Yellow);
  EXPECT_EQ(At(Round(600 * BinWidthHz * FreqXScale), 210 - 105), Yellow);
  // Channel 2 is drawn last: its flat line covers channel 1's along the bottom row.
  EXPECT_EQ(At(300, 210), Lime);
  EXPECT_EQ(At(0, 0), Silver);
}

TEST_F(SpectrumTracesTest, EachChannelOnlyWhileItsBoxIsChecked) {
  Spectrum1.fill(100.0F);
  Spectrum2.fill(3000.0F);
  const int row1 = 210 - Round(100 * static_cast<long double>(21000.0F / 3276700.0F));
  const int row2 = 210 - Round(3000 * static_cast<long double>(21000.0F / 3276700.0F));
  struct ChannelCase {
    bool first;
    bool second;
  };
  for (const ChannelCase c : {ChannelCase{true, true}, ChannelCase{true, false},
                              ChannelCase{false, true}, ChannelCase{false, false}}) {
    ShowFreqChannels(c.first, c.second);
    Draw();
    EXPECT_EQ(At(300, row1) == Yellow, c.first) << c.first << c.second;
    EXPECT_EQ(At(300, row2) == Lime, c.second) << c.first << c.second;
  }
}

TEST_F(SpectrumTracesTest, ScalesFollowTheSpanAndTheLevel) {
  FreqSpanKHz = 5;
  FreqLevelScale = 10;
  Draw();
  EXPECT_FLOAT_EQ(FreqXScale, 482.0F / 5000.0F);
  EXPECT_FLOAT_EQ(FreqYScale, 21000.0F / 327670.0F);
  EXPECT_EQ(HarmonicsShown, 464);
  ShowFreqChannels(true, false);
  Spectrum1.fill(0.0F);
  Spectrum1[100] = 3277.0F;
  Draw();
  EXPECT_EQ(At(104, 1), Yellow);  // about 1.04 pixels a bin
}

}  // namespace
