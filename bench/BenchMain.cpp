// The display benchmarks draw text and build the main window, which need a QApplication; it
// runs on the offscreen platform, without ALSA devices or sound-server sources unless the
// environment switches them on.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("CORVANE_NO_ALSA", "1", 0);
  setenv("CORVANE_NO_PULSE", "1", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const QApplication application(argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
