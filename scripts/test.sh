#!/usr/bin/env bash
# Builds Glidemark with a CMake preset (default: "default") and runs its tests.
# Extra arguments go to ctest, e.g.  scripts/test.sh tsan -L threads
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
shift || true
scripts/deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)" "$@"
