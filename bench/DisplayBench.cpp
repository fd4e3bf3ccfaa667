// The displays per captured block and after a slider change. Each figure is also given as
// "block_share", the part of the 100 ms block period it takes.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSlider>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/main.h"
#include "capture/RecordWave.h"
#include "display/Graph.h"
#include "dsp/FFT.h"
#include "tests/support/FakeMainWindow.h"

namespace {

constexpr double kBlockSeconds = 0.1;

void ReportBlockShare(benchmark::State& state) {
  state.counters["block_share"] = benchmark::Counter(
      kBlockSeconds, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A sine on channel 1 and a square on channel 2, as the signal generator gives them.
void FillBlocks() {
  for (int n = 0; n < ChannelBlockLength; ++n) {
    const double t = static_cast<double>(n) / SampleRate;
    Channel1Block[static_cast<std::size_t>(n)] =
        static_cast<std::int16_t>(std::lround(16000.0 * std::sin(2 * std::numbers::pi * 1000 * t)));
    Channel2Block[static_cast<std::size_t>(n)] =
        static_cast<std::int16_t>(std::fmod(t * 440, 1.0) < 0.5 ? 8000 : -8000);
  }
}

void StartUpScales() {
  SampleRate = 44100;
  TimeBaseMs = 10.0F;
  TimeVoltsScale = 100;
  FreqSpanKHz = 20;
  FreqLevelScale = 100;
  SyncChannel1 = 1;
}

void BM_ComposeFrame(benchmark::State& state) {
  ResetGlobals();
  ResetFftState();
  StartUpScales();
  FakeMainWindow window(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  TimeBitmap = std::make_unique<Bitmap>();
  FreqBitmap = std::make_unique<Bitmap>();
  FillBlocks();
  LayoutDisplays();
  PaintWindowBackground();
  for (auto _ : state) {
    ComposeFrame();
    benchmark::DoNotOptimize(window.Surface().Bits());
  }
  ReportBlockShare(state);
  ResetGlobals();
}
BENCHMARK(BM_ComposeFrame)
    ->ArgNames({"width", "height"})
    ->Args({800, 600})
    ->Args({3840, 2000})
    ->Unit(benchmark::kMicrosecond);

// The main window itself, at its default size: each iteration moves TBarAX and TBarFX, whose
// handlers redraw the time and the frequency display with their frames, labels and captions.
void BM_RedrawAfterSliderChange(benchmark::State& state) {
  ResetGlobals();
  ResetFftState();
  auto form = std::make_unique<TFormMain>();
  form->show();
  QApplication::processEvents();
  state.SetLabel("client " + std::to_string(form->ClientWidth()) + "x" +
                 std::to_string(form->ClientHeight()));
  FillBlocks();
  ComputeSpectrum();
  int position = 1;
  for (auto _ : state) {
    position = position == 1 ? 2 : 1;
    form->TBarAX->setValue(position);
    form->TBarFX->setValue(position);
  }
  ReportBlockShare(state);
  form.reset();
  ResetGlobals();
}
BENCHMARK(BM_RedrawAfterSliderChange)->Unit(benchmark::kMicrosecond);

}  // namespace
