#!/usr/bin/env bash
# Times an offline render of 60 s of stereo noise through the plug-in against sox's reverb effect.
# Usage: bash bench/compare-sox.sh [build-dir]   (default: build)
set -euo pipefail

build=${1:-build}
host="$build/tarskverb-host"
plugin="$build/tarskverb.so"
rounds=5
seconds=60

for file in "$host" "$plugin"; do
  if [ ! -e "$file" ]; then
    echo "compare-sox: $file is missing; build first (cmake --build $build)" >&2
    exit 1
  fi
done
for tool in sox perl; do
  if ! command -v "$tool" > /dev/null; then
    echo "compare-sox: $tool is not installed (bash tools/setup-debian.sh installs it)" >&2
    exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seconds on the monotonic clock, to the microsecond.
now() { perl -MTime::HiRes=clock_gettime,CLOCK_MONOTONIC -e 'printf "%.6f\n", clock_gettime(CLOCK_MONOTONIC)'; }

sox -V1 -n -r 48000 -c 2 -e floating-point -b 32 "$work/noise.wav" synth "$seconds" whitenoise vol 0.5

echo "rendering ${seconds} s of 48 kHz stereo noise, ${rounds} rounds"
printf '%-6s %12s %12s %8s\n' round tarskverb sox ratio
ratios=()
for round in $(seq 1 "$rounds"); do
  start=$(now)
  "$host" render --tail 0 "$plugin" "$work/noise.wav" "$work/out.wav"
  middle=$(now)
  sox -V1 "$work/noise.wav" "$work/out-sox.wav" reverb
  end=$(now)
  ours=$(awk -v a="$start" -v b="$middle" 'BEGIN { printf "%.3f", b - a }')
  theirs=$(awk -v a="$middle" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", (a > 0) ? b / a : 0 }')
  ratios+=("$ratio")
  printf '%-6s %11ss %11ss %8s\n' "$round" "$ours" "$theirs" "$ratio"
done

median=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
echo "median ratio (sox time / tarskverb time, above 1 means tarskverb is faster): $median"
