#!/usr/bin/env bash
# Resident memory of the program at rest, as a user's session sees it: on a
# private X server with a window manager and a tray host, given input access
# (the stand-in backend, so no access alert is open), after 10 s idle. Beside
# it, run the same way, the reference: a bare Qt Widgets tray program that
# shows one line of text at launch (bench/reference_tray.cpp), the floor the
# toolkit sets. Prints both, and the mappings where the program holds more.
#   bench/resident_memory.sh [PROGRAM [SECONDS [REFERENCE]]]
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/default/src/app/glidemark}
seconds=${2:-10}
reference=${3:-build/default/bench/reference_tray}
for tool in Xvfb openbox trayer; do
  command -v "$tool" >/dev/null || { echo "resident_memory: needs $tool (scripts/deps.sh installs it)" >&2; exit 2; }
done
for binary in "$program" "$reference"; do
  [ -x "$binary" ] || { echo "resident_memory: no program at $binary (build it first)" >&2; exit 2; }
done

scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number on the descriptor given.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1280x800x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 10 -u "$displayfd" number || { echo "resident_memory: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$number"
openbox --sm-disable >/dev/null 2>&1 & pids+=($!)
trayer >/dev/null 2>&1 & pids+=($!)
sleep 1

# measure NAME BINARY: runs it alone in a fresh home, waits, and keeps its
# status lines and per-mapping resident sizes in $scratch/NAME.*; then ends it.
measure() {
  local name=$1 binary=$2 pid
  mkdir -m 700 "$scratch/$name" "$scratch/$name/runtime" "$scratch/$name/home"
  env -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS GLIDEMARK_BACKEND=standin HOME="$scratch/$name/home" \
    XDG_CONFIG_HOME="$scratch/$name/home/.config" XDG_RUNTIME_DIR="$scratch/$name/runtime" \
    "$binary" >"$scratch/$name.log" 2>&1 &
  pid=$!
  pids+=("$pid")
  sleep "$seconds"
  kill -0 "$pid" 2>/dev/null || { echo "resident_memory: $binary ended early:" >&2; cat "$scratch/$name.log" >&2; exit 1; }
  grep -E '^(VmRSS|RssAnon|RssFile)' "/proc/$pid/status" | awk '{print $1, $2}' >"$scratch/$name.status"
  awk '/^Pss:/ {pss += $2} END {print "Pss:", pss}' "/proc/$pid/smaps" >>"$scratch/$name.status"
  awk '/^[0-9a-f]+-[0-9a-f]+ / {name = ($6 == "" ? "[anonymous]" : $6)} /^Rss:/ {rss[name] += $2}
       END {for (n in rss) print n, rss[n]}' "/proc/$pid/smaps" >"$scratch/$name.maps"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}
measure program "$program"
measure reference "$reference"

echo "after ${seconds} s idle under Xvfb + openbox + trayer, kB:"
printf '  %-9s %10s %10s %7s\n' "" program reference ratio
join "$scratch/program.status" "$scratch/reference.status" |
  awk '{printf "  %-9s %10d %10d %7.2f\n", $1, $2, $3, $3 ? $2 / $3 : 0}'
echo "  (Pss divides shared pages among the processes that map them)"
echo "mappings where the program holds more than the reference, kB:"
join -a1 -a2 -e0 -o 0,1.2,2.2 <(sort "$scratch/program.maps") <(sort "$scratch/reference.maps") |
  awk '$2 > $3 {printf "%8d %8d %8d  %s\n", $2 - $3, $2, $3, $1}' | sort -rn | head -20 |
  awk 'BEGIN {printf "%8s %8s %8s\n", "more", "program", "ref."} {print}'
