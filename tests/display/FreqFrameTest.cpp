// The frequency display's slider scales, decibel levels, graded frame and scale labels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/display/DisplayFixture.h"

namespace {

class FreqFrameTest : public DisplayFixture {
 protected:
  void SetUp() override {
    DisplayFixture::SetUp();
    PaintWindowBackground();
  }
};

TEST_F(FreqFrameTest, SliderPositionsGiveTheScalesAndOthersKeepTheCurrentOne) {
  const std::vector<std::int32_t> spans = {20, 10, 5, 2, 1};
  const std::vector<std::int32_t> levels = {100, 50, 20, 10, 5, 2, 1};
  for (int position = 1; position <= 7; ++position) {
    const auto index = static_cast<std::size_t>(position - 1);
    EXPECT_EQ(FreqSpanForPosition(position, -1), position <= 5 ? spans[index] : -1) << position;
    EXPECT_EQ(FreqLevelScaleForPosition(position, -1), levels[index]) << position;
  }
  EXPECT_EQ(FreqSpanForPosition(0, 5), 5);
  EXPECT_EQ(FreqLevelScaleForPosition(8, 2), 2);
}

TEST_F(FreqFrameTest, DecibelLevelsUseTheConstant8Point7) {
  const std::array<std::int32_t, DbLevelCount> expected = {
      32767, 18443, 10381, 5843, 3289, 1851, 1042, 587, 330, 186, 105, 59, 33, 19, 10, 6, 3, 2, 1};
  EXPECT_EQ(DbLevels, expected);
}

struct LevelCase {
  std::int32_t scale;
  std::int32_t top;
  std::int32_t floor;
  std::vector<std::string> labels;  // the dB labels the frame writes, with their position
};

TEST_F(FreqFrameTest, EveryLevelScaleLabelsTheLevelsOfItsWindow) {
  const std::vector<LevelCase> cases = {
      {100,
       32767,
       2184,
       {"(183, 275) 0", "(183, 367) -5", "(183, 418) -10", "(183, 448) -15", "(183, 464) -20"}},
      {50, 16384, 1092, {"(183, 352) -10", "(183, 410) -15", "(183, 443) -20", "(183, 461) -25"}},
      {20,
       6553,
       437,
       {"(183, 298) -15", "(183, 380) -20", "(183, 426) -25", "(183, 452) -30", "(183, 466) -35"}},
      {10, 3277, 218, {"(183, 366) -25", "(183, 418) -30", "(183, 447) -35", "(183, 464) -40"}},
      {5, 1638, 109, {"(183, 351) -30", "(183, 410) -35", "(183, 443) -40", "(183, 461) -45"}},
      {2,
       655,
       44,
       {"(183, 297) -35", "(183, 379) -40", "(183, 425) -45", "(183, 451) -50", "(183, 466) -55"}},
      {1, 328, 22, {"(183, 366) -45", "(183, 418) -50", "(183, 447) -55", "(183, 464) -60"}},
  };
  for (const LevelCase& c : cases) {
    const ShownLevels window = ShownLevelWindow(c.scale);
    EXPECT_EQ(window.top, c.top) << c.scale;
    EXPECT_EQ(window.floor, c.floor) << c.scale;
    EXPECT_TRUE(window.Contains(c.top) && window.Contains(c.floor)) << c.scale;
    EXPECT_FALSE(window.Contains(c.top + 1) || window.Contains(c.floor - 1)) << c.scale;
    FreqLevelScale = c.scale;
    DrawFreqFrame();
    std::vector<std::string> texts = Describe(TakeTexts());
    ASSERT_EQ(texts.size(), 1 + c.labels.size() + 10 + 1) << c.scale;
    EXPECT_EQ(texts.front(), "(183, 263) [dB]");
    EXPECT_EQ(std::vector<std::string>(texts.begin() + 1,
                                       texts.begin() + 1 + static_cast<long>(c.labels.size())),
              c.labels)
        << c.scale;
    EXPECT_EQ(texts.back(), "(419, 502) Frequency [kHz]");
  }
}

struct SpanCase {
  std::int32_t span;
  std::vector<std::string> labels;
  std::int32_t harmonics44;
  std::int32_t harmonics22;
};

TEST_F(FreqFrameTest, EverySpanLabelsItsTenthsAndSetsTheBinsShown) {
  const std::vector<SpanCase> cases = {
      {20, {"  2", "  4", "  6", "  8", " 10", " 12", " 14", " 16", " 18", " 20"}, 1858, 1022},
      {10, {"  1", "  2", "  3", "  4", "  5", "  6", "  7", "  8", "  9", " 10"}, 929, 929},
      {5, {"0.5", "1.0", "1.5", "2.0", "2.5", "3.0", "3.5", "4.0", "4.5", "5.0"}, 464, 464},
      {2, {"0.2", "0.4", "0.6", "0.8", "1.0", "1.2", "1.4", "1.6", "1.8", "2.0"}, 186, 186},
      {1, {"0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9", "1.0"}, 93, 93},
  };
  const std::vector<int> columns = {243, 291, 339, 387, 436, 484, 532, 580, 628, 677};
  for (const SpanCase& c : cases) {
    FreqSpanKHz = c.span;
    DrawFreqFrame();
    const std::vector<Canvas::TextRecord> texts = TakeTexts();
    ASSERT_EQ(texts.size(), 1U + 5U + 10U + 1U);
    for (std::size_t i = 0; i < 10; ++i) {
      EXPECT_EQ(Describe(texts[6 + i]), "(" + std::to_string(columns[i]) + ", 492) " + c.labels[i])
          << c.span;
    }
    SampleRate = 44100;
    DrawSpectrumTraces();
    EXPECT_EQ(HarmonicsShown, c.harmonics44) << c.span;
    EXPECT_EQ(ComputeHarmonicsShown(c.span, 44100), c.harmonics44) << c.span;
    SampleRate = 22050;
    DrawSpectrumTraces();
    EXPECT_EQ(HarmonicsShown, c.harmonics22) << c.span;
  }
}

TEST_F(FreqFrameTest, BandsShadeOutwardsAndTheLeftBandStopsAtTheTopBand) {
  DrawFreqFrame();
  struct Probe {
    int x;
    int y;
    int grey;
    const char* where;
  };
  const std::vector<Probe> probes = {
      {400, 279, 154, "top band next to the area"},
      {202, 400, 154, "left band next to the area"},
      {686, 400, 154, "right band next to the area"},
      {420, 491, 154, "bottom band next to the area"},
      {400, 264, 214, "top band's outer edge"},
      {178, 400, 250, "left band's outer edge"},
      {400, 515, 250, "bottom band's outer edge"},
      {180, 264, 242, "left line 23 starts on the top band's outer row"},
      {180, 263, 160, "background above it"},
      {187, 264, 214, "left line 16 meets top line 16"},
      {690, 496, 174, "bottom line 6 over right line 5"},
      {400, 516, 160, "background below the frame"},
  };
  for (const Probe& p : probes) EXPECT_EQ(WindowPixel(p.x, p.y), Grey(p.grey)) << p.where;
}

}  // namespace
