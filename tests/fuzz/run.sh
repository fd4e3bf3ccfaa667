#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer in a build
# folder of their own, replays every target's regression cases, then fuzzes each target for the
# seconds given, starting from its seed corpus. Inputs found on the way stay in the build folder
# (<build>/fuzz-corpus/<target>), out of git; an input that fails is written to
# <build>/fuzz-failures/<target>/ and ends the run with a failure.
# Usage: tests/fuzz/run.sh [seconds] [target...]
#   seconds: per target, default 20; 0 replays the regression cases and the seeds only.
#   targets: profile banner audio_file generator device_name (default: all).
#   CORVANE_FUZZ_BUILD names the build folder (default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-20}
[[ $# -gt 0 ]] && shift
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(profile banner audio_file generator device_name)
build=${CORVANE_FUZZ_BUILD:-build-fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCORVANE_FUZZ=ON -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/corvane_fuzz_}"

# The files the fuzzers write per input go to memory where a tmpfs is at hand.
if [[ -d /dev/shm && -w /dev/shm ]]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

# libsndfile's MPEG decoder warns on stderr about every damaged frame it meets.
fuzz() { "$@" 2>&1 | sed -u '/^\[src\/libmpg123\//d'; }

shopt -s nullglob
for target in "${targets[@]}"; do
  fuzzer=$build/tests/fuzz/corvane_fuzz_$target
  seeds=tests/fuzz/$target/corpus
  corpus=$build/fuzz-corpus/$target
  failures=$build/fuzz-failures/$target/
  mkdir -p "$corpus" "$failures"
  # A slow input is a fault too: ten seconds is a thousand times what a seed takes.
  options=(-artifact_prefix="$failures" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
  regressions=(tests/fuzz/"$target"/regressions/*)
  if [[ ${#regressions[@]} -gt 0 ]]; then
    echo "== $target: ${#regressions[@]} regression cases"
    fuzz "$fuzzer" "${options[@]}" "${regressions[@]}"
  fi
  echo "== $target: ${seconds} s from $seeds"
  dictionary=tests/fuzz/$target/dictionary
  [[ -f $dictionary ]] && options+=(-dict="$dictionary")
  if [[ $seconds -gt 0 ]]; then
    options+=(-max_total_time="$seconds")
  else
    options+=(-runs=0)
  fi
  fuzz "$fuzzer" "${options[@]}" "$corpus" "$seeds"
done
