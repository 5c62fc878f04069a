#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang, ASan + UBSan) and runs each
# over its seed corpus in fuzz/corpus for a fixed time, as many at once as
# there are cores. Any finding (crash, sanitizer report, leak, timeout,
# broken promise) fails, and the input that caused it is kept in build/fuzz/findings.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     default: 20 seconds each, every target
# New inputs the fuzzers find go to build/fuzz/corpus/TARGET, and later runs start from them.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--run-one" ]; then
  target="$2" seconds="$3"
  mkdir -p "build/fuzz/corpus/$target" build/fuzz/findings build/fuzz/logs
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="build/fuzz/findings/$target-")
  [ -f "fuzz/dict/$target.dict" ] && args+=(-dict="fuzz/dict/$target.dict")
  log="build/fuzz/logs/$target.log"
  if UBSAN_OPTIONS=print_stacktrace=1 "build/fuzz/fuzz/$target" "${args[@]}" \
      "build/fuzz/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "$target: ${runs:-?} runs, ${rate:-?}/s, no findings"
  else
    echo "$target: FINDING (log: $log)" >&2
    grep -E "ERROR|runtime error|broken promise|Test unit written" "$log" | head -20 >&2 || tail -30 "$log" >&2
    exit 1
  fi
  exit 0
fi

seconds="${1:-20}"
shift || true
scripts/deps.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
targets=("$@")
if ((${#targets[@]} == 0)); then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
printf '%s\n' "${targets[@]}" | xargs -P "$(nproc)" -I{} "$0" --run-one {} "$seconds"
