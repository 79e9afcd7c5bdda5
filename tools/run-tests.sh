#!/usr/bin/env bash
# Builds the plug-in and runs every test: a release build, then the same tests under
# ThreadSanitizer and under AddressSanitizer with UndefinedBehaviorSanitizer; then a clang build of
# the fuzz targets, each run for a bounded time (TARSK_FUZZ_SECONDS, default 20) from its seed corpus;
# then the Windows builds with their tests under Wine (tools/test-windows.sh), and the engine as the
# 32-bit x86 build compiles it, under emulation (tools/test-x86-32.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)

# run_suite DIR SANITIZERS BUILD_TYPE [CTEST_ARGS...]
# The sanitizer builds leave the benchmarks out (the release build compiles them).
run_suite() {
  local dir=$1 sanitize=$2 type=$3 bench=ON
  shift 3
  [ -n "$sanitize" ] && bench=OFF
  echo "== ${dir} (${sanitize:-no sanitizer}, ${type}) =="
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DTARSK_SANITIZE="$sanitize" -DTARSK_BENCH="$bench" \
    > "$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600 "$@"
}

run_suite build "" Release
# The editor's screenshots of that run, one per page and per Editor-page tab, for the README.
for shot in summary editor library calculator info settings tab-algo tab-matr tab-filt tab-mod tab-io; do
  if [ -f "build/editor-$shot.png" ]; then
    cp "build/editor-$shot.png" "docs/editor-$shot.png"
  fi
done
# ThreadSanitizer runs what has threads of its own: the effect's lock discipline, the library worker,
# the engine, presets and tools. The factory check plays every program on one thread and the editor
# window tests drive a single-threaded editor through X; the release and ASan builds hold both, under
# ThreadSanitizer they would only cost minutes.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_suite build-tsan thread RelWithDebInfo -LE 'factory|editor' 
ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
  run_suite build-asan "address,undefined" RelWithDebInfo

# Fuzzing: new inputs go to build-fuzz/corpus (the repository's seeds stay as they are); a failing
# input is written as build-fuzz/crash-* and ends the run.
run_fuzz() {
  local dir=build-fuzz seconds=${TARSK_FUZZ_SECONDS:-20}
  echo "== ${dir} (clang libFuzzer with address,undefined; ${seconds} s per target) =="
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARSK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
    > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs"
  local target
  for target in chunk-reader fxp-reader zip-archive settings-text; do
    mkdir -p "$dir/corpus/$target"
    if ! "$dir/tests/fuzz/fuzz-$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -artifact_prefix="$dir/crash-$target-" "$dir/corpus/$target" "tests/fuzz/corpus/$target" \
        > "$dir/fuzz-$target.log" 2>&1; then
      tail -n 60 "$dir/fuzz-$target.log"
      echo "fuzz-$target found a failing input (see $dir/crash-$target-*)"
      return 1
    fi
    echo "fuzz-$target: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$dir/fuzz-$target.log" | tail -n 1)"
  done
}
run_fuzz

# Windows: both DLLs and tarskverb-host.exe cross-built, their unit tests and the comparisons with the
# release build above under Wine.
bash tools/test-windows.sh

# The engine as 32-bit x86 builds compile it, under emulation on a processor without SSE2.
bash tools/test-x86-32.sh
