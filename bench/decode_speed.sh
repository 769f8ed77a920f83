#!/usr/bin/env bash
# Decoding speed of zarvo-decode as a user runs it (default options, the
# pitch found automatically) against `sox | multimon-ng -a MORSE_CW` on the
# same generated 13-minute recording (48 kHz float, CW at 10 dB SNR with
# pauses between overs). Both run pinned to one core, RUNS times each,
# alternating; the medians of the CPU time (user + system, so that other
# load on a shared machine counts less) give the speeds in multiples of
# real time. Also prints zarvo-decode with --pitch given. Not part of
# scripts/test.
#
#   bench/decode_speed.sh [RUNS [BUILD_DIR [CORE]]]   (5 build last-core)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
build=${2:-build}
core=${3:-$(($(nproc) - 1))}
cwgen=$build/tools/cwgen/zarvo-cwgen
decode=$build/tools/decode/zarvo-decode
for bin in "$cwgen" "$decode"; do
  [ -x "$bin" ] || { echo "decode_speed: $bin not built" >&2; exit 2; }
done
peer=1
for tool in sox multimon-ng; do
  if ! command -v "$tool" >/dev/null; then
    echo "decode_speed: $tool is not installed (Debian packages sox, multimon-ng): no comparison, Zarvo alone" >&2
    peer=0
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 13 minutes: overs of about 25 s at 22 WPM with 5 s pauses, each a
# separate generated piece (own seed) so that the noise never repeats.
over="CQ CQ CQ DE DL2QZA DL2QZA K = UR RST 579 579 NAME IS JO QTH NR HAMBURG = HW? AR"
pieces=()
for i in $(seq 17); do
  "$cwgen" --text "$over" --wpm 22 --pitch 640 --rate 48000 --float --snr 10 --amplitude 0.1 \
    --seed "$i" --lead 2.5 --tail 2.5 -o "$work/over$i.wav" 2>/dev/null
  pieces+=("$work/over$i.wav")
done
if [ "$peer" = 1 ]; then
  sox -V1 "${pieces[@]}" "$work/band.wav"
else
  # Without sox to join them, the overs are sent back to back.
  "$cwgen" --text "$(printf "$over %.0s" $(seq 26))" --wpm 22 --pitch 640 --rate 48000 --float --snr 10 --amplitude 0.1 \
    --seed 1 --lead 2.5 --tail 2.5 -o "$work/band.wav" 2>/dev/null
fi
# 32-bit float mono at 48 kHz; the header is a few dozen bytes.
seconds=$(awk -v b="$(stat -c %s "$work/band.wav")" 'BEGIN { print b / 4 / 48000 }')

# CPU seconds (user + system) of a command pinned to the core.
cpu_time() {
  local TIMEFORMAT='%3U %3S'
  local t
  t=$({ time taskset -c "$core" "$@" >"$work/out.txt" 2>/dev/null; } 2>&1)
  awk '{ printf "%.3f\n", $1 + $2 }' <<<"$t"
}
peer_run() {
  sox -q "$work/band.wav" -t raw -e signed-integer -b 16 -r 22050 -c 1 - | multimon-ng -q -t raw -a MORSE_CW -
}
export -f peer_run
export work

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$work/zarvo" && : >"$work/pitch" && : >"$work/peer"
for _ in $(seq "$runs"); do
  cpu_time "$decode" "$work/band.wav" >>"$work/zarvo"
  cp "$work/out.txt" "$work/zarvo.txt"
  cpu_time "$decode" --pitch 640 "$work/band.wav" >>"$work/pitch"
  if [ "$peer" = 1 ]; then
    cpu_time bash -c peer_run >>"$work/peer"
    cp "$work/out.txt" "$work/peer.txt"
  fi
done

speed() { awk -v s="$seconds" -v t="$1" 'BEGIN { printf "%.0f", s / t }'; }
zarvo=$(median <"$work/zarvo")
pitch=$(median <"$work/pitch")
printf 'recording: %.0f s at 48000 Hz; core %s; %s runs each (median CPU seconds)\n' "$seconds" "$core" "$runs"
printf '%-34s %8.3f s  %6s x real time\n' "zarvo-decode (default)" "$zarvo" "$(speed "$zarvo")"
printf '%-34s %8.3f s  %6s x real time\n' "zarvo-decode --pitch 640" "$pitch" "$(speed "$pitch")"
echo "zarvo-decode printed: $(tr -s ' \n' '  ' <"$work/zarvo.txt" | cut -c1-70)..."
if [ "$peer" = 1 ]; then
  other=$(median <"$work/peer")
  printf '%-34s %8.3f s  %6s x real time\n' "sox | multimon-ng -a MORSE_CW" "$other" "$(speed "$other")"
  echo "multimon-ng printed:  $(tr -s ' \n' '  ' <"$work/peer.txt" | cut -c1-70)..."
  awk -v a="$other" -v b="$zarvo" 'BEGIN { printf "ratio (zarvo-decode default / peer speed): %.2f\n", a / b }'
fi
