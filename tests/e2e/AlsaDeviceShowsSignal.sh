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
    XDG_CONFIG_HOME="$work/.config" XDG_RUNTIME_DIR="$work" CORVANE_NO_GENERATOR=1 CORVANE_NO_PULSE=1 \
    timeout 150 "$(dirname "$0")/lib/with-xvfb" 1280x1024 bash "$0" --in-display "$work"
  exit
fi

work=$2
source "$(dirname "$0")/lib/window.bash"
start_corvane

# The caption names device 0 once the 500 ms timer has run.
title=""
names_test_device() {
  title=$(xdotool getwindowname "$window")
  [[ "$title" == "Corvane - Corvane Test Input" ]]
}
wait_until "$wait_seconds" names_test_device || fail "device 0 is not the test device: '$title'"

find_layout
press_start
# The square wave's edges cross many rows; the silent channel stays one flat line.
square_shown() { [[ $(rows_with "$1" "$time_crop" '#FFFF00') -ge 20 ]]; }
shoot_until square_shown || true
yellow=$(rows_with "$work/live.png" "$time_crop" '#FFFF00')
lime=$(rows_with "$work/live.png" "$time_crop" '#00FF00')
[[ "$yellow" -ge 20 ]] || fail "channel 1 fills $yellow rows of the time display, expected 20 or more"
[[ "$lime" -le 2 ]] || fail "channel 2 fills $lime rows of the time display, expected a flat line"

echo "PASS: device 0 '$title', channel 1 in $yellow rows, channel 2 in $lime"
