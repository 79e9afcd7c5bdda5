#!/usr/bin/env bash
# The 32-bit x86 check: the engine as the 32-bit build compiles it (SSE for floats, the x87 unit for
# doubles, only the SSE2 build of the loop with SSE2) and its tests, built for i686 Linux in
# build-x86-32/ and run under qemu-i386 user-mode emulation showing a Pentium III, a processor with
# SSE and without SSE2: the engine must choose the SSE build of the loop by itself, and the three
# builds must agree bit for bit with each other and under any host floating-point state.
#
# This stands in for running the 32-bit Windows DLL's tests under Wine where the kernel runs no 32-bit
# programs at all (Wine's 32-bit loader is one): the emulator runs them without the kernel's help.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
build=build-x86-32
start=$(date +%s)

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARSK_ENGINE_ONLY=ON \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-i686.cmake > "$build.configure.log" 2>&1 \
    || { cat "$build.configure.log"; exit 1; }
fi
cmake --build "$build" -j "$jobs" --target test-engine

echo "== $build: engine tests under qemu-i386 on a processor without SSE2 =="
# The emulator's processor model has no SSE2 in CPUID, so every engine the tests make without naming
# a build plays the SSE build (the explicit comparisons run all three).
QEMU_CPU=pentium3 ctest --test-dir "$build" -L x86-32 --output-on-failure --timeout 600
echo "x86-32 check: $(( $(date +%s) - start )) s"
