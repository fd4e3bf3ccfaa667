#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer in a build
# folder of their own, replays every target's regression cases and seeds, then explores.
# Usage: tests/fuzz/run.sh --check [target...]
#          the test command's stage: explores from the seeds alone with a fixed seed and a fixed
#          number of runs per target, in a fresh corpus, so that a commit gets the same verdict
#          on every machine;
#        tests/fuzz/run.sh [seconds] [target...]
#          the long runs: fuzzes each target for the seconds given (default 20; 0 replays only),
#          starting from its seeds and what earlier runs found (<build>/fuzz-corpus/<target>,
#          out of git).
#   targets: profile banner audio_file generator device_name (default: all).
#   CORVANE_FUZZ_BUILD names the build folder (default build-fuzz).
# An input that fails is written to <build>/fuzz-failures/<target>/ and ends the run with a
# failure.
set -euo pipefail
cd "$(dirname "$0")/../.."
check=false
seconds=20
if [[ "${1:-}" == "--check" ]]; then
  check=true
  shift
elif [[ $# -gt 0 ]]; then
  seconds=$1
  shift
fi
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(profile banner audio_file generator device_name)
build=${CORVANE_FUZZ_BUILD:-build-fuzz}

# Runs of the check per target: each about half a minute on a loaded 2-core machine.
declare -A check_runs=(
  [profile]=40000 [banner]=1000000 [audio_file]=20000 [generator]=600000 [device_name]=120000
)
check_seed=1

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

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
shopt -s nullglob
for target in "${targets[@]}"; do
  fuzzer=$build/tests/fuzz/corvane_fuzz_$target
  seeds=tests/fuzz/$target/corpus
  failures=$build/fuzz-failures/$target/
  mkdir -p "$failures"
  # A slow input is a fault too: ten seconds is a thousand times what a seed takes.
  options=(-artifact_prefix="$failures" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
  regressions=(tests/fuzz/"$target"/regressions/*)
  if [[ ${#regressions[@]} -gt 0 ]]; then
    echo "== $target: ${#regressions[@]} regression cases"
    fuzz "$fuzzer" "${options[@]}" "${regressions[@]}"
  fi
  dictionary=tests/fuzz/$target/dictionary
  [[ -f $dictionary ]] && options+=(-dict="$dictionary")
  if $check; then
    corpus=$scratch/$target
    mkdir -p "$corpus"
    echo "== $target: ${check_runs[$target]} runs with seed $check_seed from $seeds"
    # Without -reload=0 libFuzzer reads its corpus folder again every second and runs what it
    # finds there, which makes the runs depend on the machine's speed.
    fuzz "$fuzzer" "${options[@]}" -seed="$check_seed" -runs="${check_runs[$target]}" \
      -reload=0 -use_cmp=0 "$corpus" "$seeds"
  else
    corpus=$build/fuzz-corpus/$target
    mkdir -p "$corpus"
    echo "== $target: ${seconds} s from $seeds"
    if [[ $seconds -gt 0 ]]; then
      options+=(-max_total_time="$seconds")
    else
      options+=(-runs=0)
    fi
    fuzz "$fuzzer" "${options[@]}" "$corpus" "$seeds"
  fi
done
