#!/usr/bin/env bash
# The installed program: "cmake --install" into a DESTDIR of the test's own puts every file in
# its place, the desktop entry and the AppStream metainfo are valid, and the installed program,
# run under a virtual X display with HOME and XDG_CONFIG_HOME in the test's folder, keeps its
# settings in the XDG configuration folder (read back at the next start) and hands its
# installed help to xdg-open: a stand-in first on PATH notes what it is given.
# Usage: InstalledProgram.sh <build folder>
set -euo pipefail

if [[ "${1:-}" != --in-display ]]; then
  build=$(readlink -f "${1:?usage: $0 <build folder>}")
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  root="$work/root"
  DESTDIR="$root" cmake --install "$build" --prefix /usr >"$work/install.log"

  missing=0
  for file in usr/bin/corvane \
    usr/share/applications/org.corvane.Corvane.desktop \
    usr/share/metainfo/org.corvane.Corvane.metainfo.xml \
    usr/share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/org.corvane.Corvane.png \
    usr/share/icons/hicolor/scalable/apps/org.corvane.Corvane.svg \
    usr/share/man/man1/corvane.1.gz \
    usr/share/corvane/help/{index,controls,settings,devices}.html \
    usr/share/doc/corvane/copyright usr/share/doc/corvane/changelog.gz; do
    [[ -f "$root/$file" ]] || { echo "FAIL: not installed: /$file" >&2; missing=1; }
  done
  [[ $missing -eq 0 ]] || exit 1
  if grep -q '^CHMCMD_PROGRAM:FILEPATH=/' "$build/CMakeCache.txt"; then
    [[ -f "$root/usr/share/corvane/help/corvane.chm" ]] || { echo "FAIL: no corvane.chm" >&2; exit 1; }
  fi
  desktop-file-validate "$root/usr/share/applications/org.corvane.Corvane.desktop"
  appstreamcli validate --no-net "$root/usr/share/metainfo/org.corvane.Corvane.metainfo.xml"
  man --warnings -E UTF-8 -l -Tutf8 -Z "$root/usr/share/man/man1/corvane.1.gz" >/dev/null

  # Stand-ins for the desktop: xdg-mime names a viewer for compiled help when $work/viewer
  # holds one, xdg-open notes its arguments and succeeds.
  mkdir "$work/bin" "$work/home"
  printf '#!/bin/sh\ncat "%s/viewer" 2>/dev/null\n' "$work" >"$work/bin/xdg-mime"
  printf '#!/bin/sh\necho "$@" >>"%s/opened"\n' "$work" >"$work/bin/xdg-open"
  chmod +x "$work/bin/xdg-mime" "$work/bin/xdg-open"
  # The program starts from a link, as from a menu; its own path is the installed one.
  ln -s "$root/usr/bin/corvane" "$work/corvane"
  PATH="$work/bin:$PATH" HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
    XDG_RUNTIME_DIR="$work" CORVANE_NO_ALSA=1 CORVANE_NO_PULSE=1 \
    timeout 200 "$(dirname "$0")/../e2e/lib/with-xvfb" 1280x1024 bash "$0" --in-display "$work" "$root"
  exit
fi

work=$2
root=$3
source "$(dirname "$0")/../e2e/lib/window.bash"
settings="$work/config/corvane/corvane.INI"

# Chooses a menu command from the keyboard: Alt+F opens the File menu with its first item
# active, Right moves on to the next menu.
menu_command() {
  xdotool windowfocus --sync "$window"
  xdotool key --delay 150 alt+f "$@" Return
}

opened_count() { if [[ -f "$work/opened" ]]; then wc -l <"$work/opened"; else echo 0; fi; }

# Help Contents, then the file that xdg-open was given.
help_contents() {
  local before
  before=$(opened_count)
  menu_command Right Right
  opened_more() { [[ $(opened_count) -gt $before ]]; }
  wait_for "Help Contents opened nothing" opened_more
  tail -n 1 "$work/opened"
}

exit_program() {
  menu_command
  wait_for "File > Exit did not end the program" program_ended
  wait "$program" || true
}

start_corvane
help=$root/usr/share/corvane/help
opened=$(help_contents)
[[ "$opened" == "$help/index.html" ]] || fail "without a CHM viewer Help Contents opened '$opened'"
echo "Help Contents without a CHM viewer: $opened"
echo xchm.desktop >"$work/viewer"
opened=$(help_contents)
if [[ -f "$help/corvane.chm" ]]; then expected=$help/corvane.chm; else expected=$help/index.html; fi
[[ "$opened" == "$expected" ]] || fail "with a CHM viewer Help Contents opened '$opened'"
echo "Help Contents with a CHM viewer: $opened"

[[ ! -e "$settings" ]] || fail "the settings file exists before the first save"
exit_program
[[ -f "$settings" ]] || fail "no settings file at $settings"
[[ "$(stat -c %a "$(dirname "$settings")")" == 700 ]] || fail "the settings folder is not private"
[[ ! -e "$root/usr/bin/corvane.INI" ]] || fail "a settings file was written beside the program"
expected_ini=$'[Scales]\nAX=1\nAY=1\nFX=1\nFY=1\n[Form]\nWidth=800\nHeight=600'
[[ "$(cat "$settings")" == "$expected_ini" ]] || fail "first save wrote: $(cat "$settings")"
echo "first run saved $settings"

sed -i -e 's/^AX=1$/AX=3/' -e 's/^Width=800$/Width=700/' "$settings"
start_corvane
[[ "$width" == 700 ]] || fail "the second start has a window $width pixels wide, not 700"
exit_program
grep -qx 'AX=3' "$settings" || fail "the second run did not keep AX=3: $(cat "$settings")"
grep -qx 'Width=700' "$settings" || fail "the second run did not keep Width=700"
echo "PASS: installed files valid, help from $help, settings in $settings"
