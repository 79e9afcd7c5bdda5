#!/usr/bin/env bash
# Times offline renders of 60 s of stereo noise through the plug-in against sox's reverb effect: the
# plug-in's own default program, and the heaviest benchmark program (every part of the network at
# once) when make-bench-programs has been built.
# Usage: bash bench/compare-sox.sh [--program FILE.fxp]... [build-dir]   (default: build)
#   --program FILE.fxp   time this program instead (may be given more than once)
set -euo pipefail

programs=()
build=build
while [ $# -gt 0 ]; do
  case "$1" in
    --program)
      if [ $# -lt 2 ]; then
        echo "compare-sox: --program needs a file" >&2
        exit 2
      fi
      programs+=("$2")
      shift 2
      ;;
    --program=*)
      programs+=("${1#--program=}")
      shift
      ;;
    -*)
      echo "compare-sox: unknown option '$1'" >&2
      exit 2
      ;;
    *)
      build=$1
      shift
      ;;
  esac
done

host="$build/tarskverb-host"
plugin="$build/tarskverb.so"
maker="$build/bench/make-bench-programs"
rounds=5
seconds=60
rate=48000

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

# Without --program: the plug-in's default program ("default"), then the heaviest benchmark program.
if [ ${#programs[@]} -eq 0 ]; then
  programs=(default)
  if [ -x "$maker" ] && "$maker" "$work/programs"; then
    programs+=("$work/programs/Heaviest.fxp")
  else
    echo "compare-sox: $maker is missing, timing the default program only" \
         "(cmake --build $build --target make-bench-programs)" >&2
  fi
fi

# Seconds on the monotonic clock, to the microsecond.
now() { perl -MTime::HiRes=clock_gettime,CLOCK_MONOTONIC -e 'printf "%.6f\n", clock_gettime(CLOCK_MONOTONIC)'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

sox -V1 -n -r "$rate" -c 2 -e floating-point -b 32 "$work/noise.wav" synth "$seconds" whitenoise vol 0.5
frames=$((seconds * rate))

summary=()
for program in "${programs[@]}"; do
  options=(--tail 0)
  label=default
  if [ "$program" != default ]; then
    options+=(--program "$program")
    label=$(basename "$program" .fxp)
  fi
  echo "rendering ${seconds} s of 48 kHz stereo noise with the $label program, ${rounds} rounds"
  printf '%-6s %12s %12s %8s\n' round tarskverb sox ratio
  ratios=()
  times=()
  for round in $(seq 1 "$rounds"); do
    # Both write new files: replacing an old one costs the file system more than writing it.
    rm -f "$work/out.wav" "$work/out-sox.wav"
    start=$(now)
    "$host" render "${options[@]}" "$plugin" "$work/noise.wav" "$work/out.wav"
    middle=$(now)
    sox -V1 "$work/noise.wav" "$work/out-sox.wav" reverb
    end=$(now)
    ours=$(awk -v a="$start" -v b="$middle" 'BEGIN { printf "%.3f", b - a }')
    theirs=$(awk -v a="$middle" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", (a > 0) ? b / a : 0 }')
    ratios+=("$ratio")
    times+=("$ours")
    printf '%-6s %11ss %11ss %8s\n' "$round" "$ours" "$theirs" "$ratio"
  done
  ratio=$(printf '%s\n' "${ratios[@]}" | median)
  perFrame=$(printf '%s\n' "${times[@]}" | median | awk -v n="$frames" '{ printf "%.1f", $1 * 1e9 / n }')
  echo "median ratio (sox time / tarskverb time, above 1 means tarskverb is faster): $ratio"
  summary+=("$(printf '%-12s median ratio %6s   tarskverb %6s ns/frame (whole render)' "$label" "$ratio" "$perFrame")")
done

echo
printf '%s\n' "${summary[@]}"
