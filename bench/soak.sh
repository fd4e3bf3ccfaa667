#!/usr/bin/env bash
# Soak run: the real program on the signal generator under a virtual X display with START
# pressed, sampling its memory (RSS) and CPU from /proc, and from the statistics file that the
# capture loop writes once a second the blocks shown, the frames the device dropped and the
# worst interval between two polls.
#
# Usage: bench/soak.sh [--duration SECONDS] [--every SECONDS] [--samples FILE] [--check]
#                      [--settle SECONDS] [--max-growth KB] [--max-dropped FRAMES] [BINARY]
#   --duration    how long to capture after START (default 600)
#   --every       seconds between samples (default 10)
#   --samples     also write the sample table to FILE
#   --check       fail unless the RSS grew less than --max-growth KB (default 1024) between
#                 --settle seconds (default 60) and the end, and blocks were still being shown
#                 at the end; counts only, never a timing
#   --max-dropped with --check, also fail when the device dropped more frames than this; frames
#                 are dropped when the program falls a second behind, which the load of other
#                 programs can cause, so ask for it on a quiet machine only
#   BINARY        the program to run; without it a Release build is made in build-soak-release
set -euo pipefail

if [[ "${1:-}" != --in-display ]]; then
  duration=600 every=10 samples="" check=0 settle=60 max_growth=1024 max_dropped="" binary=""
  while [[ $# -gt 0 ]]; do
    case "$1" in
      --duration) duration=$2; shift 2 ;;
      --every) every=$2; shift 2 ;;
      --samples) samples=$(readlink -f "$2"); shift 2 ;;
      --check) check=1; shift ;;
      --settle) settle=$2; shift 2 ;;
      --max-growth) max_growth=$2; shift 2 ;;
      --max-dropped) max_dropped=$2; shift 2 ;;
      -h | --help) sed -n '2,19p' "$0"; exit 0 ;;
      -*) echo "soak.sh: unknown option $1" >&2; exit 2 ;;
      *) binary=$(readlink -f "$1"); shift ;;
    esac
  done
  if [[ -z "$binary" ]]; then
    source_dir=$(cd "$(dirname "$0")/.." && pwd)
    cmake -S "$source_dir" -B "$source_dir/build-soak-release" -G Ninja \
      -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF >/dev/null
    cmake --build "$source_dir/build-soak-release" --target corvane
    binary="$source_dir/build-soak-release/corvane"
  fi
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # A copy of its own, so that no settings file beside the real binary changes the window.
  cp "$binary" "$work/corvane"
  export SOAK_DURATION=$duration SOAK_EVERY=$every SOAK_SAMPLES=$samples SOAK_CHECK=$check \
    SOAK_SETTLE=$settle SOAK_MAX_GROWTH=$max_growth SOAK_MAX_DROPPED=$max_dropped
  HOME="$work" XDG_RUNTIME_DIR="$work" CORVANE_NO_ALSA=1 CORVANE_STATS_FILE="$work/stats" \
    timeout $((duration + 150)) "$(dirname "$0")/../tests/e2e/lib/with-xvfb" 1280x1024 \
    bash "$0" --in-display "$work"
  exit
fi

work=$2
stats="$work/stats"
source "$(dirname "$0")/../tests/e2e/lib/window.bash"

# One figure of the statistics file.
figure() { sed -n "s/^$1=//p" "$stats"; }
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$program/status"; }
# User and system time of the program, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$program/stat"; }
now() { date +%s.%N; }

start_corvane
find_layout
press_start
stats_written() { [[ -s "$stats" ]]; }
wait_for "no statistics file from the capture loop: START did not start a capture" stats_written

ticks_per_second=$(getconf CLK_TCK)
start=$(now)
table="$work/samples.tsv"
printf 'seconds\trss_kb\tcpu_percent\tblocks\tdropped_frames\tworst_poll_last_second_ms\n' |
  tee "$table"
last_time=$start
last_ticks=$(cpu_ticks)
declare -A rss_at
for ((due = SOAK_EVERY; due <= SOAK_DURATION; due += SOAK_EVERY)); do
  pause=$(awk -v s="$start" -v d="$due" -v n="$(now)" 'BEGIN {p = s + d - n; print (p > 0 ? p : 0)}')
  sleep "$pause"
  kill -0 "$program" 2>/dev/null || fail "the program ended while capturing"
  time_now=$(now)
  ticks=$(cpu_ticks)
  rss=$(rss_kb)
  rss_at[$due]=$rss
  cpu=$(awk -v t="$((ticks - last_ticks))" -v hz="$ticks_per_second" -v a="$last_time" \
    -v b="$time_now" 'BEGIN {printf "%.1f", 100 * t / hz / (b - a)}')
  worst=$(awk -v us="$(figure worst_poll_interval_last_second_us)" 'BEGIN {printf "%.1f", us / 1000}')
  printf '%d\t%d\t%s\t%d\t%d\t%s\n' "$due" "$rss" "$cpu" "$(figure blocks)" \
    "$(figure dropped_frames)" "$worst" | tee -a "$table"
  last_time=$time_now
  last_ticks=$ticks
done
if [[ -n "$SOAK_SAMPLES" ]]; then cp "$table" "$SOAK_SAMPLES"; fi

last=$(tail -n 1 "$table" | cut -f1)
[[ "$last" =~ ^[0-9]+$ ]] || fail "no sample taken: --duration is shorter than --every"
blocks=$(figure blocks)
dropped=$(figure dropped_frames)
elapsed_us=$(figure elapsed_us)
echo "summary after $last s of capture:"
for minute in 1 10 30; do
  if [[ -n "${rss_at[$((minute * 60))]:-}" ]]; then
    echo "  RSS after $minute min: ${rss_at[$((minute * 60))]} kB"
  fi
done
echo "  RSS at the end: ${rss_at[$last]} kB"
if [[ -n "${rss_at[$SOAK_SETTLE]:-}" ]]; then
  growth=$((rss_at[$last] - rss_at[$SOAK_SETTLE]))
  echo "  growth from $SOAK_SETTLE s to the end: $growth kB"
fi
awk -v t="$(tail -n +2 "$table" | awk '{s += $3} END {print s / NR}')" \
  'BEGIN {printf "  mean CPU: %.1f %% of one core\n", t}'
awk -v b="$blocks" -v us="$elapsed_us" 'BEGIN {printf "  blocks shown: %d, %.2f a second\n", b, b / (us / 1e6)}'
echo "  frames dropped by the device: $dropped"
awk -v us="$(figure worst_poll_interval_us)" 'BEGIN {printf "  worst poll interval: %.1f ms\n", us / 1000}'

if [[ "$SOAK_CHECK" == 1 ]]; then
  [[ -n "${growth:-}" ]] || fail "no sample at $SOAK_SETTLE s to measure the growth from"
  [[ "$growth" -lt "$SOAK_MAX_GROWTH" ]] ||
    fail "RSS grew by $growth kB from $SOAK_SETTLE s to $last s (limit $SOAK_MAX_GROWTH kB)"
  if [[ -n "$SOAK_MAX_DROPPED" ]]; then
    [[ "$dropped" -le "$SOAK_MAX_DROPPED" ]] ||
      fail "the device dropped $dropped frames (limit $SOAK_MAX_DROPPED)"
  fi
  settled_blocks=$(awk -v t="$SOAK_SETTLE" '$1 == t {print $4}' "$table")
  [[ "$blocks" -gt "$settled_blocks" ]] ||
    fail "no block shown after $SOAK_SETTLE s (still $blocks blocks)"
  echo "PASS: growth $growth kB, $dropped frames dropped, $blocks blocks shown"
fi
