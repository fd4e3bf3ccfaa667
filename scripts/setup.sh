#!/usr/bin/env bash
# Installs the Debian packages Corvane needs that are missing (nothing when all are there).
# Usage: scripts/setup.sh [--package | --test]   (--package adds what the Debian package's
# build needs: chmcmd for the compiled help, and CPack's helpers; --test adds that and what
# the tests and benchmarks need)
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config ccache
  qt6-base-dev libgl-dev libasound2-dev libpulse-dev libsndfile1-dev libsamplerate0-dev
  libjpeg62-turbo-dev fonts-dejavu-core xdg-utils
)
if [[ "${1:-}" == "--package" || "${1:-}" == "--test" ]]; then
  packages+=(fp-utils dpkg-dev file lintian)
fi
if [[ "${1:-}" == "--test" ]]; then
  packages+=(
    desktop-file-utils appstream
    googletest libgtest-dev libbenchmark-dev libfftw3-dev clang-14 libclang-rt-14-dev
    xvfb xauth imagemagick xdotool x11-utils alsa-utils jackd2 libasound2-plugins locales
    pulseaudio-utils dbus
  )
  # The sound-server tests run a server of their own. Install one only where there is none:
  # pulseaudio and pipewire-pulse conflict, and pipewire-alsa (never wanted) would reroute
  # ALSA's default for the whole machine.
  installed() { [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == "install ok installed" ]]; }
  if ! installed pulseaudio && ! installed pipewire-pulse; then
    packages+=(pipewire wireplumber pipewire-pulse)
  fi
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null; then
    echo "Run this as root, or install sudo, to install: ${missing[*]}" >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
