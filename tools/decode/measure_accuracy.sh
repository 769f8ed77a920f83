#!/usr/bin/env bash
# Character error rate of zarvo-decode against speed and SNR, for the
# backend and the fallback decoder, on audio from zarvo-cwgen. Prints
# Markdown tables.
#
# usage: tools/decode/measure_accuracy.sh [BUILD_DIR]   (default: build)
# Environment: RATE (48000), PITCH (600), BLOCK (2048, backend),
# FALLBACK_BLOCK (192: the fallback smooths per block and needs blocks
# well below a dot), SEED (1).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cwgen=$build/tools/cwgen/zarvo-cwgen
decode=$build/tools/decode/zarvo-decode
cer=$build/tools/decode/zarvo-cer
for tool in "$cwgen" "$decode" "$cer"; do
  [ -x "$tool" ] || { echo "missing $tool: build the zarvo-cwgen, zarvo-decode and zarvo-cer targets" >&2; exit 2; }
done

rate=${RATE:-48000}
pitch=${PITCH:-600}
block=${BLOCK:-2048}
fallbackBlock=${FALLBACK_BLOCK:-192}
seed=${SEED:-1}
speeds=(12 20 30 40)
snrs=(20 10 3 0)
text="CQ CQ DE ZR1ABC ZR1ABC THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 73 K THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 1234567890 BK"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# table TITLE DECODE_OPTIONS...
table() {
  local title=$1
  shift
  echo
  echo "$title"
  echo
  printf '| WPM |'
  for snr in "${snrs[@]}"; do printf ' %+d dB |' "$snr"; done
  echo
  printf '|---|'
  for _ in "${snrs[@]}"; do printf -- '---|'; done
  echo
  for wpm in "${speeds[@]}"; do
    printf '| %d |' "$wpm"
    for snr in "${snrs[@]}"; do
      local wav=$work/cw-$wpm-$snr.wav
      [ -f "$wav" ] || "$cwgen" --text "$text" --wpm "$wpm" --pitch "$pitch" --rate "$rate" --snr "$snr" \
        --seed "$seed" --lead 1 --tail 1 -o "$wav"
      "$decode" --pitch "$pitch" "$@" "$wav" >"$work/out.txt"
      printf ' %s |' "$("$cer" "$text" "$work/out.txt")"
    done
    echo
  done
}

echo "Character error rate after the first word; $rate Hz, tone at the configured $pitch Hz, SNR in 2500 Hz."
table "Backend (--block $block)" --block "$block"
table "Fallback decoder (--fallback --bandwidth 100 --block $fallbackBlock)" \
  --fallback --bandwidth 100 --block "$fallbackBlock"
table "Fallback decoder in the backend's blocks (--fallback --bandwidth 100 --block $block)" \
  --fallback --bandwidth 100 --block "$block"
