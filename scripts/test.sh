#!/usr/bin/env bash
# Sets up, builds and runs every test: a normal build, then AddressSanitizer with
# UndefinedBehaviorSanitizer (with a minute of the GUI monkey), then ThreadSanitizer on the
# device-thread tests, then each fuzz target on its regression cases, its seeds and a fixed
# number of runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
jobs=$(nproc)

build_and_test() {
  local dir=$1 sanitize=$2
  shift 2
  # The benchmarks are built (and so compiled and linked) once, in the normal build.
  local bench=ON
  [[ -n "$sanitize" ]] && bench=OFF
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCORVANE_SANITIZE="$sanitize" -DCORVANE_BUILD_BENCH="$bench" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" "$@")
}

build_and_test build-test "" --timeout 300
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
  UBSAN_OPTIONS=print_stacktrace=1 \
  build_and_test build-asan "address,undefined" --timeout 300 -LE e2e
# Exactly the tests in which device threads run: the wave-input suites (WaveIn...Test, also
# under a parameter prefix), the paced stream and the window capturing from a sound server.
TSAN_OPTIONS=second_deadlock_stack=1 \
  build_and_test build-tsan "thread" --timeout 300 \
  -R '(^|/)WaveIn[A-Za-z]*Test\.|^PacedStreamTest\.|^SoundServerCaptureTest\.'
# A fixed seed and a fixed number of runs per target: the same verdict on every machine. The
# long runs, whose findings become regression cases, are tests/fuzz/run.sh's with a duration.
tests/fuzz/run.sh --check
