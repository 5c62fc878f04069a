#!/usr/bin/env bash
# Resident memory of the program at rest, as a user's session sees it: on a
# private X server with a window manager and a tray host, given input access
# (the stand-in backend, so no access alert is open), after 10 s idle.
# Prints the totals and the mappings that hold the most.
#   bench/resident_memory.sh [PROGRAM] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/default/src/app/glidemark}
seconds=${2:-10}
for tool in Xvfb openbox trayer; do
  command -v "$tool" >/dev/null || { echo "resident_memory: needs $tool (scripts/deps.sh installs it)" >&2; exit 2; }
done
[ -x "$program" ] || { echo "resident_memory: no program at $program (build it first)" >&2; exit 2; }

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

mkdir -m 700 "$scratch/runtime" "$scratch/home"
env -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS GLIDEMARK_BACKEND=standin HOME="$scratch/home" \
  XDG_CONFIG_HOME="$scratch/home/.config" XDG_RUNTIME_DIR="$scratch/runtime" \
  "$program" >"$scratch/program.log" 2>&1 &
program_pid=$!
pids+=("$program_pid")
sleep "$seconds"
kill -0 "$program_pid" 2>/dev/null || { echo "resident_memory: the program ended early:" >&2; cat "$scratch/program.log" >&2; exit 1; }

echo "after ${seconds} s idle under Xvfb + openbox + trayer:"
grep -E '^(VmRSS|RssAnon|RssFile|RssShmem)' "/proc/$program_pid/status"
awk '/^Pss:/ {pss += $2} END {printf "Pss:\t%8d kB (shared pages divided among the processes that map them)\n", pss}' \
  "/proc/$program_pid/smaps"
echo "largest mappings (resident kB):"
awk '/^[0-9a-f]+-[0-9a-f]+ / {name = ($6 == "" ? "[anonymous]" : $6)} /^Rss:/ {rss[name] += $2}
     END {for (n in rss) printf "%8d %s\n", rss[n], n}' "/proc/$program_pid/smaps" | sort -rn | head -15
