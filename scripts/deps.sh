#!/usr/bin/env bash
# Installs the Debian 12 packages Glidemark builds and tests with, and any named as arguments,
# only when some are missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  nlohmann-json3-dev libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
  libsystemd-dev libevdev-dev libudev-dev
  libxcb1-dev libxcb-ewmh-dev libxcb-randr0-dev libxcb-xinput-dev libxcb-res0-dev libxcb-xtest0-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libsodium-dev
  xvfb xauth x11-utils dbus-daemon
)
packages+=("$@")  # extra packages one script needs (scripts/fuzz.sh: clang and libFuzzer)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
