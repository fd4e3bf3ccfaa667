// The signal path per captured block, and FFTW doing the same spectra for comparison.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <numbers>
#include <type_traits>

#include "app/Global.h"
#include "dsp/BlockExtraction.h"
#include "dsp/FFT.h"
#include "dsp/Trigger.h"

namespace {

int SizeFor(std::uint32_t rate) { return rate == 44100 ? 4096 : 2048; }

// Two tones and a little noise: enough to keep every bin busy.
std::int16_t TestSignal(int n, std::uint32_t rate, double hz) {
  static std::uint32_t state = 1;
  state = state * 1664525U + 1013904223U;
  const auto noise = static_cast<double>(static_cast<std::int32_t>(state) >> 22);
  return static_cast<std::int16_t>(
      std::lround(20000.0 * std::sin(2 * std::numbers::pi * hz * n / rate) + noise));
}

void FillBlocks(std::uint32_t rate) {
  for (int n = 0; n < ChannelBlockLength; ++n) {
    Channel1Block[n] = TestSignal(n, rate, 440.0);
    Channel2Block[n] = TestSignal(n, rate, 1000.0);
  }
}

void RunComputeSpectrum(benchmark::State& state) {
  SampleRate = static_cast<std::uint32_t>(state.range(0));
  FillBlocks(SampleRate);
  for (auto _ : state) {
    ComputeSpectrum();
    benchmark::DoNotOptimize(Spectrum1.data());
    benchmark::DoNotOptimize(Spectrum2.data());
    benchmark::ClobberMemory();
  }
  ResetFftState();
}

// With the best instruction set the processor has, as the program runs it.
void BM_ComputeSpectrum(benchmark::State& state) {
  ResetGlobals();
  ResetFftState();
  RunComputeSpectrum(state);
}
BENCHMARK(BM_ComputeSpectrum)->Arg(44100)->Arg(22050)->Unit(benchmark::kMicrosecond);

// With what every x86-64 processor has.
void BM_ComputeSpectrumBaseline(benchmark::State& state) {
  ResetGlobals();
  ResetFftState();
  UseFftInstructionSet(FftInstructionSet::Baseline);
  RunComputeSpectrum(state);
}
BENCHMARK(BM_ComputeSpectrumBaseline)->Arg(44100)->Arg(22050)->Unit(benchmark::kMicrosecond);

struct FftwFree {
  void operator()(void* memory) const { fftwf_free(memory); }
};
struct FftwPlanDestroy {
  void operator()(fftwf_plan plan) const { fftwf_destroy_plan(plan); }
};
using FftwPlan = std::unique_ptr<std::remove_pointer_t<fftwf_plan>, FftwPlanDestroy>;

template <typename T>
std::unique_ptr<T[], FftwFree> FftwArray(std::size_t count) {
  return std::unique_ptr<T[], FftwFree>(static_cast<T*>(fftwf_malloc(sizeof(T) * count)));
}

// One channel's work as ComputeSpectrum does it: load elements 1 to size, real-to-complex
// transform, magnitudes scaled by 2 / size up to the Nyquist bin.
struct FftwChannel {
  explicit FftwChannel(int size)
      : input(FftwArray<float>(static_cast<std::size_t>(size))),
        output(FftwArray<fftwf_complex>(static_cast<std::size_t>(size) / 2 + 1)),
        plan(fftwf_plan_dft_r2c_1d(size, input.get(), output.get(), FFTW_MEASURE)) {}

  void Run(const std::array<std::int16_t, ChannelBlockLength>& block, int size,
           std::array<float, SpectrumLength>& spectrum) {
    for (int n = 0; n < size; ++n) input[n] = block[1 + n];
    fftwf_execute(plan.get());
    const float scale = 2.0F / static_cast<float>(size);
    for (int k = 0; k <= size / 2; ++k) {
      spectrum[k] = scale * std::sqrt(output[k][0] * output[k][0] + output[k][1] * output[k][1]);
    }
  }

  std::unique_ptr<float[], FftwFree> input;
  std::unique_ptr<fftwf_complex[], FftwFree> output;
  FftwPlan plan;
};

void BM_FftwSpectrum(benchmark::State& state) {
  ResetGlobals();
  const auto rate = static_cast<std::uint32_t>(state.range(0));
  const int size = SizeFor(rate);
  // Planning with FFTW_MEASURE overwrites the arrays, so the blocks are loaded afterwards.
  FftwChannel channel1(size);
  FftwChannel channel2(size);
  FillBlocks(rate);
  for (auto _ : state) {
    channel1.Run(Channel1Block, size, Spectrum1);
    channel2.Run(Channel2Block, size, Spectrum2);
    benchmark::DoNotOptimize(Spectrum1.data());
    benchmark::DoNotOptimize(Spectrum2.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FftwSpectrum)->Arg(44100)->Arg(22050)->Unit(benchmark::kMicrosecond);

// The 10 ms time base (two buffers per block) with both channels synchronised: the most work
// per block.
void BM_ExtractBlockAndTrigger(benchmark::State& state) {
  ResetGlobals();
  SampleRate = static_cast<std::uint32_t>(state.range(0));
  BufferBytes = Round(static_cast<long double>(SampleRate) * 4 / 10);
  CaptureRing.assign(static_cast<std::size_t>(SampleRate) * 4, 0);
  const int frames = static_cast<int>(SampleRate / 10);
  for (int buffer = 0; buffer < CaptureBufferCount; ++buffer) {
    for (int j = 0; j < frames; ++j) {
      const std::size_t at =
          static_cast<std::size_t>(buffer) * BufferBytes + 2 * static_cast<std::size_t>(j);
      CaptureRing[at] = TestSignal(buffer * frames + j, SampleRate, 440.0);
      CaptureRing[at + 1] = TestSignal(buffer * frames + j, SampleRate, 1000.0);
    }
  }
  TimeBaseMs = 10.0F;
  DcOffset1 = 3;
  DcOffset2 = -3;
  SyncChannel1 = 1;
  SyncChannel2 = 1;
  for (auto _ : state) {
    FilledBuffer = (FilledBuffer + 1) % CaptureBufferCount;
    ExtractBlock();
    FindTriggerPoints();
    benchmark::DoNotOptimize(TriggerIndex1);
    benchmark::DoNotOptimize(TriggerIndex2);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ExtractBlockAndTrigger)->Arg(44100)->Arg(22050)->Unit(benchmark::kMicrosecond);

}  // namespace
