#include "display/Graph.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <memory>

#include "app/Global.h"
#include "app/MainWindowView.h"

namespace {

constexpr Color WindowGrey = Grey(160);
constexpr int PanelLeft = 8;
constexpr int AreaMargin = 15;   // right of both areas, above the time area
constexpr int TimeAreaGap = 30;  // between the time panel and the areas
constexpr int FreqTopGap = 50;   // from the time area's last row to the frequency area
constexpr int FreqBottomMargin = 30;
constexpr int StartButtonLeft = 44;
constexpr int UpperBandWidth = 16;  // top and right bands
constexpr int LowerBandWidth = 25;  // bottom and left bands
constexpr std::int32_t FullScale = 32767;
constexpr std::int32_t TwoBandDivisor = 131072;  // 4 x 32768: a quarter of the height per band
constexpr std::int32_t OneBandDivisor = 65536;
constexpr std::int32_t SlowRateWideSpanBins = 1022;  // the 20 kHz span at 22050 Hz and below
constexpr std::uint32_t SlowRate = 22050;

// Where the scale labels stand beside the frames, in window pixels. The labels are 11 pixels
// high in the window font and are placed by their top-left corner.
constexpr int LabelCentre = 5;  // half a label's height: a label centred on its grid row
// Left of the time area: a three-character amplitude ("33k") just clear of the left band's
// inner lines, and the signed and zero labels ("-33k", "  0") one character further out.
constexpr int AmplitudeLabelLeft = 22;
constexpr int SignedLabelLeft = 25;
// In two bands, the labels at the half line stand apart from it: the negative full deflection
// of the upper band above it, the positive one of the lower band below it.
constexpr int AboveHalfLine = 10;
constexpr int BelowHalfLine = 3;
// Under the time area: tick labels, three characters centred on their division, then the
// caption about centred under the area.
constexpr int TimeTickLabelShift = 10;
constexpr int TimeTickLabelTop = 1;
constexpr int TimeCaptionShift = 12;
constexpr int CaptionTop = 12;  // below the tick labels, under both areas
// Left of the frequency area: decibel labels ("-60") and their caption "[dB]", which stands
// above the top band; under it, tick labels centred on their division and the caption.
constexpr int DbLabelLeft = 20;
constexpr int DbCaptionAbove = 17;
constexpr int FreqTickLabelShift = 8;
constexpr int FreqTickLabelTop = 2;
constexpr int FreqCaptionShift = 25;

constexpr Color BandColor(int i) { return Grey(150 + 4 * i); }

// Before FormCreate and after FormDestroy a display has no bitmap: it is then drawn into an
// empty one, which clips everything away.
Bitmap& Picture(const std::unique_ptr<Bitmap>& bitmap) {
  static Bitmap nothing;
  return bitmap ? *bitmap : nothing;
}

// A scale factor kept in single precision. A zero denominator (no capture rate, or a scale
// not yet set) gives 0, which puts every point on its zero line instead of at infinity.
float Scale(long double numerator, long double denominator) {
  return denominator == 0 ? 0.0F : static_cast<float>(numerator / denominator);
}

void Line(Canvas& canvas, int x0, int y0, int x1, int y1) {
  canvas.MoveTo(x0, y0);
  canvas.LineTo(x1, y1);
}

struct AreaEdges {
  int left;
  int top;
  int right;
  int bottom;
};

// The graded frame around a display area on the window: the 16-pixel upper and right bands,
// then the 25-pixel lower and left bands over them, each line a shade lighter outwards. The
// left band's i-th line starts min(i, leftReach) rows above the area.
void DrawFrameBands(Canvas& canvas, const AreaEdges& area, int leftReach) {
  canvas.SetPenStyle(PenStyle::Solid);
  for (int i = 1; i <= UpperBandWidth; ++i) {
    canvas.SetPenColor(BandColor(i));
    Line(canvas, area.left - i, area.top - i, area.right + i, area.top - i);
    Line(canvas, area.right + i, area.top - i, area.right + i, area.bottom + i + 3);
  }
  for (int i = 1; i <= LowerBandWidth; ++i) {
    canvas.SetPenColor(BandColor(i));
    Line(canvas, area.left - i, area.bottom + i, area.right + i, area.bottom + i);
    Line(canvas, area.left - i, area.top - std::min(i, leftReach), area.left - i, area.bottom + i);
  }
}

void FillBlack(Bitmap& picture) {
  Canvas& canvas = picture.GetCanvas();
  canvas.SetBrushColor(Black);
  canvas.SetPenColor(Black);
  canvas.Rectangle(0, 0, picture.Width(), picture.Height());
}

// value in fixed-point notation with `decimals` digits, right-aligned in a field of three and cut
// to its first three characters. to_chars ignores the locale, where printf would write a
// decimal comma under most European ones.
std::string FixedField(long double value, int decimals) {
  constexpr std::size_t Field = 3;
  std::array<char, 64> digits{};
  const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                          std::chars_format::fixed, decimals);
  std::string text = error == std::errc() ? std::string(digits.data(), end) : std::string();
  if (text.size() < Field) text.insert(0, Field - text.size(), ' ');
  return text.substr(0, Field);
}

template <typename T>
T PickByPosition(int position, T current, std::initializer_list<T> values) {
  if (position < 1 || position > static_cast<int>(values.size())) return current;
  return *(values.begin() + (position - 1));
}

struct TraceBand {
  int centre;
  int low;
  int high;
};

std::int16_t SampleAt(const std::array<std::int16_t, ChannelBlockLength>& block, long long index) {
  return index >= 0 && index < ChannelBlockLength ? block[static_cast<std::size_t>(index)] : 0;
}

void DrawTrace(Canvas& canvas, const std::array<std::int16_t, ChannelBlockLength>& block,
               std::int32_t start, Color color, const TraceBand& band) {
  const auto row = [&](std::int16_t value) {
    int y = band.centre - Round(static_cast<long double>(value) * TimeYScale);
    if (y < band.low) y = band.low;
    if (y > band.high) y = band.high;
    return y;
  };
  canvas.SetPenColor(color);
  const int firstRow = row(SampleAt(block, start));
  canvas.MoveTo(0, firstRow);
  // A trace of no segments (no capture rate) still shows where it starts.
  if (SamplesShown <= 0) canvas.LineTo(1, firstRow);
  for (std::int32_t k = 1; k <= SamplesShown; ++k) {
    const long long index = static_cast<long long>(start) + static_cast<long long>(k) * SampleStep;
    canvas.LineTo(Round(static_cast<long double>(k) * TimeXScale), row(SampleAt(block, index)));
  }
}

void DrawSpectrum(Canvas& canvas, const std::array<float, SpectrumLength>& spectrum, Color color,
                  int height) {
  const auto row = [&](std::size_t bin) {
    const int y = height - Round(static_cast<long double>(FreqYScale) * spectrum[bin]);
    return y <= 0 ? 1 : y;
  };
  const long double pixelsPerBin = BinWidthHz * static_cast<long double>(FreqXScale);
  const std::int32_t last = std::min(HarmonicsShown, SpectrumLength - 1);
  canvas.SetPenColor(color);
  canvas.MoveTo(0, row(0));
  for (std::int32_t k = 1; k <= last; ++k) {
    canvas.LineTo(Round(pixelsPerBin * k), row(static_cast<std::size_t>(k)));
  }
  canvas.SetPenColor(Black);
}

// A display's grids are dotted, silver on black.
void SetGridPen(Canvas& canvas) {
  canvas.SetBrushColor(Black);
  canvas.SetPenColor(Silver);
  canvas.SetPenStyle(PenStyle::Dot);
}

// The nine vertical divisions of a display's width.
void DrawDivisions(Canvas& canvas, int width, int height) {
  for (int i = 1; i <= 9; ++i) {
    const int x = (i * width) / 10;
    Line(canvas, x, 0, x, height);
  }
}

// The time display's grid: the divisions and the lines of the quarters and the half of its
// height.
void DrawTimeGrid(Canvas& canvas, int w, int h) {
  SetGridPen(canvas);
  DrawDivisions(canvas, w, h);
  Line(canvas, 0, TimeHalf, w, TimeHalf);
  Line(canvas, 0, TimeQuarter, w, TimeQuarter);
  Line(canvas, 0, TimeThreeQuarters, w, TimeThreeQuarters);
  canvas.SetPenStyle(PenStyle::Solid);
}

// The frequency display's grid: a line for each decibel level the scale shows, then the
// divisions. Needs FreqYScale.
void DrawFreqGrid(Canvas& canvas, int width, int height) {
  SetGridPen(canvas);
  const ShownLevels shown = ShownLevelWindow(FreqLevelScale);
  for (const std::int32_t level : DbLevels) {
    if (!shown.Contains(level)) continue;
    const int y = height - Round(static_cast<long double>(level) * FreqYScale);
    Line(canvas, 0, y, width, y);
  }
  DrawDivisions(canvas, width, height);
  canvas.SetPenStyle(PenStyle::Solid);
}

float ComputeFreqYScale() {
  return Scale((FreqBottom - FreqTop) * 100, static_cast<long double>(FreqLevelScale) * FullScale);
}

}  // namespace

std::array<std::int32_t, DbLevelCount> ComputeDbLevels() {
  std::array<std::int32_t, DbLevelCount> levels{};
  for (int i = 0; i < DbLevelCount; ++i) {
    levels[static_cast<std::size_t>(i)] = Round(FullScale * std::exp(-5.0L * i / 8.7L));
  }
  return levels;
}

ShownLevels ShownLevelWindow(std::int32_t freqLevelScale) {
  ShownLevels window;
  window.top = Round(static_cast<long double>(freqLevelScale) * FullScale / 100);
  window.floor = Round(static_cast<long double>(window.top) / 15);
  return window;
}

TimeBaseCounts ComputeTimeBase(std::uint32_t sampleRate, float timeBaseMs) {
  TimeBaseCounts counts;
  counts.windowSamples = Round(
      static_cast<long double>(static_cast<std::uint64_t>(sampleRate) * 10) * timeBaseMs / 1000);
  if (timeBaseMs == 10.0F) counts.step = 4;
  if (timeBaseMs == 5.0F) counts.step = 2;
  counts.shown = Round(static_cast<long double>(counts.windowSamples) / counts.step);
  return counts;
}

std::int32_t ComputeHarmonicsShown(std::int32_t freqSpanKHz, std::uint32_t sampleRate) {
  if (freqSpanKHz == 20 && sampleRate <= SlowRate) return SlowRateWideSpanBins;
  return Round(static_cast<long double>(freqSpanKHz) * 1000 / BinWidthHz);
}

float TimeBaseForPosition(int position, float current) {
  return PickByPosition(position, current, {10.0F, 5.0F, 2.0F, 1.0F, 0.5F, 0.2F, 0.1F});
}

std::int32_t TimeVoltsScaleForPosition(int position, std::int32_t current) {
  return PickByPosition<std::int32_t>(position, current, {100, 50, 20, 10, 5, 2, 1});
}

std::int32_t FreqSpanForPosition(int position, std::int32_t current) {
  return PickByPosition<std::int32_t>(position, current, {20, 10, 5, 2, 1});
}

std::int32_t FreqLevelScaleForPosition(int position, std::int32_t current) {
  return PickByPosition<std::int32_t>(position, current, {100, 50, 20, 10, 5, 2, 1});
}

std::string AmplitudeLabelText(std::int32_t timeVoltsScale) {
  switch (timeVoltsScale) {
    case 100:
      return "33k";
    case 50:
      return "16k";
    case 20:
      return "6.5k";
    case 10:
      return "3.3k";
    case 5:
      return "1.6k";
    case 2:
      return "655";
    case 1:
      return "328";
    default:
      return {};
  }
}

std::string TimeTickLabel(float timeBaseMs, int i) {
  return FixedField(static_cast<long double>(i) * timeBaseMs, timeBaseMs >= 1.0F ? 0 : 1);
}

std::string FreqTickLabel(std::int32_t freqSpanKHz, int i) {
  return FixedField(static_cast<long double>(freqSpanKHz * i) / 10, freqSpanKHz >= 10 ? 0 : 1);
}

void LayoutDisplays() {
  WinClientWidth = FormMain->ClientWidth();
  WinClientHeight = FormMain->ClientHeight();

  PanelBounds timePanel = FormMain->GetPanelBounds(DisplayPanel::Time);
  PanelBounds controlPanel = FormMain->GetPanelBounds(DisplayPanel::Control);
  PanelBounds freqPanel = FormMain->GetPanelBounds(DisplayPanel::Freq);
  timePanel.left = PanelLeft;
  controlPanel.left = PanelLeft;
  freqPanel.left = PanelLeft;

  TimeLeft = timePanel.left + timePanel.width + TimeAreaGap;
  // Below the minimum window size the areas shrink to one pixel instead of turning inside out.
  TimeRight = std::max(WinClientWidth - AreaMargin, TimeLeft);
  FreqLeft = TimeLeft;
  FreqRight = TimeRight;
  TimeTop = AreaMargin;
  TimeBottom = std::max((WinClientHeight - 60) / 2, TimeTop);
  FreqTop = TimeBottom + FreqTopGap;
  FreqBottom = std::max(WinClientHeight - FreqBottomMargin, FreqTop);

  const int h = TimeBottom - TimeTop;
  TimeQuarter = h / 4;
  TimeThreeQuarters = (3 * h) / 4;
  TimeHalf = (2 * h) / 4;

  timePanel.top = 10;
  timePanel.height = TimeBottom - 10;
  controlPanel.top = timePanel.top + timePanel.height + 5;
  controlPanel.height = FreqTop - 5 - controlPanel.top;
  freqPanel.top = FreqTop;
  freqPanel.height = std::max(WinClientHeight - 10 - freqPanel.top, 0);
  FormMain->SetPanelBounds(DisplayPanel::Time, timePanel);
  FormMain->SetPanelBounds(DisplayPanel::Control, controlPanel);
  FormMain->SetPanelBounds(DisplayPanel::Freq, freqPanel);
  FormMain->SetStartButtonLeft(StartButtonLeft);

  if (TimeBitmap) TimeBitmap->SetSize(TimeRight - TimeLeft + 1, TimeBottom - TimeTop + 1);
  if (FreqBitmap) FreqBitmap->SetSize(FreqRight - FreqLeft + 1, FreqBottom - FreqTop + 1);
}

void PaintWindowBackground() {
  // No pen is set: the outline keeps the window's last pen colour.
  Canvas& canvas = FormMain->WindowCanvas();
  canvas.SetBrushColor(WindowGrey);
  canvas.Rectangle(0, 0, WinClientWidth, WinClientHeight);
  FormMain->WindowChanged();
}

void CopyTimeBitmapToWindow() {
  FormMain->WindowCanvas().Draw(TimeLeft, TimeTop, Picture(TimeBitmap));
  FormMain->WindowChanged();
}

void CopyFreqBitmapToWindow() {
  FormMain->WindowCanvas().Draw(FreqLeft, FreqTop, Picture(FreqBitmap));
  FormMain->WindowChanged();
}

void CopyBitmapsToWindow() {
  CopyTimeBitmapToWindow();
  CopyFreqBitmapToWindow();
}

void DrawTimeFrame() {
  Canvas& canvas = FormMain->WindowCanvas();
  DrawFrameBands(canvas, {TimeLeft, TimeTop, TimeRight, TimeBottom}, LowerBandWidth);

  const std::string amplitude = AmplitudeLabelText(TimeVoltsScale);
  const std::string negAmplitude = "-" + amplitude;
  canvas.SetBrushStyle(BrushStyle::Clear);
  canvas.SetFontColor(Black);
  canvas.TextOut(TimeLeft - AmplitudeLabelLeft, TimeTop - LabelCentre, amplitude);
  canvas.TextOut(TimeLeft - SignedLabelLeft, TimeBottom - LabelCentre, negAmplitude);
  if (FormMain->IsChecked(DisplayCheckBox::A1) && FormMain->IsChecked(DisplayCheckBox::A2)) {
    canvas.TextOut(TimeLeft - SignedLabelLeft, TimeTop + TimeHalf - AboveHalfLine, negAmplitude);
    canvas.TextOut(TimeLeft - AmplitudeLabelLeft, TimeTop + TimeHalf + BelowHalfLine, amplitude);
    canvas.TextOut(TimeLeft - SignedLabelLeft, TimeTop + TimeQuarter - LabelCentre, "  0");
    canvas.TextOut(TimeLeft - SignedLabelLeft, TimeTop + TimeThreeQuarters - LabelCentre, "  0");
  } else {
    canvas.TextOut(TimeLeft - SignedLabelLeft, TimeTop + TimeHalf - LabelCentre, "  0");
  }
  for (int i = 1; i <= 10; ++i) {
    const int gridX = (i * (TimeRight - TimeLeft)) / 10 + TimeLeft;
    canvas.TextOut(gridX - TimeTickLabelShift, TimeBottom + TimeTickLabelTop,
                   TimeTickLabel(TimeBaseMs, i));
  }
  canvas.TextOut((TimeRight - TimeLeft) / 2 + TimeLeft - TimeCaptionShift, TimeBottom + CaptionTop,
                 "Time [ms]");
  FormMain->WindowChanged();
}

void DrawTimeBackground() { FillBlack(Picture(TimeBitmap)); }

void DrawTimeTraces() {
  const int w = TimeRight - TimeLeft;
  const int h = TimeBottom - TimeTop;
  const TimeBaseCounts counts = ComputeTimeBase(SampleRate, TimeBaseMs);
  SampleStep = counts.step;
  TimeWindowSamples = counts.windowSamples;
  SamplesShown = counts.shown;
  // Without a capture rate there is no segment to place: only the starting points are drawn.
  TimeXScale = Scale(w * SampleStep * 100, static_cast<long double>(SampleRate) * TimeBaseMs);

  Canvas& canvas = Picture(TimeBitmap).GetCanvas();
  DrawTimeGrid(canvas, w, h);

  const bool first = FormMain->IsChecked(DisplayCheckBox::A1);
  const bool second = FormMain->IsChecked(DisplayCheckBox::A2);
  if (!first && !second) return;
  const auto yScale = [&](std::int32_t divisor) {
    return Scale(h * 100, static_cast<long double>(TimeVoltsScale) * divisor);
  };
  if (first && second) {
    TimeYScale = yScale(TwoBandDivisor);
    DrawTrace(canvas, Channel1Block, TriggerIndex1, Yellow, {TimeQuarter, 1, TimeHalf - 1});
    DrawTrace(canvas, Channel2Block, TriggerIndex2, Lime, {TimeThreeQuarters, TimeHalf + 1, h - 1});
  } else {
    TimeYScale = yScale(OneBandDivisor);
    if (first) {
      DrawTrace(canvas, Channel1Block, TriggerIndex1, Yellow, {TimeHalf, 1, h - 1});
    } else {
      DrawTrace(canvas, Channel2Block, TriggerIndex2, Lime, {TimeHalf, 1, h - 1});
    }
  }
  canvas.SetPenColor(Black);
}

void DrawFreqFrame() {
  FreqYScale = ComputeFreqYScale();
  Canvas& canvas = FormMain->WindowCanvas();
  // The outer lines of the left band stop at the top band's outermost row.
  DrawFrameBands(canvas, {FreqLeft, FreqTop, FreqRight, FreqBottom}, UpperBandWidth);

  canvas.SetBrushStyle(BrushStyle::Clear);
  canvas.SetFontColor(Black);
  canvas.TextOut(FreqLeft - DbLabelLeft, FreqTop - DbCaptionAbove, "[dB]");
  const ShownLevels shown = ShownLevelWindow(FreqLevelScale);
  for (int i = 0; i < DbLevelCount; ++i) {
    const std::int32_t level = DbLevels[static_cast<std::size_t>(i)];
    if (!shown.Contains(level)) continue;
    const int y = FreqBottom - Round(static_cast<long double>(level) * FreqYScale);
    canvas.TextOut(FreqLeft - DbLabelLeft, y - LabelCentre, std::to_string(-5 * i));
  }
  const int width = FreqRight - FreqLeft;
  for (int i = 1; i <= 10; ++i) {
    canvas.TextOut(width * i / 10 + FreqLeft - FreqTickLabelShift, FreqBottom + FreqTickLabelTop,
                   FreqTickLabel(FreqSpanKHz, i));
  }
  canvas.TextOut(width / 2 + FreqLeft - FreqCaptionShift, FreqBottom + CaptionTop,
                 "Frequency [kHz]");
  FormMain->WindowChanged();
}

void DrawFreqBackground() { FillBlack(Picture(FreqBitmap)); }

void DrawSpectrumTraces() {
  const int width = FreqRight - FreqLeft;
  const int height = FreqBottom - FreqTop;
  FreqXScale = Scale(width, static_cast<long double>(FreqSpanKHz) * 1000);
  HarmonicsShown = ComputeHarmonicsShown(FreqSpanKHz, SampleRate);
  FreqYScale = ComputeFreqYScale();

  Canvas& canvas = Picture(FreqBitmap).GetCanvas();
  DrawFreqGrid(canvas, width, height);

  if (FormMain->IsChecked(DisplayCheckBox::F1)) DrawSpectrum(canvas, Spectrum1, Yellow, height);
  if (FormMain->IsChecked(DisplayCheckBox::F2)) DrawSpectrum(canvas, Spectrum2, Lime, height);
}
