#!/usr/bin/env bash
# Builds the plug-in and runs every test: a release build, then the same tests under
# ThreadSanitizer and under AddressSanitizer with UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {
  local dir=$1 sanitize=$2 type=$3
  echo "== ${dir} (${sanitize:-no sanitizer}, ${type}) =="
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DTARSK_SANITIZE="$sanitize" > "$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
}

run_suite build "" Release
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_suite build-tsan thread RelWithDebInfo
ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
  run_suite build-asan "address,undefined" RelWithDebInfo
