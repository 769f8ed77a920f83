#!/usr/bin/env bash
# Long unattended run of `zarvo-decode --tci --reconnect` against the
# simulator with malformed frames and garbage text mixed in, the simulator
# quitting and starting again on the same port every RESTART seconds.
# Prints the text decoded in each period between restarts (characters and
# words: the receiver ends a line only at the end of the run), the
# resident memory after the first period and at the end, and the CPU time
# used. Not part of scripts/test: it runs for as long as it is told to.
#
#   bench/tci_long_run.sh [DURATION_S [RESTART_S [BUILD_DIR]]]   (3600 600 build)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

duration=${1:-3600}
every=${2:-600}
build=${3:-build}
sim_bin=$build/tools/tci-sim/zarvo-tci-sim
decode_bin=$build/tools/decode/zarvo-decode
sample_every=10
for bin in "$sim_bin" "$decode_bin"; do
  [ -x "$bin" ] || { echo "tci_long_run: $bin not built" >&2; exit 2; }
done

work=$(mktemp -d)
sim=""
decoder=""
cleanup() {
  [ -n "$decoder" ] && kill "$decoder" 2>/dev/null || true
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_sim() {
  : >"$work/sim.log"
  "$sim_bin" --port "$1" --exit-after "$every" --malformed 50 --garbage 40 >"$work/sim.log" 2>&1 &
  sim=$!
  port=$(zarvo_sim_port "$work/sim.log" "$sim")
  [ -n "$port" ] && return 0
  echo "tci_long_run: the simulator did not start:" >&2
  cat "$work/sim.log" >&2
  exit 1
}

# Resident kB and CPU seconds (user + system) of a process, from /proc.
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
cpu_s() {
  awk -v t="$(zarvo_cpu_ticks "$1")" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.1f", t / hz }'
}
chars_of() { wc -c <"$work/text.txt"; }
words_of() { wc -w <"$work/text.txt"; }

start_sim 0
"$decode_bin" --tci "ws://127.0.0.1:$port" --reconnect >"$work/text.txt" 2>"$work/err.txt" &
decoder=$!
echo "tci_long_run: ${duration} s against ws://127.0.0.1:$port, simulator restarted every ${every} s"

start=$SECONDS
period=1
period_chars=0
period_words=0
warm_rss=""
last_rss=""
while [ $((SECONDS - start)) -lt "$duration" ]; do
  sleep 1
  kill -0 "$decoder" 2>/dev/null || { echo "tci_long_run: zarvo-decode ended:" >&2; cat "$work/err.txt" >&2; exit 1; }
  elapsed=$((SECONDS - start))
  if [ $((elapsed % sample_every)) -eq 0 ]; then
    last_rss=$(rss_kb "$decoder")
    echo "  ${elapsed} s: RSS ${last_rss} kB, CPU $(cpu_s "$decoder") s, $(chars_of) characters"
  fi
  if ! kill -0 "$sim" 2>/dev/null; then
    wait "$sim" || true
    chars=$(chars_of) words=$(words_of)
    echo "period $period: $((chars - period_chars)) characters, $((words - period_words)) words"
    [ -z "$warm_rss" ] && warm_rss=$(rss_kb "$decoder")
    period=$((period + 1))
    period_chars=$chars period_words=$words
    start_sim "$port"
  fi
done

end_rss=$(rss_kb "$decoder")
cpu=$(cpu_s "$decoder")
chars=$(chars_of) words=$(words_of)
echo "period $period (to the end): $((chars - period_chars)) characters, $((words - period_words)) words"
kill -INT "$decoder"
status=0
wait "$decoder" || status=$?
decoder=""
[ -z "$warm_rss" ] && warm_rss=$end_rss
growth=$((end_rss - warm_rss))
echo "RSS after warm-up (first restart): ${warm_rss} kB, at the end: ${end_rss} kB, growth ${growth} kB" \
  "($([ "${growth#-}" -le 1024 ] && echo "flat within 1 MB" || echo "NOT flat within 1 MB"))"
echo "CPU: ${cpu} s in ${duration} s; text: ${chars} characters, ${words} words; exit status after Ctrl-C: ${status}"
echo "the simulator after Ctrl-C: $(grep -E '<< audio_stop|disconnected' "$work/sim.log" | tail -2 | tr '\n' ' ')"
echo "reconnections: $(grep -c 'reconnected to' "$work/err.txt" || true); standard error:"
sed 's/^/  /' "$work/err.txt"
