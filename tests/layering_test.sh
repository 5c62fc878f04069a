#!/usr/bin/env bash
# The engine, the settings and the platform interfaces must build anywhere:
# they may include the C++ standard library, nlohmann-json, each other and
# the interface headers at the top of src/platform, and nothing of an OS,
# a GUI toolkit or a backend. An include that slips in fails here, before
# the macOS build finds it.
set -euo pipefail
src=${1:?usage: layering_test.sh SRC_DIR}
allowed='^#include (<[a-z_0-9]+>|<nlohmann/json\.hpp>|"(engine|settings)/[A-Za-z]+\.h"|"platform/[A-Za-z]+\.h")$'
bad=$(grep -rHn --include='*.h' --include='*.cpp' -E '^\s*#\s*include' "$src/engine" "$src/settings" \
        "$src"/platform/*.h "$src"/platform/*.cpp | sed -E 's/:\s*#\s*include\s*/:#include /' |
      awk -F: -v allowed="$allowed" '{line = $0; sub(/^[^:]*:[^:]*:/, "", line); if (line !~ allowed) print}' || true)
if [ -n "$bad" ]; then
  echo "includes the portable code may not have:"; echo "$bad"; exit 1
fi
echo "portable code includes only the standard library, nlohmann-json and its own interfaces"
