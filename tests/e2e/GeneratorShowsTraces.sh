#!/usr/bin/env bash
# The real program on the signal generator under a virtual X display: after START both displays
# show live yellow and lime traces inside their areas, and the frame bands stand where the
# layout puts them.
# Usage: GeneratorShowsTraces.sh <corvane binary>
set -euo pipefail

if [[ "${1:-}" != --in-display ]]; then
  binary=$(readlink -f "${1:?usage: $0 <corvane binary>}")
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # A copy of its own, so that no settings file beside the real binary changes the window.
  cp "$binary" "$work/corvane"
  HOME="$work" CORVANE_NO_ALSA=1 XDG_RUNTIME_DIR="$work" \
    timeout 150 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --in-display "$work"
  exit
fi

work=$2
cd "$work"
./corvane >"$work/corvane.log" 2>&1 &
program=$!
trap 'kill "$program" 2>/dev/null || true; wait "$program" 2>/dev/null || true' EXIT

fail() {
  echo "FAIL: $*" >&2
  cat "$work/corvane.log" >&2
  exit 1
}

window=""
for _ in $(seq 1 100); do
  window=$(xdotool search --onlyvisible --name '^Corvane' 2>/dev/null | head -n 1 || true)
  [[ -n "$window" ]] && break
  kill -0 "$program" 2>/dev/null || fail "the program ended before showing its window"
  sleep 0.1
done
[[ -n "$window" ]] || fail "no window named Corvane"
sleep 1

geometry=$(xwininfo -id "$window")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")

# "x,y: (...) #RRGGBB ..." for every pixel of a crop of a screenshot.
pixels() { convert "$1" -crop "$2" +repage txt:- | tail -n +2; }
colour_at() { pixels "$1" "1x1+$2+$3" | grep -o '#[0-9A-F]\{6\}' | head -n 1; }
# Rows of a crop that hold the colour.
rows_with() { pixels "$1" "$2" | grep "$3" | cut -d, -f2 | cut -d: -f1 | sort -u | wc -l; }

import -window "$window" "$work/idle.png"
# The client area starts below the menu bar: its first row is the background's outline, the
# next one the grey 160 of the background (left of the panels).
menu=""
for y in $(seq 0 80); do
  if [[ $(colour_at "$work/idle.png" 3 "$y") == "#A0A0A0" ]]; then
    menu=$((y - 1))
    break
  fi
done
[[ -n "$menu" ]] || fail "no grey client background below the menu bar"
client_height=$((height - menu))

time_left=203
time_right=$((width - 15))
time_top=15
time_bottom=$(((client_height - 60) / 2))
freq_top=$((time_bottom + 50))
freq_bottom=$((client_height - 30))
area_width=$((time_right - time_left + 1))
time_crop="${area_width}x$((time_bottom - time_top + 1))+$time_left+$((menu + time_top))"
freq_crop="${area_width}x$((freq_bottom - freq_top + 1))+$time_left+$((menu + freq_top))"

idle_yellow=$(rows_with "$work/idle.png" "$time_crop" '#FFFF00')
[[ "$idle_yellow" -le 2 ]] || fail "the idle time display is not flat ($idle_yellow yellow rows)"

# START: left 44 and top 6 in the control panel, which stands at (8, time_bottom + 5).
xdotool mousemove --window "$window" $((8 + 44 + 37)) $((menu + time_bottom + 5 + 6 + 13)) click 1
sleep 2.5
import -window "$window" "$work/live.png"
kill -0 "$program" 2>/dev/null || fail "the program ended while capturing"

check_rows() {
  local found
  found=$(rows_with "$work/live.png" "$2" "$3")
  [[ "$found" -ge "$4" ]] || fail "$1: $found rows hold $3, expected at least $4"
  echo "$1: $found rows hold $3"
}
# A sine and a square fill many rows of the time display; the spectra rise above the floor.
check_rows "time display, channel 1" "$time_crop" '#FFFF00' 20
check_rows "time display, channel 2" "$time_crop" '#00FF00' 20
check_rows "frequency display, channel 1" "$freq_crop" '#FFFF00' 10
check_rows "frequency display, channel 2" "$freq_crop" '#00FF00' 10

check_colour() {
  local found
  found=$(colour_at "$work/live.png" "$2" $((menu + $3)))
  [[ "$found" == "$4" ]] || fail "$1 at ($2, $3): $found, expected $4"
}
check_colour "time frame next to the area" $((time_left - 1)) $((time_top + 30)) '#9A9A9A'
check_colour "time frame's outer left edge" $((time_left - 25)) $((time_top + 30)) '#FAFAFA'
check_colour "time frame's outer bottom edge" $((time_left + 100)) $((time_bottom + 25)) '#FAFAFA'
check_colour "frequency frame above the area" $((time_left + 100)) $((freq_top - 1)) '#9A9A9A'
check_colour "frequency frame's outer top edge" $((time_left + 100)) $((freq_top - 16)) '#D6D6D6'
check_colour "frequency frame's outer left edge" $((time_left - 25)) $((freq_top + 30)) '#FAFAFA'
check_colour "frequency frame next to the right" $((time_right + 1)) $((freq_top + 30)) '#9A9A9A'
check_colour "background" 3 $((time_bottom + 20)) '#A0A0A0'

echo "PASS: window ${width}x${height}, menu bar $menu rows, live traces in both displays"
if [[ -n "${CORVANE_E2E_SHOT:-}" ]]; then cp "$work/live.png" "$CORVANE_E2E_SHOT"; fi
