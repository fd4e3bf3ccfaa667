#!/usr/bin/env bash
# Sets up, builds and starts Corvane.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_TESTS=OFF \
  -DCORVANE_BUILD_BENCH=OFF >/dev/null
# Everything "cmake --install build" installs, not the program alone.
cmake --build build
exec build/corvane
