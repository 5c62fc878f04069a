#!/usr/bin/env bash
# Builds Glidemark and runs it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
if [ -x build/default/src/app/glidemark ]; then
  exec build/default/src/app/glidemark "$@"
fi
# Until the desktop application exists, the most useful thing to run is the settings check.
exec build/default/tools/glidemarkctl/glidemarkctl check-settings "$@"
