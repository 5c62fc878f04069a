#!/usr/bin/env bash
# Builds Glidemark with a CMake preset (default: "default") and runs its tests.
# Extra arguments go to ctest, e.g.  scripts/test.sh tsan -L threads
# Tests labelled "kernel" need Linux's own input stack (uinput, evdev, udev):
# they run inside a throw-away VM on Debian's kernel (scripts/vm-run.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
shift || true
# Every test runs for real: the VM (for the "kernel" label) and the headless
# compositors (for "compositor") are installed too, and a compositor test that
# cannot start its compositor fails instead of skipping.
scripts/deps.sh vm compositors
export GLIDEMARK_REQUIRE_COMPOSITORS=1
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)" -LE kernel "$@"
if ctest --preset "$preset" -N -L kernel "$@" | grep -q 'Total Tests: [1-9]'; then
  echo "== tests on the real kernel (scripts/vm-run.sh) =="
  scripts/vm-run.sh --timeout 900 -- ctest --preset "$preset" -L kernel "$@"
fi
