# Helpers for the end-to-end scripts, sourced inside the virtual display once the work folder
# holds a copy of the program: start it, find its window, read pixels off screenshots.

# Starts ./corvane in $work and waits for its window; sets program and window.
start_corvane() {
  cd "$work"
  ./corvane >"$work/corvane.log" 2>&1 &
  program=$!
  trap 'kill "$program" 2>/dev/null || true; wait "$program" 2>/dev/null || true' EXIT
  window=""
  for _ in $(seq 1 100); do
    window=$(xdotool search --onlyvisible --name '^Corvane' 2>/dev/null | head -n 1 || true)
    [[ -n "$window" ]] && break
    kill -0 "$program" 2>/dev/null || fail "the program ended before showing its window"
    sleep 0.1
  done
  [[ -n "$window" ]] || fail "no window named Corvane"
  local geometry
  geometry=$(xwininfo -id "$window")
  width=$(awk '/Width:/ {print $2}' <<<"$geometry")
  height=$(awk '/Height:/ {print $2}' <<<"$geometry")
}

fail() {
  echo "FAIL: $*" >&2
  cat "$work/corvane.log" >&2
  exit 1
}

# "x,y: (...) #RRGGBB ..." for every pixel of a crop of a screenshot.
pixels() { convert "$1" -crop "$2" +repage txt:- | tail -n +2; }
colour_at() { pixels "$1" "1x1+$2+$3" | grep -o '#[0-9A-F]\{6\}' | head -n 1; }
# Rows of a crop that hold the colour.
rows_with() { pixels "$1" "$2" | grep "$3" | cut -d, -f2 | cut -d: -f1 | sort -u | wc -l; }

# Takes the idle screenshot $work/idle.png and sets menu (rows of the menu bar), client_height,
# the time area (time_left, time_right, time_top, time_bottom) and time_crop.
find_layout() {
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
  time_crop="$((time_right - time_left + 1))x$((time_bottom - time_top + 1))+$time_left+$((menu + time_top))"
  local idle_yellow
  idle_yellow=$(rows_with "$work/idle.png" "$time_crop" '#FFFF00')
  [[ "$idle_yellow" -le 2 ]] || fail "the idle time display is not flat ($idle_yellow yellow rows)"
}

# Clicks START (left 44 and top 6 in the control panel at (8, time_bottom + 5)), lets the
# capture run for the given seconds and takes $work/live.png.
press_start_and_shoot() {
  xdotool mousemove --window "$window" $((8 + 44 + 37)) $((menu + time_bottom + 5 + 6 + 13)) click 1
  sleep "$1"
  import -window "$window" "$work/live.png"
  kill -0 "$program" 2>/dev/null || fail "the program ended while capturing"
}
