// The time display's slider scales, graded frame and scale labels.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/display/DisplayFixture.h"

namespace {

class TimeFrameTest : public DisplayFixture {
 protected:
  void SetUp() override {
    DisplayFixture::SetUp();
    PaintWindowBackground();
  }
};

TEST_F(TimeFrameTest, SliderPositionsGiveTheScalesAndOthersKeepTheCurrentOne) {
  const std::vector<float> timeBases = {10.0F, 5.0F, 2.0F, 1.0F, 0.5F, 0.2F, 0.1F};
  const std::vector<std::int32_t> voltScales = {100, 50, 20, 10, 5, 2, 1};
  for (int position = 1; position <= 7; ++position) {
    EXPECT_EQ(TimeBaseForPosition(position, -1.0F), timeBases[position - 1]) << position;
    EXPECT_EQ(TimeVoltsScaleForPosition(position, -1), voltScales[position - 1]) << position;
  }
  for (const int position : {0, 8, -3}) {
    EXPECT_EQ(TimeBaseForPosition(position, 2.0F), 2.0F) << position;
    EXPECT_EQ(TimeVoltsScaleForPosition(position, 20), 20) << position;
  }
}

TEST_F(TimeFrameTest, BandsShadeOutwardsAndTheLaterLineWinsAtCrossings) {
  DrawTimeFrame();
  struct Probe {
    int x;
    int y;
    int grey;
    const char* where;
  };
  const std::vector<Probe> probes = {
      {400, 14, 154, "top band next to the area"},
      {686, 100, 154, "right band next to the area"},
      {202, 100, 154, "left band next to the area"},
      {420, 231, 154, "bottom band next to the area"},
      {400, 0, 210, "top band line 15 at the window's top row"},
      {699, 100, 206, "right band line 14 at the window's right column"},
      {400, 255, 250, "bottom band's outer edge"},
      {178, 100, 250, "left band's outer edge"},
      {187, 100, 214, "left band line 16"},
      {690, 236, 174, "bottom line 6 over right line 5"},
      {690, 237, 178, "bottom line 7 over right line 5"},
      {695, 250, 230, "bottom line 20 below the end of right line 10"},
      {178, 5, 250, "left line 25 starts above the area"},
      {400, 256, 160, "background below the frame"},
  };
  for (const Probe& p : probes) EXPECT_EQ(WindowPixel(p.x, p.y), Grey(p.grey)) << p.where;
}

struct AmplitudeCase {
  std::int32_t scale;
  const char* label;
};

TEST_F(TimeFrameTest, AmplitudeAndZeroLabelsStandAtTheBandEdges) {
  const std::vector<AmplitudeCase> cases = {{100, "33k"}, {50, "16k"}, {20, "6.5k"}, {10, "3.3k"},
                                            {5, "1.6k"},  {2, "655"},  {1, "328"}};
  for (const AmplitudeCase& c : cases) {
    TimeVoltsScale = c.scale;
    const std::string label = c.label;
    ShowTimeChannels(true, true);
    DrawTimeFrame();
    std::vector<std::string> texts = Describe(TakeTexts());
    texts.resize(6);
    EXPECT_EQ(texts, (std::vector<std::string>{"(181, 10) " + label, "(178, 225) -" + label,
                                               "(178, 112) -" + label, "(181, 125) " + label,
                                               "(178, 63)   0", "(178, 171)   0"}))
        << c.scale;
    for (const auto& [first, second] :
         {std::pair(true, false), std::pair(false, true), std::pair(false, false)}) {
      ShowTimeChannels(first, second);
      DrawTimeFrame();
      texts = Describe(TakeTexts());
      texts.resize(3);
      EXPECT_EQ(texts, (std::vector<std::string>{"(181, 10) " + label, "(178, 225) -" + label,
                                                 "(178, 117)   0"}))
          << c.scale << first << second;
    }
  }
}

struct TickCase {
  float timeBase;
  std::vector<std::string> labels;
};

TEST_F(TimeFrameTest, TickLabelsOfEveryTimeBaseStandLeftOfTheirTenth) {
  const std::vector<TickCase> cases = {
      {10.0F, {" 10", " 20", " 30", " 40", " 50", " 60", " 70", " 80", " 90", "100"}},
      {5.0F, {"  5", " 10", " 15", " 20", " 25", " 30", " 35", " 40", " 45", " 50"}},
      {2.0F, {"  2", "  4", "  6", "  8", " 10", " 12", " 14", " 16", " 18", " 20"}},
      {1.0F, {"  1", "  2", "  3", "  4", "  5", "  6", "  7", "  8", "  9", " 10"}},
      {0.5F, {"0.5", "1.0", "1.5", "2.0", "2.5", "3.0", "3.5", "4.0", "4.5", "5.0"}},
      {0.2F, {"0.2", "0.4", "0.6", "0.8", "1.0", "1.2", "1.4", "1.6", "1.8", "2.0"}},
      {0.1F, {"0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9", "1.0"}},
  };
  const std::vector<int> columns = {241, 289, 337, 385, 434, 482, 530, 578, 626, 675};
  for (const TickCase& c : cases) {
    TimeBaseMs = c.timeBase;
    ShowTimeChannels(true, false);
    DrawTimeFrame();
    const std::vector<Canvas::TextRecord> texts = TakeTexts();
    ASSERT_EQ(texts.size(), 3U + 10U + 1U);
    for (int i = 0; i < 10; ++i) {
      const Canvas::TextRecord& tick = texts[3 + static_cast<std::size_t>(i)];
      EXPECT_EQ(Describe(tick), "(" + std::to_string(columns[static_cast<std::size_t>(i)]) +
                                    ", 231) " + c.labels[static_cast<std::size_t>(i)])
          << c.timeBase;
      EXPECT_EQ(tick.color, Black);
    }
    EXPECT_EQ(Describe(texts.back()), "(432, 242) Time [ms]");
  }
}

// An earlier run's texts never survive: the bands are repainted before any text is drawn.
TEST_F(TimeFrameTest, RedrawCoversTheLabelsOfAnEarlierRun) {
  ShowTimeChannels(true, false);
  DrawTimeFrame();
  const Bitmap& surface = window_->Surface();
  const auto blackInLeftBand = [&] {
    int count = 0;
    for (int y = 100; y < 130; ++y) {
      for (int x = 178; x < 203; ++x) count += surface.Pixel(x, y) == Black ? 1 : 0;
    }
    return count;
  };
  EXPECT_GT(blackInLeftBand(), 0);  // the single zero at the middle
  ShowTimeChannels(true, true);
  DrawTimeFrame();
  TimeVoltsScale = 1;
  ShowTimeChannels(false, false);
  DrawTimeFrame();
  int stray = 0;
  for (int y = 60; y < 100; ++y) {
    for (int x = 178; x < 203; ++x) stray += surface.Pixel(x, y) == Black ? 1 : 0;
  }
  EXPECT_EQ(stray, 0);  // the zero at the quarter row is gone
}

}  // namespace
