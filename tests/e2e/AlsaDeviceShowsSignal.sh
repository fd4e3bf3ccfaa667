#!/usr/bin/env bash
# The real program on an ALSA device of the test's own configuration (a file device over null,
# made the default device) under a virtual X display: the device is device 0, and after START
# the time display shows the file's signal, a square wave on channel 1 and silence on channel 2.
# Usage: AlsaDeviceShowsSignal.sh <corvane binary>
set -euo pipefail

if [[ "${1:-}" != --in-display ]]; then
  binary=$(readlink -f "${1:?usage: $0 <corvane binary>}")
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # A copy of its own, so that no settings file beside the real binary changes the window.
  cp "$binary" "$work/corvane"

  # One period of 147 frames (300 Hz at 44100 Hz, three periods per 10 ms read): channel 1 at
  # +16384 and then -16384, channel 2 at 0; little-endian 16-bit stereo.
  high=$(printf '\\x00\\x40\\x00\\x00%.0s' $(seq 74))
  low=$(printf '\\x00\\xc0\\x00\\x00%.0s' $(seq 73))
  for _ in $(seq 300); do printf "$high$low"; done >"$work/square.raw"
  cat >"$work/.asoundrc" <<EOF
pcm.!default {
  type file
  slave.pcm null
  file "/dev/null"
  infile "$work/square.raw"
  format raw
}
namehint.pcm.default "default|Corvane Test Input|IOIDInput"
EOF
  env -u CORVANE_NO_ALSA -u CORVANE_INPUT_FILE -u ALSA_CONFIG_PATH HOME="$work" \
    XDG_CONFIG_HOME="$work/.config" XDG_RUNTIME_DIR="$work" CORVANE_NO_GENERATOR=1 \
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

# The caption names device 0 once the 500 ms timer has run.
title=""
for _ in $(seq 1 50); do
  title=$(xdotool getwindowname "$window")
  [[ "$title" == "Corvane - Corvane Test Input" ]] && break
  sleep 0.1
done
[[ "$title" == "Corvane - Corvane Test Input" ]] || fail "device 0 is not the test device: '$title'"

geometry=$(xwininfo -id "$window")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")

# "x,y: (...) #RRGGBB ..." for every pixel of a crop of a screenshot.
pixels() { convert "$1" -crop "$2" +repage txt:- | tail -n +2; }
colour_at() { pixels "$1" "1x1+$2+$3" | grep -o '#[0-9A-F]\{6\}' | head -n 1; }
rows_with() { pixels "$1" "$2" | grep "$3" | cut -d, -f2 | cut -d: -f1 | sort -u | wc -l; }

import -window "$window" "$work/idle.png"
# The client area starts below the menu bar: its first row is the background's outline, the
# next one the grey 160 of the background.
menu=""
for y in $(seq 0 80); do
  if [[ $(colour_at "$work/idle.png" 3 "$y") == "#A0A0A0" ]]; then
    menu=$((y - 1))
    break
  fi
done
[[ -n "$menu" ]] || fail "no grey client background below the menu bar"
client_height=$((height - menu))

# The time display: from the right of the time panel to 15 pixels before the right edge,
# from row 15 to the middle of the client area less 30.
time_left=203
time_top=15
time_bottom=$(((client_height - 60) / 2))
time_crop="$((width - 15 - time_left + 1))x$((time_bottom - time_top + 1))+$time_left+$((menu + time_top))"

idle_yellow=$(rows_with "$work/idle.png" "$time_crop" '#FFFF00')
[[ "$idle_yellow" -le 2 ]] || fail "the idle time display is not flat ($idle_yellow yellow rows)"

# START: left 44 and top 6 in the control panel, which stands at (8, time_bottom + 5).
xdotool mousemove --window "$window" $((8 + 44 + 37)) $((menu + time_bottom + 5 + 6 + 13)) click 1
sleep 2
import -window "$window" "$work/live.png"
kill -0 "$program" 2>/dev/null || fail "the program ended while capturing"

# The square wave's edges cross many rows; the silent channel stays one flat line.
yellow=$(rows_with "$work/live.png" "$time_crop" '#FFFF00')
lime=$(rows_with "$work/live.png" "$time_crop" '#00FF00')
[[ "$yellow" -ge 20 ]] || fail "channel 1 fills $yellow rows of the time display, expected 20 or more"
[[ "$lime" -le 2 ]] || fail "channel 2 fills $lime rows of the time display, expected a flat line"

echo "PASS: device 0 '$title', channel 1 in $yellow rows, channel 2 in $lime"
