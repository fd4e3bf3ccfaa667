#!/usr/bin/env bash
# Sets up, builds and packs Corvane as a Debian package, with Debian's hardening flags:
# build-package/corvane_<version>_<architecture>.deb, to be installed with
# "sudo apt install ./build-package/corvane_<version>_<architecture>.deb".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build build-package
cd build-package
cpack -G DEB >/dev/null
ls "$PWD"/corvane_*.deb
