#pragma once
// The two displays: layout of the window, the graded frames and scale labels drawn on the
// window, and the grids and traces drawn into TimeBitmap and FreqBitmap. The drawing steps work
// on the program-wide state and on FormMain, which must be set; a display whose bitmap does
// not exist is drawn into nothing.
// Every step that draws on the window ends with FormMain->WindowChanged().
// User-interface thread only.

#include <array>
#include <cstdint>
#include <string>

constexpr int DbLevelCount = 19;

// Round(32767 * e^(-5 i / 8.7)): the magnitude of the level -5 i dB of full scale.
std::array<std::int32_t, DbLevelCount> ComputeDbLevels();
inline const std::array<std::int32_t, DbLevelCount> DbLevels = ComputeDbLevels();

// The levels the frequency display grades: from Round(scale * 32767 / 100) at the top down
// to a fifteenth of it, both bounds included.
struct ShownLevels {
  std::int32_t top = 0;
  std::int32_t floor = 0;
  [[nodiscard]] bool Contains(std::int32_t level) const { return floor <= level && level <= top; }
};
ShownLevels ShownLevelWindow(std::int32_t freqLevelScale);

// The time base's sample counts at a capture rate. A rate of 0 gives 0 samples.
struct TimeBaseCounts {
  std::int32_t windowSamples = 0;
  std::int32_t step = 1;
  std::int32_t shown = 0;
};
TimeBaseCounts ComputeTimeBase(std::uint32_t sampleRate, float timeBaseMs);

// Spectrum bins drawn after bin 0 for a span at a capture rate.
std::int32_t ComputeHarmonicsShown(std::int32_t freqSpanKHz, std::uint32_t sampleRate);

// Scale values of the slider positions; a position outside the slider's range keeps current.
float TimeBaseForPosition(int position, float current);
std::int32_t TimeVoltsScaleForPosition(int position, std::int32_t current);
std::int32_t FreqSpanForPosition(int position, std::int32_t current);
std::int32_t FreqLevelScaleForPosition(int position, std::int32_t current);

// The full-deflection label of an amplitude scale ("33k" at 100 ... "328" at 1); empty for a
// scale that has none.
std::string AmplitudeLabelText(std::int32_t timeVoltsScale);
// Tick label i (1 to 10) of the time axis and of the frequency axis: three characters,
// right-aligned.
std::string TimeTickLabel(float timeBaseMs, int i);
std::string FreqTickLabel(std::int32_t freqSpanKHz, int i);

// Window geometry from the client size; sizes both bitmaps and places the three panels. A
// client area too small for the layout keeps each display at least one pixel in size.
void LayoutDisplays();
// Fills the whole client area with the window's grey, outlined in the window's last pen.
void PaintWindowBackground();
// Copies TimeBitmap to (TimeLeft, TimeTop) and FreqBitmap to (FreqLeft, FreqTop) on the window,
// both or one of them; a display's frame and labels around it are left as they are.
void CopyBitmapsToWindow();
void CopyTimeBitmapToWindow();
void CopyFreqBitmapToWindow();

// On the window: the graded bands around the time area, the amplitude labels (two sets when
// both time channels are shown), the time tick labels and "Time [ms]".
void DrawTimeFrame();
// Fills TimeBitmap with black.
void DrawTimeBackground();
// Into TimeBitmap, over its background: the dotted grid, then the trace of each checked channel
// from its trigger index, in one band or, with both, in the upper and lower half. Also sets
// TimeWindowSamples, SampleStep, SamplesShown, TimeXScale and TimeYScale.
void DrawTimeTraces();

// On the window: the graded bands around the frequency area, "[dB]", the decibel labels of the
// levels the scale shows, the frequency tick labels and "Frequency [kHz]". Sets FreqYScale.
void DrawFreqFrame();
// Fills FreqBitmap with black.
void DrawFreqBackground();
// Into FreqBitmap, over its background: the dotted grid of the shown levels and the divisions,
// then the spectrum of each checked channel, bin 0 to HarmonicsShown. Also sets FreqXScale,
// FreqYScale and HarmonicsShown.
void DrawSpectrumTraces();
