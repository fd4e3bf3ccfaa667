#!/usr/bin/env bash
# A GUI monkey: the real program, best built with AddressSanitizer and
# UndefinedBehaviorSanitizer, under a virtual X display on the signal generator and an audio
# file, taken through a seeded random walk of clicks anywhere, keys, slider drags and keys,
# resizes from tiny to huge, the settings dialog, the About box, bursts of START/STOP and the
# menus, ending with File > Exit. It passes when the program never crashed, no sanitizer spoke,
# every run of it ended with status 0, and the settings file holds the six keys in range (and
# the window's last size). A walk that ends the program on its own (File > Exit from random
# keys) checks the same and starts it again.
#
# Usage: tests/monkey/run.sh [--seed N] [--duration SECONDS | --steps N] [--log FILE] BINARY
#   --seed      seed of the walk (default: a new one, printed); the same seed and --steps give
#               the same actions again
#   --duration  how long to walk (default 60)
#   --steps     walk this many steps instead
#   --log       also copy the walk (one line per step) and the summary to FILE
set -euo pipefail

if [[ "${1:-}" != --in-display ]]; then
  seed="" duration=60 steps=0 log="" binary=""
  while [[ $# -gt 0 ]]; do
    case "$1" in
      --seed) seed=$2; shift 2 ;;
      --duration) duration=$2; shift 2 ;;
      --steps) steps=$2; shift 2 ;;
      --log) log=$(readlink -f "$2"); shift 2 ;;
      -h | --help) sed -n '2,17p' "$0"; exit 0 ;;
      -*) echo "run.sh: unknown option $1" >&2; exit 2 ;;
      *) binary=$(readlink -f "$1"); shift ;;
    esac
  done
  [[ -n "$binary" ]] || { echo "usage: $0 [--seed N] [--duration S | --steps N] BINARY" >&2; exit 2; }
  [[ -n "$seed" ]] || seed=$(($(od -An -N4 -tu4 /dev/urandom) % 1000000000))
  [[ "$seed" =~ ^[0-9]+$ && "$duration" =~ ^[0-9]+$ && "$steps" =~ ^[0-9]+$ ]] ||
    { echo "run.sh: seed, duration and steps are whole numbers" >&2; exit 2; }
  echo "monkey: seed $seed; replay with: $0 --seed $seed --steps <the steps printed at the end>"

  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # A copy of its own: the settings file beside it is the walk's own.
  cp "$binary" "$work/corvane"
  mkdir -m 700 "$work/home" "$work/config" "$work/runtime" "$work/bin"
  # Stand-ins for the desktop's programs that the menus start: each notes its arguments.
  for program in xdg-open xdg-mime pavucontrol; do
    printf '#!/bin/sh\necho "%s $*" >>"%s/started"\n' "$program" "$work" >"$work/bin/$program"
    chmod +x "$work/bin/$program"
  done
  # A second device: half a second of a mono 8 kHz square wave, which the file input converts.
  wav_le() { for ((i = 0; i < $2; i++)); do printf "\\x$(printf %02x $((($1 >> (8 * i)) & 255)))"; done; }
  {
    frames=4000
    printf 'RIFF'; wav_le $((36 + frames * 2)) 4; printf 'WAVEfmt '
    wav_le 16 4; wav_le 1 2; wav_le 1 2; wav_le 8000 4; wav_le 16000 4; wav_le 2 2; wav_le 16 2
    printf 'data'; wav_le $((frames * 2)) 4
    for ((period = 0; period < frames / 40; period++)); do
      printf '\x00\x30%.0s' {1..20}
      printf '\x00\xd0%.0s' {1..20}
    done
  } >"$work/square.wav"

  here=$(cd "$(dirname "$0")" && pwd)
  lsan="$work/lsan.supp"
  cat "$here/../lsan.supp" "$here/lsan.supp" >"$lsan"
  # bash reads a script as it goes: the walk runs from copies that an edit or a checkout of
  # the tree during a long walk cannot change.
  cp "$0" "$work/run.sh"
  cp "$here/../e2e/lib/window.bash" "$here/../e2e/lib/with-xvfb" "$work/"
  # A screen that holds the largest window of the walk, so that its controls can be reached.
  export screen_width=5200 screen_height=4200
  export MONKEY_SEED=$seed MONKEY_DURATION=$duration MONKEY_STEPS=$steps
  status=0
  PATH="$work/bin:$PATH" HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
    XDG_RUNTIME_DIR="$work/runtime" CORVANE_NO_ALSA=1 CORVANE_NO_PULSE=1 \
    CORVANE_INPUT_FILE="$work/square.wav" CORVANE_STATS_FILE="$work/stats" \
    ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}" \
    LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$lsan" \
    timeout $((duration + steps * 3 + 480)) "$work/with-xvfb" "${screen_width}x$screen_height" \
    bash "$work/run.sh" --in-display "$work" || status=$?
  if [[ -n "$log" ]]; then cp "$work/walk.log" "$log"; fi
  [[ $status -eq 0 ]] || echo "monkey: FAILED with seed $seed (status $status)" >&2
  exit $status
fi

work=$2
source "$work/window.bash"
walk="$work/walk.log"
settings="$work/corvane.INI"
RANDOM=$MONKEY_SEED

note() { echo "$*" >>"$walk"; }
# The walk's own failure: what it did last, then the program's output.
monkey_fail() {
  echo "FAIL: $*" >&2
  echo "last steps of the walk (seed $MONKEY_SEED):" >&2
  tail -n 40 "$walk" >&2
  fail "$*"
}
# Every choice comes from the seed alone, never from what the program shows, so that a seed
# replays the same actions: r is a number below $1.
roll() { r=$((RANDOM % $1)); }
x() { timeout 20 xdotool "$@" >/dev/null 2>&1 || true; }

# Sanitizer reports and a status other than 0 end the walk; so does a settings file that is
# not the six keys in range.
sanitizer_report() { grep -E -m 1 'ERROR: [A-Za-z]+Sanitizer|runtime error:|Sanitizer: ' "$work/corvane.log"; }
check_settings() {
  [[ -f "$settings" ]] || monkey_fail "no settings file after the program ended"
  local -A low=([AX]=1 [AY]=1 [FX]=1 [FY]=1 [Width]=640 [Height]=580)
  local -A high=([AX]=7 [AY]=7 [FX]=5 [FY]=7 [Width]=100000 [Height]=100000)
  local expected=$'[Scales]\nAX=\nAY=\nFX=\nFY=\n[Form]\nWidth=\nHeight='
  [[ "$(sed 's/=.*/=/' "$settings")" == "$expected" ]] ||
    monkey_fail "the settings file is not the six keys: $(cat "$settings")"
  local key value
  for key in AX AY FX FY Width Height; do
    value=$(sed -n "s/^$key=//p" "$settings")
    [[ "$value" =~ ^[0-9]+$ && $value -ge ${low[$key]} && $value -le ${high[$key]} ]] ||
      monkey_fail "$key=$value in the settings file is out of range"
  done
}
# After the program ended: status 0, no sanitizer report, a valid settings file.
check_end() {
  local status=0
  wait "$program" || status=$?
  trap - EXIT
  local report
  if report=$(sanitizer_report); then monkey_fail "sanitizer report: $report"; fi
  [[ $status -eq 0 ]] || monkey_fail "the program ended with status $status"
  check_settings
}

# The main window's place and size now: win_x, win_y, win_width, win_height.
main_geometry() {
  eval "$(timeout 20 xdotool getwindowgeometry --shell "$window" 2>/dev/null |
    sed -n 's/^\(X\|Y\|WIDTH\|HEIGHT\)=\([0-9-]*\)$/win_\L\1\E=\2/p')"
}
# The first shown window whose name matches, or nothing.
shown_window() { timeout 20 xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true; }
window_origin() {
  eval "$(timeout 20 xdotool getwindowgeometry --shell "$1" 2>/dev/null |
    sed -n 's/^\(X\|Y\)=\([0-9-]*\)$/origin_\L\1\E=\2/p')"
}

# Where the client area and the panels stand on the screen, from the layout that the program
# gives the window's current size: client_x, client_y and the panels' tops within it.
layout() {
  main_geometry
  client_x=$win_x
  client_y=$((win_y + menu))
  local client_height=$((win_height - menu))
  time_bottom=$(((client_height - 60) / 2))
  panel_time_top=10
  panel_freq_top=$((time_bottom + 50))
  panel_control_top=$((time_bottom + 5))
}
# Sets px, py to a point inside the box, chosen by the walk.
point_in() {
  roll $(($3 > 0 ? $3 : 1)); px=$(($1 + r))
  roll $(($4 > 0 ? $4 : 1)); py=$(($2 + r))
}

click_main() {
  layout
  roll 100
  local button=1 what=click
  if ((r >= 90)); then button=$((4 + r % 2)) what=wheel; elif ((r >= 80)); then button=3; fi
  point_in "$win_x" "$win_y" "$win_width" "$win_height"
  roll 4
  local repeat=$((r == 0 ? 2 : 1))
  note "$what $button x$repeat in the main window at ($((px - win_x)), $((py - win_y)))"
  x mousemove "$px" "$py" click --repeat "$repeat" "$button"
}

click_screen() {
  point_in 0 0 "$screen_width" "$screen_height"
  note "click anywhere at ($px, $py)"
  x mousemove "$px" "$py" click 1
}

check_box() {
  layout
  roll 4
  local names=(CheckBoxA1 CheckBoxA2 CheckBoxF1 CheckBoxF2) which=$r
  local top=$((r < 2 ? panel_time_top : panel_freq_top)) row=$((r % 2 == 0 ? 68 : 102))
  point_in $((client_x + 8 + 72)) $((client_y + top + row)) 41 13
  note "click ${names[$which]}"
  x mousemove "$px" "$py" click 1
}

keys=(Tab shift+Tab space Return Escape Up Down Left Right Page_Up Page_Down Home End alt+f F1
  a z 7 minus BackSpace Delete ctrl+a)
# Gives the keyboard to one of the program's windows that are shown.
focus_some_window() {
  roll 10
  local name='^Corvane - ' target
  ((r == 7 || r == 8)) && name='^Settings$'
  ((r == 9)) && name='^About Corvane$'
  target=$(shown_window "$name")
  [[ -n "$target" ]] || target=$window
  x windowfocus --sync "$target"
}
press_keys() {
  roll 2
  ((r == 0)) && focus_some_window
  roll 4
  local count=$((r + 1)) chosen=()
  for ((k = 0; k < count; k++)); do
    roll ${#keys[@]}
    chosen+=("${keys[$r]}")
  done
  note "keys ${chosen[*]}"
  x key --delay 30 "${chosen[@]}"
}

slider() {
  layout
  roll 4
  local names=(TBarAY TBarAX TBarFY TBarFX)
  local name=${names[$r]} top=$((r < 2 ? panel_time_top : panel_freq_top))
  local left=$((client_x + 8)) vertical=$((r % 2 == 0))
  if ((vertical)); then left=$((left + 10)) top=$((top + 42)); else left=$((left + 26)) top=$((top + 162)); fi
  top=$((client_y + top))
  local width=$((vertical ? 31 : 120)) height=$((vertical ? 120 : 31))
  point_in "$left" "$top" "$width" "$height"
  roll 10
  if ((r < 5)); then
    # A drag, at times far past either end.
    local from_x=$px from_y=$py
    point_in $((left - 150)) $((top - 150)) $((width + 300)) $((height + 300))
    if ((vertical)); then px=$from_x; else py=$from_y; fi
    note "drag $name from ($from_x, $from_y) to ($px, $py)"
    x mousemove "$from_x" "$from_y" mousedown 1 mousemove "$(((from_x + px) / 2))" \
      "$(((from_y + py) / 2))" mousemove "$px" "$py" mouseup 1
  elif ((r < 8)); then
    local slider_keys=(Up Down Left Right Page_Up Page_Down Home End) chosen=()
    roll 5
    local count=$((r + 1))
    for ((k = 0; k < count; k++)); do
      roll ${#slider_keys[@]}
      chosen+=("${slider_keys[$r]}")
    done
    note "click $name, keys ${chosen[*]}"
    x mousemove "$px" "$py" click 1 key --delay 20 "${chosen[@]}"
  else
    roll 2
    local button=$((4 + r))
    roll 4
    note "wheel $button x$((r + 1)) on $name"
    x mousemove "$px" "$py" click --repeat $((r + 1)) "$button"
  fi
}

# Sets width and height to a size of the walk's choosing: tiny, ordinary or huge.
choose_size() {
  roll 10
  if ((r < 3)); then
    roll 400; width=$((r + 1)); roll 400; height=$((r + 1))
  elif ((r < 7)); then
    roll 800; width=$((640 + r)); roll 600; height=$((580 + r))
  else
    roll 3500; width=$((1500 + r)); roll 3000; height=$((1000 + r))
  fi
}
# A new size, and a place where the window fits on the screen, or now and then one partly off it.
resize() {
  choose_size
  roll 4
  local off=$((r == 0 ? 400 : 0))
  roll $((screen_width - width + off > 0 ? screen_width - width + off : 1))
  local left=$((r - off / 2))
  roll $((screen_height - height + off > 0 ? screen_height - height + off : 1))
  local top=$((r - off / 2))
  note "move the main window to ($left, $top), resize it to ${width}x$height"
  x windowmove "$window" "$left" "$top" windowsize "$window" "$width" "$height"
}

# The menu commands from the keyboard: Alt+F opens the File menu with its first item active,
# Right moves on to the next menu. Exit is left for the end of the walk.
menu_command() {
  x windowfocus --sync "$window"
  x key --delay 40 alt+f "$@"
}
menu() {
  roll 6
  case $r in
    0) note "menu Options > Volume Control..."; menu_command Right Return ;;
    1) note "menu Options > Settings..."; menu_command Right Down Return ;;
    2) note "menu Help > Help Contents"; menu_command Right Right Return ;;
    3) note "menu Help > About..."; menu_command Right Right Down Return ;;
    *)
      local moves=(Left Right Up Down) chosen=()
      roll 6
      local count=$((r + 1))
      for ((k = 0; k < count; k++)); do
        roll 4
        chosen+=("${moves[$r]}")
      done
      note "menus: ${chosen[*]}, then Escape"
      menu_command "${chosen[@]}" Escape Escape
      ;;
  esac
}

settings_dialog() {
  # All choices are drawn before the dialog is looked for, so that a seed replays the same.
  roll 8
  local action=$r
  roll 171; local box_x=$r
  roll 3; local item=$r
  roll 5; local chars=$r
  local dialog
  dialog=$(shown_window '^Settings$')
  if [[ -z "$dialog" ]]; then
    note "menu Options > Settings..."
    menu_command Right Down Return
    return
  fi
  window_origin "$dialog"
  local ox=$origin_x oy=$origin_y
  case $action in
    0 | 1)
      note "settings: open the device list, choose entry $item"
      x mousemove $((ox + 28 + 171 - 8)) $((oy + 38 + 10)) click 1
      x mousemove $((ox + 28 + box_x)) $((oy + 38 + 21 + 8 + item * 18)) click 1
      ;;
    2)
      note "settings: device box, keys Down and Up"
      x mousemove $((ox + 28 + box_x / 2)) $((oy + 48)) click 1 key --delay 30 Down Up Down
      ;;
    3)
      local text
      text=$(printf 'x%.0s' $(seq 0 "$chars"))
      note "settings: type '$text' and Return in the device box"
      x mousemove $((ox + 28 + box_x / 2)) $((oy + 48)) click 1 type --delay 20 "$text"
      x key Return
      ;;
    4) note "settings: click DC offset"; x mousemove $((ox + 230)) $((oy + 48)) click 1 ;;
    5) note "settings: click 1 Channel"; x mousemove $((ox + 74)) $((oy + 107)) click 1 ;;
    6) note "settings: click 2 Channel"; x mousemove $((ox + 198)) $((oy + 107)) click 1 ;;
    7) note "settings: OK"; x mousemove $((ox + 166)) $((oy + 158)) click 1 ;;
  esac
}

about_box() {
  roll 3
  local action=$r
  local about
  about=$(shown_window '^About Corvane$')
  if [[ -z "$about" ]]; then
    note "menu Help > About..."
    menu_command Right Right Down Return
    return
  fi
  window_origin "$about"
  case $action in
    0) note "about: OK"; x mousemove $((origin_x + 5 + 188)) $((origin_y + 5 + 185)) click 1 ;;
    1) note "about: Return"; x windowfocus --sync "$about" key Return ;;
    2) note "about: click the banner"; x mousemove $((origin_x + 100)) $((origin_y + 30)) click 1 ;;
  esac
}

start_burst() {
  layout
  roll 8
  local clicks=$((r + 1))
  roll 150
  local delay=$r
  point_in $((client_x + 8 + 44)) $((client_y + panel_control_top + 6)) 75 27
  note "START/STOP x$clicks, $delay ms apart"
  x mousemove "$px" "$py" click --repeat "$clicks" --delay "$delay" 1
}

pause() {
  roll 20
  note "pause $((r * 100)) ms"
  sleep "$(awk -v ms=$((r * 100)) 'BEGIN {print ms / 1000}')"
}

# Answers any message box of the program (its caption is the bare title).
answer_message_boxes() {
  local box
  for _ in 1 2 3; do
    box=$(shown_window '^Corvane$')
    [[ -n "$box" ]] || return 0
    x windowfocus --sync "$box" key Return
  done
}

# The blocks that the capture runs showed, as the statistics file tells them: each run starts
# its count again. Runs shorter than a step between two looks go uncounted.
blocks_seen=0
blocks_this_run=0
count_blocks() {
  local now
  now=$(sed -n 's/^blocks=//p' "$work/stats" 2>/dev/null || true)
  [[ "$now" =~ ^[0-9]+$ ]] || return 0
  ((now >= blocks_this_run)) || blocks_seen=$((blocks_seen + blocks_this_run))
  blocks_this_run=$now
}

lives=1
start_and_measure() {
  start_corvane
  menu=$painted_menu
  note "program started (life $lives)"
}

# The program ended without being asked to at the end of the walk: File > Exit from random keys
# or clicks. It must have ended as Exit ends it; then it starts again.
ended_on_its_own() {
  note "the program ended during the walk"
  check_end
  lives=$((lives + 1))
  start_and_measure
}

: >"$walk"
note "seed $MONKEY_SEED"
start_and_measure
step=0
deadline=$((SECONDS + MONKEY_DURATION))
while true; do
  if ((MONKEY_STEPS > 0)); then ((step < MONKEY_STEPS)) || break; else ((SECONDS < deadline)) || break; fi
  step=$((step + 1))
  echo -n "$step: " >>"$walk"
  roll 100
  if ((r < 16)); then click_main
  elif ((r < 22)); then click_screen
  elif ((r < 28)); then check_box
  elif ((r < 40)); then press_keys
  elif ((r < 54)); then slider
  elif ((r < 62)); then resize
  elif ((r < 71)); then settings_dialog
  elif ((r < 76)); then about_box
  elif ((r < 85)); then start_burst
  elif ((r < 93)); then menu
  else pause
  fi
  count_blocks
  kill -0 "$program" 2>/dev/null || ended_on_its_own
done

# The end: popups and message boxes closed, the size the walk left or one of its choosing,
# File > Exit.
choose_size
roll 2
keep_size=$r
if ((keep_size)); then
  note "end: Escape, File > Exit"
else
  note "end: Escape, resize to ${width}x$height, File > Exit"
fi
exited=0
for attempt in 1 2 3; do
  answer_message_boxes
  x windowfocus --sync "$window" key Escape Escape
  ((keep_size)) || x windowsize "$window" "$width" "$height"
  main_geometry
  menu_command Return
  if wait_until 60 program_ended; then
    exited=1
    break
  fi
  note "File > Exit: the program still runs after attempt $attempt"
done
((exited)) || monkey_fail "File > Exit did not end the program"
check_end
# The window's last size, or the minimum when the walk left it smaller.
expected_size="$((win_width > 640 ? win_width : 640))x$((win_height > 580 ? win_height : 580))"
saved_size="$(sed -n 's/^Width=//p' "$settings")x$(sed -n 's/^Height=//p' "$settings")"
[[ "$saved_size" == "$expected_size" ]] ||
  monkey_fail "the settings file holds the size $saved_size, the window had ${win_width}x$win_height"
count_blocks
summary="PASS: seed $MONKEY_SEED, $step steps, $lives runs of the program, at least \
$((blocks_seen + blocks_this_run)) blocks shown, no sanitizer report, settings \
$(tr '\n' ' ' <"$settings")"
note "$summary"
echo "$summary"
