#!/usr/bin/env bash
# The window's share of one core while it streams 48 kHz audio from the
# simulator: decoding, the skimmer, the spectrum and the trace, drawn on a
# virtual X display (Xvfb, 1400x900). The window runs pinned to one core;
# its CPU time (user + system, all threads) is read from /proc over SECONDS
# after an 8-second start, ROUNDS times with a fresh window and simulator
# each; prints every round and the median. Not part of scripts/test.
#
#   bench/window_cpu.sh [SECONDS [ROUNDS [BUILD_DIR [CORE]]]]   (30 5 build last-core)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

seconds=${1:-30}
rounds=${2:-5}
build=${3:-build}
core=${4:-$(($(nproc) - 1))}
sim_bin=$build/tools/tci-sim/zarvo-tci-sim
window_bin=$build/src/main/zarvo
for bin in "$sim_bin" "$window_bin"; do
  [ -x "$bin" ] || { echo "window_cpu: $bin not built" >&2; exit 2; }
done
command -v Xvfb >/dev/null || { echo "window_cpu: Xvfb is not installed (Debian package xvfb)" >&2; exit 2; }

work=$(mktemp -d)
pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  pids=()
}
trap 'stop_all; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

display=:$((70 + RANDOM % 200))

shares=()
for round in $(seq "$rounds"); do
  Xvfb "$display" -screen 0 1400x900x24 >/dev/null 2>&1 &
  pids+=($!)
  "$sim_bin" --port 0 >"$work/sim.log" 2>&1 &
  sim=$!
  pids+=("$sim")
  port=$(zarvo_sim_port "$work/sim.log" "$sim")
  [ -n "$port" ] || { echo "window_cpu: the simulator did not start" >&2; cat "$work/sim.log" >&2; exit 1; }
  DISPLAY=$display taskset -c "$core" "$window_bin" --connect "127.0.0.1:$port" >"$work/window.log" 2>&1 &
  window=$!
  pids+=("$window")
  sleep 8
  kill -0 "$window" 2>/dev/null || { echo "window_cpu: the window quit:" >&2; cat "$work/window.log" >&2; exit 1; }
  t0=$(zarvo_cpu_ticks "$window")
  s0=$(date +%s.%N)
  sleep "$seconds"
  t1=$(zarvo_cpu_ticks "$window")
  s1=$(date +%s.%N)
  share=$(awk -v a="$t0" -v b="$t1" -v x="$s0" -v y="$s1" -v hz="$(getconf CLK_TCK)" \
    'BEGIN { printf "%.2f", 100 * (b - a) / hz / (y - x) }')
  echo "round $round: $share % of one core"
  shares+=("$share")
  stop_all
done
printf '%s\n' "${shares[@]}" | sort -g | awk '{ v[NR] = $1 } END { printf "median: %s %% of one core\n", v[int((NR + 1) / 2)] }'
