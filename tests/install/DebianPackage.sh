#!/usr/bin/env bash
# The Debian package: built with CPack from the build folder, named and laid out as Debian
# expects, with the dependencies that dpkg-shlibdeps found and those the program loads at run
# time, free of lintian errors, and installable: apt resolves it in a simulation, which
# changes nothing on this machine.
# Usage: DebianPackage.sh <build folder>
set -euo pipefail
build=$(readlink -f "${1:?usage: $0 <build folder>}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack could not build the package"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$work/corvane_${version}_$(dpkg --print-architecture).deb"
[[ -f "$deb" ]] || fail "no $(basename "$deb"); cpack made: $(ls "$work")"

dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents"
for file in ./usr/bin/corvane \
  ./usr/share/applications/org.corvane.Corvane.desktop \
  ./usr/share/metainfo/org.corvane.Corvane.metainfo.xml \
  ./usr/share/icons/hicolor/48x48/apps/org.corvane.Corvane.png \
  ./usr/share/icons/hicolor/scalable/apps/org.corvane.Corvane.svg \
  ./usr/share/man/man1/corvane.1.gz ./usr/share/corvane/help/index.html \
  ./usr/share/doc/corvane/copyright ./usr/share/doc/corvane/changelog.gz; do
  grep -qxF "$file" "$work/contents" || fail "the package lacks $file"
done
outside=$(grep -v -e '^\./$' -e '^\./usr/' "$work/contents" || true)
[[ -z "$outside" ]] || fail "files outside /usr: $outside"
grep -q '^\./usr/local' "$work/contents" && fail "files under /usr/local"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libqt6widgets6 libasound2 libsndfile1 libjpeg62-turbo qt6-qpa-plugins; do
  [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

lintian --fail-on error --tag-display-limit 0 "$deb" | tee "$work/lintian.log" ||
  fail "lintian reports errors"

# apt must find every dependency; -s only prints what it would do.
apt-get install -s --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt cannot install the package"; }
grep -q '^Inst corvane ' "$work/apt.log" || { cat "$work/apt.log" >&2; fail "apt would not install corvane"; }

echo "PASS: $(basename "$deb"), $(stat -c %s "$deb") bytes, Installed-Size" \
  "$(dpkg-deb -f "$deb" Installed-Size) KiB; Depends: $depends"
