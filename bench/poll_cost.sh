#!/usr/bin/env bash
# The CPU the program takes while it captures on the signal generator (both displays on, the
# default window, under a virtual X display), beside a bare loop that only sleeps 1 ms at a
# time, the floor of a loop that polls every millisecond: both run in the same seconds, and
# their user and system times are read from /proc.
#
# Usage: bench/poll_cost.sh [--seconds N] [--rounds N] [BUILD]
#   --seconds  length of one measurement (default 20)
#   --rounds   measurements, one after the other (default 3)
#   BUILD      a build folder with corvane and corvane_sleep_loop; without it a Release build is
#              made in build-poll-release
set -euo pipefail

if [[ "${1:-}" != --in-display ]]; then
  seconds=20 rounds=3 build=""
  while [[ $# -gt 0 ]]; do
    case "$1" in
      --seconds) seconds=$2; shift 2 ;;
      --rounds) rounds=$2; shift 2 ;;
      -h | --help) sed -n '2,12p' "$0"; exit 0 ;;
      -*) echo "poll_cost.sh: unknown option $1" >&2; exit 2 ;;
      *) build=$(readlink -f "$1"); shift ;;
    esac
  done
  if [[ -z "$build" ]]; then
    source_dir=$(cd "$(dirname "$0")/.." && pwd)
    build="$source_dir/build-poll-release"
    cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=ON >/dev/null
    cmake --build "$build" --target corvane corvane_sleep_loop
  fi
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # A copy of its own, so that no settings file beside the real binary changes the window.
  cp "$build/corvane" "$work/corvane"
  export POLL_SECONDS=$seconds POLL_ROUNDS=$rounds POLL_FLOOR="$build/corvane_sleep_loop"
  HOME="$work" XDG_RUNTIME_DIR="$work" CORVANE_NO_ALSA=1 CORVANE_NO_PULSE=1 \
    CORVANE_STATS_FILE="$work/stats" \
    timeout $((rounds * (seconds + 10) + 150)) "$(dirname "$0")/../tests/e2e/lib/with-xvfb" \
    1280x1024 bash "$0" --in-display "$work"
  exit
fi

work=$2
stats="$work/stats"
source "$(dirname "$0")/../tests/e2e/lib/window.bash"

# CPU time of a process's threads in nanoseconds, from the scheduler: clock ticks would count
# a few percent of a core in steps of half a percent.
cpu_ns() { { cat /proc/"$1"/task/*/schedstat 2>/dev/null || true; } | awk '{s += $1} END {printf "%.0f", s}'; }

start_corvane
find_layout
press_start
stats_written() { [[ -s "$stats" ]]; }
wait_for "no statistics file from the capture loop: START did not start a capture" stats_written
# The window settles: the first blocks, the first paints.
sleep 2

figure() { sed -n "s/^$1=//p" "$stats"; }
printf 'round\tprogram_percent\tfloor_percent\tratio\tblocks_shown\n'
for ((round = 1; round <= POLL_ROUNDS; round++)); do
  # The floor runs on both sides of the measured seconds, so that its start and end fall
  # outside them.
  "$POLL_FLOOR" $((POLL_SECONDS + 2)) &
  floor=$!
  sleep 1
  blocks_before=$(figure blocks)
  program_before=$(cpu_ns "$program")
  floor_before=$(cpu_ns "$floor")
  sleep "$POLL_SECONDS"
  program_after=$(cpu_ns "$program")
  floor_after=$(cpu_ns "$floor")
  blocks=$(($(figure blocks) - blocks_before))
  wait "$floor"
  awk -v r="$round" -v p=$((program_after - program_before)) -v f=$((floor_after - floor_before)) \
    -v s="$POLL_SECONDS" -v b="$blocks" 'BEGIN {
      pp = 100 * p / 1e9 / s; fp = 100 * f / 1e9 / s
      printf "%d\t%.2f\t%.2f\t%.2f\t%d\n", r, pp, fp, (f > 0 ? p / f : 0), b
    }'
done
kill -0 "$program" 2>/dev/null || fail "the program ended while capturing"
