# Helpers for the end-to-end scripts, sourced inside the virtual display once the work folder
# holds a copy of the program: start it, find its window, read pixels off screenshots. Every
# wait is for what comes next (a window, a painted screen, a file), up to a timeout that a
# loaded machine does not reach, never a fixed time.

# How long a wait may take: a start or a paint under a load of 10 on 2 cores, with sanitizers.
wait_seconds=${CORVANE_E2E_WAIT:-90}

# Runs the command until it succeeds, for at most the given seconds; 1 when it never did.
wait_until() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# Like wait_until, but fails the test with the description.
wait_for() {
  local description=$1
  shift
  wait_until "$wait_seconds" "$@" || fail "$description (after $wait_seconds s)"
}

program_ended() { ! kill -0 "$program" 2>/dev/null; }

# Finds the program's main window; fails at once when the program has ended.
main_window_shown() {
  program_ended && fail "the program ended before showing its window"
  window=$(xdotool search --onlyvisible --name '^Corvane - ' 2>/dev/null | head -n 1 || true)
  [[ -n "$window" ]]
}

# The window has been painted when a screenshot ($work/idle.png) shows the grey background
# below the menu bar; sets painted_menu to the menu bar's rows. The client area's first row is
# the background's outline, the next one the grey 160 of the background (left of the panels).
window_painted() {
  program_ended && fail "the program ended before painting its window"
  import -window "$window" "$work/idle.png" 2>/dev/null || return 1
  local grey
  grey=$(pixels "$work/idle.png" 1x80+3+0 | grep -m 1 '#A0A0A0' | cut -d, -f2 | cut -d: -f1)
  [[ -n "$grey" ]] || return 1
  painted_menu=$((grey - 1))
}

# Starts ./corvane in $work and waits until its window is shown and painted; sets program,
# window, width, height and painted_menu.
start_corvane() {
  cd "$work" || fail "no work folder $work"
  ./corvane >"$work/corvane.log" 2>&1 &
  program=$!
  trap 'kill "$program" 2>/dev/null || true; wait "$program" 2>/dev/null || true' EXIT
  window=""
  wait_for "no main window (named Corvane - and the device)" main_window_shown
  wait_for "the window was never painted" window_painted
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

# From the screenshot of the painted idle window ($work/idle.png) sets menu (rows of the menu
# bar), client_height, the time area (time_left, time_right, time_top, time_bottom) and
# time_crop.
find_layout() {
  menu=$painted_menu
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

# Clicks START (left 44 and top 6 in the control panel at (8, time_bottom + 5)).
press_start() {
  xdotool mousemove --window "$window" $((8 + 44 + 37)) $((menu + time_bottom + 5 + 6 + 13)) click 1
}

# Takes screenshots of the window as $work/live.png until the command, given the screenshot,
# succeeds; 1 when the wait ran out first, and the caller's checks of the last one say why.
shoot_until() {
  live_shot_shows() {
    program_ended && fail "the program ended while capturing"
    import -window "$window" "$work/live.png" 2>/dev/null && "$@" "$work/live.png"
  }
  wait_until "$wait_seconds" live_shot_shows "$@"
}
