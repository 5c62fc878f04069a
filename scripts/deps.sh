#!/usr/bin/env bash
# Installs the Debian 12 packages Glidemark builds and tests with, only when some are missing.
# Usage: scripts/deps.sh [GROUP...]
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  nlohmann-json3-dev libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
  libsystemd-dev libevdev-dev libudev-dev libinput-dev libdrm-dev
  libxcb1-dev libxcb-ewmh-dev libxcb-randr0-dev libxcb-xinput-dev libxcb-res0-dev libxcb-xtest0-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libsodium-dev
  xvfb xauth x11-utils dbus-daemon
  openbox trayer xdotool
  libwayland-dev plasma-wayland-protocols
)
# Optional groups, named on the command line: "vm" for scripts/vm-run.sh;
# "compositors" for the headless GNOME Shell and KWin the compositor tests run
# against (about 570 MB; without them those tests skip, saying what is missing);
# "fuzz" for clang and libFuzzer (scripts/fuzz.sh); "macos" for clang and its
# object tools (scripts/check-macos.sh); "coverage" for gcovr (scripts/coverage.sh).
for group in "$@"; do
  case "$group" in
    vm) packages+=(qemu-system-x86 linux-image-amd64 busybox-static cpio xz-utils udev libinput-tools libinput-dev) ;;
    compositors) packages+=(gnome-shell gjs kwin-wayland xwayland) ;;
    fuzz) packages+=(clang-19 libclang-rt-19-dev) ;;
    macos) packages+=(clang-19 llvm-19) ;;
    coverage) packages+=(gcovr) ;;
    *) echo "deps.sh: unknown group $group" >&2; exit 2 ;;
  esac
done
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
