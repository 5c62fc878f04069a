#!/usr/bin/env bash
# Line coverage of src/ by the test suite: builds the "coverage" preset, runs
# every test that runs on this machine (the "kernel" ones run in a VM, whose
# counters do not come back, so they are left out), and prints gcovr's summary.
# Extra arguments go to gcovr, e.g.  scripts/coverage.sh --html-details build/coverage/index.html
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh compositors coverage
export GLIDEMARK_REQUIRE_COMPOSITORS=1
cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "$(nproc)"
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j "$(nproc)" -LE kernel >/dev/null || { echo "coverage: some tests failed" >&2; exit 1; }
gcovr --root . --object-directory build/coverage --filter 'src/' --gcov-ignore-parse-errors -j "$(nproc)" --txt build/coverage/coverage.txt --print-summary "$@"
echo "per file: build/coverage/coverage.txt"
