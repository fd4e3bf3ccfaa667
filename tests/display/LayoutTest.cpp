// Layout of the window and the composition of one frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/MainWindowView.h"
#include "capture/RecordWave.h"
#include "tests/display/DisplayFixture.h"

namespace {

class LayoutTest : public DisplayFixture {
 protected:
  void Relayout(int width, int height) {
    window_->SetClientSize(width, height);
    LayoutDisplays();
  }
  PanelBounds Panel(DisplayPanel panel) const { return window_->GetPanelBounds(panel); }
};

void ExpectBounds(const PanelBounds& bounds, int left, int top, int width, int height,
                  const char* name) {
  EXPECT_EQ(bounds.left, left) << name;
  EXPECT_EQ(bounds.top, top) << name;
  EXPECT_EQ(bounds.width, width) << name;
  EXPECT_EQ(bounds.height, height) << name;
}

TEST_F(LayoutTest, GeometryOfTheWorkedExampleClient) {
  EXPECT_EQ(WinClientWidth, 700);
  EXPECT_EQ(WinClientHeight, 520);
  EXPECT_EQ(TimeLeft, 203);
  EXPECT_EQ(TimeRight, 685);
  EXPECT_EQ(TimeTop, 15);
  EXPECT_EQ(TimeBottom, 230);
  EXPECT_EQ(TimeQuarter, 53);
  EXPECT_EQ(TimeHalf, 107);
  EXPECT_EQ(TimeThreeQuarters, 161);
  EXPECT_EQ(FreqLeft, 203);
  EXPECT_EQ(FreqRight, 685);
  EXPECT_EQ(FreqTop, 280);
  EXPECT_EQ(FreqBottom, 490);
  EXPECT_EQ(TimeBitmap->Width(), 483);
  EXPECT_EQ(TimeBitmap->Height(), 216);
  EXPECT_EQ(FreqBitmap->Width(), 483);
  EXPECT_EQ(FreqBitmap->Height(), 211);
  ExpectBounds(Panel(DisplayPanel::Time), 8, 10, 165, 220, "time");
  ExpectBounds(Panel(DisplayPanel::Control), 8, 235, 165, 40, "control");
  ExpectBounds(Panel(DisplayPanel::Freq), 8, 280, 165, 230, "freq");
  EXPECT_EQ(window_->StartButtonLeft(), 44);
}

TEST_F(LayoutTest, AnOddExtraRowGoesToTheFrequencyArea) {
  Relayout(700, 521);
  EXPECT_EQ(TimeBottom, 230);
  EXPECT_EQ(TimeBitmap->Height(), 216);
  EXPECT_EQ(FreqTop, 280);
  EXPECT_EQ(FreqBottom, 491);
  EXPECT_EQ(FreqBitmap->Height(), 212);
}

TEST_F(LayoutTest, WiderAndTallerWindowsKeepTheLeftEdgeAndTheControlPanelHeight) {
  struct Size {
    int width;
    int height;
  };
  for (const Size size : {Size{640, 580}, Size{1001, 777}, Size{3840, 2000}}) {
    Relayout(size.width, size.height);
    const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height);
    EXPECT_EQ(TimeLeft, 203) << name;
    EXPECT_EQ(TimeBitmap->Width(), size.width - 15 - 203 + 1) << name;
    EXPECT_EQ(FreqBitmap->Width(), TimeBitmap->Width()) << name;
    EXPECT_EQ(Panel(DisplayPanel::Control).top, TimeBottom + 5) << name;
    EXPECT_EQ(Panel(DisplayPanel::Control).height, 40) << name;
    EXPECT_EQ(Panel(DisplayPanel::Time).top + Panel(DisplayPanel::Time).height, TimeBottom) << name;
  }
}

// Below the minimum window size the areas shrink to a pixel and everything is clipped.
TEST_F(LayoutTest, TooSmallClientAreasNeverGiveEmptyBitmapsOrCrash) {
  struct Size {
    int width;
    int height;
  };
  ShowTimeChannels(true, true);
  ShowFreqChannels(true, true);
  Channel1Block.fill(32767);
  Channel2Block.fill(-32768);
  Spectrum1.fill(1.0e6F);
  for (const Size size : {Size{0, 0}, Size{1, 1}, Size{150, 70}, Size{220, 95}, Size{400, 120}}) {
    Relayout(size.width, size.height);
    const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height);
    EXPECT_GE(TimeBitmap->Width(), 1) << name;
    EXPECT_GE(TimeBitmap->Height(), 1) << name;
    EXPECT_GE(FreqBitmap->Width(), 1) << name;
    EXPECT_GE(FreqBitmap->Height(), 1) << name;
    EXPECT_GE(Panel(DisplayPanel::Freq).height, 0) << name;
    PaintWindowBackground();
    DrawTimeBackground();
    DrawTimeFrame();
    DrawTimeTraces();
    DrawFreqBackground();
    DrawFreqFrame();
    DrawSpectrumTraces();
    ComposeFrame();
  }
}

TEST_F(LayoutTest, BackgroundFillsTheClientGreyInsideTheWindowsLastPen) {
  PaintWindowBackground();
  EXPECT_EQ(WindowPixel(1, 1), Grey(160));
  EXPECT_EQ(WindowPixel(698, 518), Grey(160));
  // The first paint finds the pen black; later ones the last frame band's grey.
  EXPECT_EQ(WindowPixel(0, 0), Black);
  EXPECT_EQ(WindowPixel(699, 519), Black);
  DrawFreqFrame();
  PaintWindowBackground();
  EXPECT_EQ(WindowPixel(0, 300), Grey(250));
  EXPECT_EQ(WindowPixel(350, 519), Grey(250));
  EXPECT_EQ(WindowPixel(350, 518), Grey(160));
  EXPECT_GE(window_->WindowChangedCalls(), 2);
}

TEST_F(LayoutTest, BitmapsAreCopiedOntoTheirAreasPixelForPixel) {
  TimeBitmap->SetPixel(0, 0, Rgb(1, 2, 3));
  TimeBitmap->SetPixel(482, 215, Rgb(4, 5, 6));
  FreqBitmap->SetPixel(0, 0, Rgb(7, 8, 9));
  FreqBitmap->SetPixel(482, 210, Rgb(10, 11, 12));
  const int changed = window_->WindowChangedCalls();
  CopyBitmapsToWindow();
  EXPECT_EQ(WindowPixel(203, 15), Rgb(1, 2, 3));
  EXPECT_EQ(WindowPixel(685, 230), Rgb(4, 5, 6));
  EXPECT_EQ(WindowPixel(203, 280), Rgb(7, 8, 9));
  EXPECT_EQ(WindowPixel(685, 490), Rgb(10, 11, 12));
  EXPECT_EQ(WindowPixel(686, 230), 0U);  // untouched: the fake window starts black
  EXPECT_GT(window_->WindowChangedCalls(), changed);
}

TEST_F(LayoutTest, FrameComposesBothDisplaysAndLeavesTheFrameAlone) {
  PaintWindowBackground();
  // The time picture of the frame before: the new frame starts from a black one.
  TimeBitmap->GetCanvas().SetBrushColor(Maroon);
  TimeBitmap->GetCanvas().Rectangle(-1, -1, 500, 500);
  SyncChannel1 = 1;
  Channel1Block.fill(16384);
  Spectrum1.fill(0.0F);
  ComposeFrame();
  EXPECT_EQ(WindowPixel(203 + 10, 15 + 10), Black);
  EXPECT_EQ(WindowPixel(685, 230), Black);
  // Time: channel 1's flat trace on row 26 of its band; frequency: the spectrum computed from
  // the block (a constant puts everything into bin 0, drawn at the top).
  EXPECT_EQ(WindowPixel(203 + 10, 15 + 26), Yellow);
  EXPECT_EQ(WindowPixel(203, 280 + 1), Yellow);
  EXPECT_EQ(WindowPixel(203 + 48, 280 + 2), Silver);
  // Nothing outside the areas is drawn.
  EXPECT_EQ(WindowPixel(202, 100), Grey(160));
  EXPECT_EQ(WindowPixel(400, 240), Grey(160));
  EXPECT_TRUE(texts_.empty());
}

// Either spectrum check box recomputes both spectra and redraws the frequency picture; with
// both hidden the last picture is copied again.
TEST_F(LayoutTest, SpectraAreRecomputedWhenEitherSpectrumIsShown) {
  struct Case {
    bool first;
    bool second;
    bool recomputed;
  };
  for (const Case c :
       {Case{false, false, false}, Case{true, false, true}, Case{false, true, true}}) {
    SCOPED_TRACE(testing::Message() << "F1 " << c.first << ", F2 " << c.second);
    ShowFreqChannels(c.first, c.second);
    FreqBitmap->GetCanvas().SetBrushColor(Maroon);
    FreqBitmap->GetCanvas().Rectangle(-1, -1, 500, 500);
    Spectrum1.fill(5.0F);
    Spectrum2.fill(5.0F);
    Channel1Block.fill(1000);
    Channel2Block.fill(-3000);
    ComposeFrame();
    EXPECT_EQ(Spectrum1[0], c.recomputed ? 2000.0F : 5.0F);
    EXPECT_EQ(Spectrum2[0], c.recomputed ? 6000.0F : 5.0F);
    EXPECT_EQ(WindowPixel(203 + 48, 280 + 2), c.recomputed ? Silver : Maroon);
    EXPECT_EQ(WindowPixel(685, 490), c.recomputed ? Black : Maroon);
    EXPECT_EQ(WindowPixel(203 + 48, 15), Silver);
  }
}

TEST_F(LayoutTest, FrameFindsTheTriggerBeforeDrawingTheTraces) {
  SyncChannel1 = 1;
  TriggerIndex1 = 555;
  Channel1Block.fill(0);
  Channel1Block[9] = -1;
  Channel1Block[10] = 16384;
  ComposeFrame();
  EXPECT_EQ(TriggerIndex1, 10);
  // The trace starts on element 10's row, 26, and falls from there to the zero line at 53.
  EXPECT_EQ(WindowPixel(203, 15 + 25), Black);
  EXPECT_EQ(WindowPixel(203, 15 + 26), Yellow);
}

}  // namespace
