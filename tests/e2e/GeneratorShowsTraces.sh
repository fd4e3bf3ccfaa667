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
  HOME="$work" CORVANE_NO_ALSA=1 CORVANE_NO_PULSE=1 XDG_RUNTIME_DIR="$work" \
    timeout 150 "$(dirname "$0")/lib/with-xvfb" 1280x1024 bash "$0" --in-display "$work"
  exit
fi

work=$2
source "$(dirname "$0")/lib/window.bash"
start_corvane
find_layout
freq_top=$((time_bottom + 50))
freq_bottom=$((client_height - 30))
area_width=$((time_right - time_left + 1))
freq_crop="${area_width}x$((freq_bottom - freq_top + 1))+$time_left+$((menu + freq_top))"

# A sine and a square fill many rows of the time display; the spectra rise above the floor.
checks=(
  "time display, channel 1|$time_crop|#FFFF00|20"
  "time display, channel 2|$time_crop|#00FF00|20"
  "frequency display, channel 1|$freq_crop|#FFFF00|10"
  "frequency display, channel 2|$freq_crop|#00FF00|10"
)
traces_shown() {
  local check name crop colour least
  for check in "${checks[@]}"; do
    IFS='|' read -r name crop colour least <<<"$check"
    [[ $(rows_with "$1" "$crop" "$colour") -ge "$least" ]] || return 1
  done
}

press_start
shoot_until traces_shown || true
for check in "${checks[@]}"; do
  IFS='|' read -r name crop colour least <<<"$check"
  found=$(rows_with "$work/live.png" "$crop" "$colour")
  [[ "$found" -ge "$least" ]] || fail "$name: $found rows hold $colour, expected at least $least"
  echo "$name: $found rows hold $colour"
done

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
