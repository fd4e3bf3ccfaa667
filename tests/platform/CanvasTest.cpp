#include "platform/canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Points = std::vector<std::pair<int, int>>;

constexpr Color kPaper = Rgb(1, 2, 3);
constexpr Color kInk = Rgb(200, 10, 20);

class CanvasTest : public testing::Test {
 protected:
  void SetUp() override {
    bitmap_.SetSize(12, 8);
    Clear();
  }

  void Clear() {
    canvas().SetBrushColor(kPaper);
    canvas().SetPenColor(kPaper);
    canvas().Rectangle(0, 0, bitmap_.Width(), bitmap_.Height());
    canvas().SetPenColor(kInk);
  }

  Canvas& canvas() { return bitmap_.GetCanvas(); }

  // Every pixel in the ink colour, row by row.
  [[nodiscard]] Points Inked() const {
    Points points;
    for (int y = 0; y < bitmap_.Height(); ++y) {
      for (int x = 0; x < bitmap_.Width(); ++x) {
        if (bitmap_.Pixel(x, y) == kInk) points.emplace_back(x, y);
      }
    }
    return points;
  }

  Points Line(int x0, int y0, int x1, int y1) {
    canvas().MoveTo(x0, y0);
    canvas().LineTo(x1, y1);
    return Inked();
  }

  Bitmap bitmap_;
};

Points Sorted(Points points) {
  std::sort(points.begin(), points.end());
  return points;
}

struct LineCase {
  std::string name;
  int x0, y0, x1, y1;
  Points expected;
};

TEST_F(CanvasTest, LinesStopShortOfTheirEndPointInEveryDirection) {
  const std::vector<LineCase> cases = {
      {"Rightwards", 2, 3, 6, 3, {{2, 3}, {3, 3}, {4, 3}, {5, 3}}},
      {"Leftwards", 6, 3, 2, 3, {{3, 3}, {4, 3}, {5, 3}, {6, 3}}},
      {"Downwards", 1, 1, 1, 4, {{1, 1}, {1, 2}, {1, 3}}},
      {"Upwards", 1, 4, 1, 1, {{1, 2}, {1, 3}, {1, 4}}},
      {"ZeroLength", 5, 5, 5, 5, {}},
      {"OnePixel", 5, 5, 6, 5, {{5, 5}}},
      // Ties step away from the start point.
      {"ShallowDiagonal", 0, 0, 4, 2, {{0, 0}, {1, 1}, {2, 1}, {3, 2}}},
      {"ShallowDiagonalBack", 4, 2, 0, 0, {{4, 2}, {2, 1}, {3, 1}, {1, 0}}},
      {"SteepDiagonal", 0, 0, 2, 4, {{0, 0}, {1, 1}, {1, 2}, {2, 3}}},
      {"ExactDiagonal", 3, 3, 0, 6, {{3, 3}, {2, 4}, {1, 5}}},
  };
  for (const auto& c : cases) {
    Clear();
    EXPECT_EQ(Sorted(Line(c.x0, c.y0, c.x1, c.y1)), Sorted(c.expected)) << c.name;
  }
}

TEST_F(CanvasTest, PolylineDrawsEachJoinOnceAndKeepsTheCurrentPosition) {
  canvas().MoveTo(1, 1);
  canvas().LineTo(4, 1);
  canvas().LineTo(4, 3);
  canvas().LineTo(2, 3);
  EXPECT_EQ(Inked(), (Points{{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 2}, {3, 3}, {4, 3}}));
}

TEST_F(CanvasTest, LinesAreClippedAtEveryEdgeWhateverTheirLength) {
  Line(-1000000, 2, 1000000, 2);
  Line(3, INT_MIN / 2, 3, INT_MAX / 2);
  Line(-5, -5, 20, 20);
  Line(-100, -100, -1, -1);
  Line(12, 0, 30, 7);
  const Points inked = Inked();
  int row2 = 0;
  int column3 = 0;
  int diagonal = 0;
  for (const auto& [x, y] : inked) {
    row2 += y == 2 ? 1 : 0;
    column3 += x == 3 ? 1 : 0;
    diagonal += x == y ? 1 : 0;
  }
  EXPECT_EQ(row2, 12);
  EXPECT_EQ(column3, 8);
  EXPECT_EQ(diagonal, 8);
  EXPECT_EQ(inked.size(), 12U + 8U + 8U - 3U);  // the three lines share (2,2), (3,3), (3,2)
}

TEST_F(CanvasTest, DottedPenAlternatesFromTheStartWithGapsInTheBrushColour) {
  canvas().SetPenStyle(PenStyle::Dot);
  canvas().SetBrushColor(Black);
  Line(0, 0, 7, 0);
  // Counted from the start even where the start lies outside.
  Line(-3, 2, 4, 2);
  canvas().SetBrushStyle(BrushStyle::Clear);
  Line(9, 6, 9, 0);
  for (int x = 0; x < 7; ++x) {
    EXPECT_EQ(bitmap_.Pixel(x, 0), x % 2 == 0 ? kInk : Black) << x;
  }
  EXPECT_EQ(bitmap_.Pixel(7, 0), kPaper);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(bitmap_.Pixel(x, 2), x % 2 == 1 ? kInk : Black) << x;
  }
  for (int y = 1; y <= 6; ++y) {
    EXPECT_EQ(bitmap_.Pixel(9, y), y % 2 == 0 ? kInk : kPaper) << y;
  }
}

TEST_F(CanvasTest, RectangleCoversUpToButNotIncludingItsSecondCorner) {
  canvas().SetBrushColor(Black);
  canvas().Rectangle(2, 1, 6, 5);
  for (int y = 0; y < bitmap_.Height(); ++y) {
    for (int x = 0; x < bitmap_.Width(); ++x) {
      const bool inside = x >= 2 && x < 6 && y >= 1 && y < 5;
      const bool edge = inside && (x == 2 || x == 5 || y == 1 || y == 4);
      EXPECT_EQ(bitmap_.Pixel(x, y), edge ? kInk : (inside ? Black : kPaper)) << x << "," << y;
    }
  }
}

TEST_F(CanvasTest, ClearBrushLeavesTheInsideAndSettingAColourMakesItSolidAgain) {
  canvas().SetBrushStyle(BrushStyle::Clear);
  canvas().Rectangle(0, 0, 4, 4);
  EXPECT_EQ(bitmap_.Pixel(1, 1), kPaper);
  EXPECT_EQ(bitmap_.Pixel(3, 3), kInk);
  canvas().SetBrushColor(Lime);
  canvas().Rectangle(-3, -3, 20, 20);  // outline outside: only the brush shows
  EXPECT_EQ(bitmap_.Pixel(0, 0), Lime);
  EXPECT_EQ(bitmap_.Pixel(11, 7), Lime);
}

TEST_F(CanvasTest, DrawCopiesAtAPointClippedOnEverySide) {
  Bitmap source;
  source.SetSize(3, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) source.SetPixel(x, y, Rgb(x, y, 9));
  }
  canvas().Draw(-1, -1, source);
  canvas().Draw(10, 7, source);
  EXPECT_EQ(bitmap_.Pixel(0, 0), Rgb(1, 1, 9));
  EXPECT_EQ(bitmap_.Pixel(1, 0), Rgb(2, 1, 9));
  EXPECT_EQ(bitmap_.Pixel(2, 0), kPaper);
  EXPECT_EQ(bitmap_.Pixel(0, 1), kPaper);
  EXPECT_EQ(bitmap_.Pixel(10, 7), Rgb(0, 0, 9));
  EXPECT_EQ(bitmap_.Pixel(11, 7), Rgb(1, 0, 9));
  EXPECT_EQ(bitmap_.Pixel(10, 6), kPaper);
}

TEST_F(CanvasTest, SizesNeverGoNegativeAndPixelsOutsideReadAsZero) {
  Bitmap bitmap;
  bitmap.SetSize(-4, 10);
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_EQ(bitmap.Height(), 10);
  bitmap.GetCanvas().Rectangle(0, 0, 5, 5);
  bitmap.GetCanvas().TextOut(0, 0, "x");
  bitmap.GetCanvas().Draw(0, 0, bitmap_);
  EXPECT_EQ(bitmap_.Pixel(-1, 0), 0U);
  EXPECT_EQ(bitmap_.Pixel(12, 0), 0U);
  EXPECT_EQ(bitmap_.Pixel(0, 8), 0U);
}

TEST_F(CanvasTest, TextIsRecordedAndDrawnInTheFontColourBelowAndRightOfItsCorner) {
  Bitmap page;
  page.SetSize(60, 30);
  Canvas& text = page.GetCanvas();
  text.SetBrushColor(kPaper);
  text.Rectangle(-1, -1, 61, 31);
  std::vector<Canvas::TextRecord> log;
  text.RecordTexts(&log);
  text.SetBrushStyle(BrushStyle::Clear);
  text.SetFontColor(kInk);
  text.TextOut(10, 8, "88");

  ASSERT_EQ(log.size(), 1U);
  EXPECT_EQ(log[0].x, 10);
  EXPECT_EQ(log[0].y, 8);
  EXPECT_EQ(log[0].text, "88");
  EXPECT_EQ(log[0].color, kInk);
  // Placed by its top-left corner: nothing above or left of it, the digits' tops just below it.
  int stray = 0;
  int inked = 0;
  int topRows = 0;
  for (int y = 0; y < page.Height(); ++y) {
    for (int x = 0; x < page.Width(); ++x) {
      const Color pixel = page.Pixel(x, y);
      if (x < 10 || y < 8) {
        stray += pixel == kPaper ? 0 : 1;
        continue;
      }
      inked += pixel == kInk ? 1 : 0;
      topRows += pixel == kInk && y < 8 + 4 ? 1 : 0;
      // No antialiasing and a clear brush: only ink or paper.
      EXPECT_TRUE(pixel == kInk || pixel == kPaper) << x << "," << y;
    }
  }
  EXPECT_EQ(stray, 0);
  EXPECT_GT(inked, 10);
  EXPECT_GT(topRows, 0);

  text.RecordTexts(nullptr);
  text.TextOut(0, 0, "unrecorded");
  EXPECT_EQ(log.size(), 1U);
}

// The displays draw the same labels at every redraw, in other colours and places.
TEST_F(CanvasTest, TheSameTextDrawsTheSameGlyphsInEachColourAndPlace) {
  Bitmap first;
  Bitmap again;
  for (Bitmap* page : {&first, &again}) {
    page->SetSize(40, 20);
    page->GetCanvas().SetBrushColor(kPaper);
    page->GetCanvas().Rectangle(-1, -1, 41, 21);
    page->GetCanvas().SetBrushStyle(BrushStyle::Clear);
  }
  first.GetCanvas().SetFontColor(kInk);
  first.GetCanvas().TextOut(5, 3, "-45");
  again.GetCanvas().SetFontColor(Lime);
  again.GetCanvas().TextOut(2, 6, "-45");  // 3 left and 3 down
  again.GetCanvas().TextOut(-100, -100, "-45");
  int inked = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 40; ++x) {
      const bool glyph = first.Pixel(x + 3, y - 3) == kInk;
      inked += glyph ? 1 : 0;
      EXPECT_EQ(again.Pixel(x, y), glyph ? Lime : kPaper) << x << "," << y;
    }
  }
  EXPECT_GT(inked, 10);
}

TEST_F(CanvasTest, SolidBrushPutsTheTextOnItsColour) {
  Bitmap page;
  page.SetSize(40, 20);
  Canvas& text = page.GetCanvas();
  text.SetBrushColor(Black);
  text.Rectangle(-1, -1, 41, 21);
  text.SetBrushColor(Silver);
  text.SetFontColor(kInk);
  text.TextOut(2, 2, "1");
  EXPECT_EQ(page.Pixel(2, 2), Silver);  // the character cell's top-left, above the digit
  EXPECT_EQ(page.Pixel(1, 2), Black);
  EXPECT_EQ(page.Pixel(2, 1), Black);
}

// The window shows only the area its bitmap reports as changed: a pixel changed outside it
// would stay stale on the screen.
TEST_F(CanvasTest, TheChangedAreaHoldsEveryPixelThatADrawingChanged) {
  Bitmap page;
  page.SetSize(40, 20);
  const PixelArea whole = page.TakeChangedArea();
  EXPECT_TRUE(whole.left == 0 && whole.top == 0 && whole.right == 40 && whole.bottom == 20);
  EXPECT_TRUE(page.TakeChangedArea().Empty());
  Bitmap stamp;
  stamp.SetSize(6, 5);
  stamp.GetCanvas().SetBrushColor(Lime);
  stamp.GetCanvas().Rectangle(0, 0, 6, 5);
  Canvas& ink = page.GetCanvas();
  ink.SetPenColor(kInk);
  const std::vector<std::pair<std::string, std::function<void()>>> drawings = {
      {"line",
       [&] {
         ink.MoveTo(3, 15);
         ink.LineTo(30, 2);
       }},
      {"dotted line off the edge",
       [&] {
         ink.SetPenStyle(PenStyle::Dot);
         ink.MoveTo(-7, 4);
         ink.LineTo(60, 9);
         ink.SetPenStyle(PenStyle::Solid);
       }},
      {"rectangle",
       [&] {
         ink.SetBrushColor(Silver);
         ink.Rectangle(20, 8, 26, 19);
       }},
      {"text on its brush", [&] { ink.TextOut(4, 4, "-35"); }},
      {"text on a clear brush",
       [&] {
         ink.SetBrushStyle(BrushStyle::Clear);
         ink.SetFontColor(Yellow);
         ink.TextOut(30, 12, "[dB]");
       }},
      {"copy across the corner", [&] { ink.Draw(37, -2, stamp); }},
      {"pixel", [&] { page.SetPixel(0, 19, kInk); }},
  };
  for (const auto& [name, draw] : drawings) {
    SCOPED_TRACE(name);
    const std::vector<std::uint32_t> before(page.Bits(), page.Bits() + 40 * 20);
    draw();
    const PixelArea area = page.TakeChangedArea();
    int changed = 0;
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 40; ++x) {
        if (page.Bits()[y * 40 + x] == before[static_cast<std::size_t>(y * 40 + x)]) continue;
        ++changed;
        EXPECT_TRUE(x >= area.left && x < area.right && y >= area.top && y < area.bottom)
            << x << "," << y;
      }
    }
    EXPECT_GT(changed, 0);
  }
}

}  // namespace
