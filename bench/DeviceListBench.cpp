// Taking the device list, as the settings dialog does at every showing and the main window's
// timer does for device 0 every 500 ms: it must return at once, whatever the devices behind it
// are doing. The kinds are those of the machine it runs on: ALSA and the sound server when they
// are switched on (CORVANE_NO_ALSA=0, CORVANE_NO_PULSE=0), the generator always.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string_view>

#include "platform/wavein.h"

namespace {

bool Enabled(const char* flag) {
  const char* value = std::getenv(flag);
  return value == nullptr || std::string_view(value) != "1";
}

void WaveInGetNumDevs(benchmark::State& state) {
  waveInGetNumDevs();  // the first call waits for the kinds' first listing
  for (auto _ : state) benchmark::DoNotOptimize(waveInGetNumDevs());
  state.counters["devices"] = static_cast<double>(waveInGetNumDevs());
  state.counters["alsa"] = Enabled("CORVANE_NO_ALSA") ? 1 : 0;
  state.counters["server"] = Enabled("CORVANE_NO_PULSE") ? 1 : 0;
}
BENCHMARK(WaveInGetNumDevs)->Unit(benchmark::kMicrosecond);

void WaveInGetDevCapsOfDeviceZero(benchmark::State& state) {
  waveInGetNumDevs();
  WAVEINCAPSA caps{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(waveInGetDevCapsA(0, &caps, sizeof(caps)));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(WaveInGetDevCapsOfDeviceZero)->Unit(benchmark::kMicrosecond);

}  // namespace
