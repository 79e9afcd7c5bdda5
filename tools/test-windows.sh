#!/usr/bin/env bash
# The Windows stage of the tests: builds build-win32/ and build-win64/ (tools/build-windows.sh), then,
# under Wine, runs each build's unit tests and checks tarskverb-host.exe against the Linux build in
# build/ (made by tools/run-tests.sh before this stage, or here when missing):
#   render  the demo signal through each tarskverb.dll matches the Linux render within -100 dBFS;
#   info    and list print what the Linux host prints for the Linux plug-in;
#   editor  --screenshot under Xvfb opens, draws and closes the editor (Win32 window, WGL context),
#           and its picture is the Linux editor's.
# Where the kernel runs no 32-bit programs (Wine's 32-bit loader is one), the win32 build is built
# but not run.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
native=${TARSK_NATIVE_BUILD:-build}
out=build-windows-check
export WINEPREFIX=${WINEPREFIX:-$PWD/build-windows-wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer dialogs
# Mesa under Xvfb: no rasteriser threads, no shader cache in the home folder.
export LP_NUM_THREADS=0 MESA_SHADER_CACHE_DISABLE=true

# Debian's wine wrapper starts the 32-bit loader first; 64-bit programs go to the 64-bit loader
# directly, so that they also run where the kernel runs no 32-bit programs.
wine64=wine64
wineserver=wineserver
[ -x /usr/lib/wine/wine64 ] && wine64=/usr/lib/wine/wine64
[ -x /usr/lib/wine/wineserver64 ] && wineserver=/usr/lib/wine/wineserver64
# 32-bit Windows programs need Wine's 32-bit loader, a 32-bit Linux program.
# (Debian's wine wrapper falls back to the 64-bit loader when the 32-bit one is not installed, so the
# 32-bit loader itself is asked.)
wine32=/usr/lib/wine/wine
# Where the kernel runs 32-bit programs only through an emulator registered with binfmt_misc
# (qemu-i386), the 32-bit loader answers but takes many minutes per program: as good as not running.
i386_emulated() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] && grep -qs '^enabled' "$entry" && grep -qs '^interpreter .*qemu-i386' "$entry" && return 0
  done
  return 1
}
runnable=(win64)
if [ -x "$wine32" ] && ! i386_emulated && "$wine32" --version > /dev/null 2>&1; then
  runnable=(win32 win64)
else
  echo "SKIPPED: no 32-bit Wine runs here (wine32 not installed, or a kernel without 32-bit programs): the win32 build is built only"
fi
wine_for() { if [ "$1" = win64 ]; then echo "$wine64"; else echo "$wine32"; fi; }

start=$(date +%s)
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

if [ ! -x "$native/tarskverb-host" ] || [ ! -f "$native/tarskverb.so" ] || [ ! -x "$native/tools/make-demo-signal" ]; then
  cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release > "$native.configure.log" 2>&1 \
    || { cat "$native.configure.log"; exit 1; }
  cmake --build "$native" -j "$jobs" --target tarskverb tarskverb-host make-demo-signal
fi
# A build that cannot run here is built without its test programs.
if [ ${#runnable[@]} -eq 2 ]; then
  bash tools/build-windows.sh win32 win64
else
  TARSK_WINDOWS_TESTS=OFF bash tools/build-windows.sh win32
  bash tools/build-windows.sh win64
fi

# One 64-bit prefix runs the programs of both builds (32-bit ones through its WoW64 part).
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== making the Wine prefix $WINEPREFIX =="
  WINEARCH=win64 "$wine64" wineboot --init > /dev/null 2>&1 || true
  "$wineserver" --wait 2> /dev/null || true
fi

for name in "${runnable[@]}"; do
  echo "== build-$name: unit tests under Wine =="
  ctest --test-dir "build-$name" -L windows --output-on-failure -j "$jobs" --timeout 300 || fail "build-$name unit tests"
done

# The 32-bit DLL must run on processors with SSE only: outside the SSE2 build of the loop (its index
# policy, and the shared body's helpers, which each build's file compiles as its own internal copies:
# the SSE file is compiled without SSE2, so those holding SSE2 are the SSE2 file's) no function may
# hold an SSE2 instruction.
echo "== build-win32: SSE2 instructions only in the SSE2 loop =="
sse2_functions=$(i686-w64-mingw32-objdump -d --no-show-raw-insn build-win32/tarskverb.dll | awk '
  /^[0-9a-f]+ <.*>:$/ { name = $2; next }
  /%xmm/ {
    split($0, parts, "\t"); split(parts[2], words, " ")
    if (words[1] ~ /^(movdq[au]|movq|movd|padd|psub|pand|por|pxor|pcmp|pmul|psll|psrl|psra|pshuf|punpck|pack|pmax|pmin|pavg|psad|cvtps2dq|cvttps2dq|cvtdq2p|cvtpd|cvttpd|cvtsd2|cvttsd2|cvtsi2sd|cvtss2sd|addsd|subsd|mulsd|divsd|sqrtsd|maxsd|minsd|movsd|ucomisd|comisd|andn?pd|orpd|xorpd|mov[au]pd|unpck.pd|shufpd|addpd|subpd|mulpd|divpd|mov[hl]pd|movnt|pextrw|pinsrw|pmovmskb|movmskpd)/)
      used[name] = 1
  }
  END { for (n in used) print n }')
allowed='Sse2Indices|4simd12_GLOBAL__N_1'
outside=$(printf '%s\n' "$sse2_functions" | grep -v '^$' | grep -Ev "$allowed" || true)
echo "functions with SSE2 instructions: $(printf '%s\n' "$sse2_functions" | grep -c . || true), outside the SSE2 loop: $(printf '%s\n' "$outside" | grep -c . || true)"
[ -z "$outside" ] || { printf '%s\n' "$outside" | head; fail "build-win32 holds SSE2 instructions outside the SSE2 loop"; }

mkdir -p "$out"
"$native/tools/make-demo-signal" "$out/demo-dry.wav"
"$native/tarskverb-host" render "$native/tarskverb.so" "$out/demo-dry.wav" "$out/demo-wet-linux.wav" > /dev/null
# Info and list without the lines that name the file.
"$native/tarskverb-host" info "$native/tarskverb.so" | grep -v '^plug-in:' > "$out/info-linux.txt"
"$native/tarskverb-host" list "$native/tarskverb.so" > "$out/list-linux.txt"

# The peak of the difference of two sound files in dBFS ("-inf" when they are equal).
difference_peak() {
  sox -m -v 1 "$1" -v -1 "$2" -n stats 2>&1 | awk '/^Pk lev dB/ { print $4 }'
}

for name in "${runnable[@]}"; do
  host="$(wine_for "$name") build-$name/tarskverb-host.exe"
  plugin="build-$name/tarskverb.dll"
  echo "== build-$name: tarskverb-host.exe render, info, list =="
  if $host render "$plugin" "$out/demo-dry.wav" "$out/demo-wet-$name.wav" > "$out/render-$name.log" 2>&1; then
    if [ "$(soxi -s "$out/demo-wet-$name.wav")" != "$(soxi -s "$out/demo-wet-linux.wav")" ]; then
      fail "build-$name render: the length differs from the Linux render"
    fi
    peak=$(difference_peak "$out/demo-wet-linux.wav" "$out/demo-wet-$name.wav")
    echo "render: largest difference from the Linux render ${peak} dBFS"
    if [ "$peak" != "-inf" ] && ! awk -v p="$peak" 'BEGIN { exit !(p <= -100) }'; then
      fail "build-$name render differs from the Linux render by ${peak} dBFS (limit -100)"
    fi
  else
    cat "$out/render-$name.log"
    fail "build-$name render"
  fi
  $host info "$plugin" 2>&1 | tr -d '\r' | grep -v '^plug-in:' > "$out/info-$name.txt" || true
  diff -u "$out/info-linux.txt" "$out/info-$name.txt" || fail "build-$name info differs from the Linux host's"
  $host list "$plugin" 2>&1 | tr -d '\r' > "$out/list-$name.txt" || true
  diff -u "$out/list-linux.txt" "$out/list-$name.txt" > /dev/null || fail "build-$name list differs from the Linux host's"
  echo "info, list: as the Linux host prints them"
done

# The editor: a Win32 child window with a WGL context inside tarskverb-host.exe's frame, under Xvfb.
# Its screenshot must show the editor: many colours, and the picture of the Linux editor (the same
# program on the same renderer) but for a few pixels.
min_editor_colours=64
max_editor_pixels_off=2048  # 1% of 640x320, at more than 5% colour distance
# Wine 8.0 leaves a GL child window's picture off the screen (winex11 copies each frame to drawable 0);
# tools/wine-gl-child-copy.cpp, preloaded into Wine, gives that copy the frame's X window. It is built
# for 64-bit Wine; a 32-bit one gets it when a 32-bit build of it links here.
declare -A gl_copy_library=()
if g++ -std=c++20 -O2 -shared -fPIC -o "$out/wine-gl-child-copy.so" tools/wine-gl-child-copy.cpp -lX11 -ldl; then
  gl_copy_library[win64]="$PWD/$out/wine-gl-child-copy.so"
else
  fail "tools/wine-gl-child-copy.cpp does not build"
fi
if g++ -m32 -std=c++20 -O2 -shared -fPIC -o "$out/wine-gl-child-copy-32.so" tools/wine-gl-child-copy.cpp -lX11 -ldl \
    > /dev/null 2>&1; then
  gl_copy_library[win32]="$PWD/$out/wine-gl-child-copy-32.so"
fi
display=$(( 200 + $$ % 500 ))
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2> /dev/null || true' EXIT
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.1
done
# The Linux editor's picture, to compare with (with no settings or user programs of this machine's user).
linux_shot="$out/editor-linux.png"
rm -rf "$linux_shot" "$out/editor-linux-home"
mkdir -p "$out/editor-linux-home/config" "$out/editor-linux-home/data"
DISPLAY=":$display" XDG_CONFIG_HOME="$PWD/$out/editor-linux-home/config" XDG_DATA_HOME="$PWD/$out/editor-linux-home/data" \
  timeout 60 "$native/tarskverb-host" editor --screenshot "$linux_shot" --frames 10 \
  "$native/tarskverb.so" > "$out/editor-linux.log" 2>&1 || { cat "$out/editor-linux.log"; fail "Linux editor --screenshot"; }
# A Wine session started without a display (the prefix and the unit tests above) cannot make windows
# later: end it, so that the editor's programs start a session on the Xvfb display.
"$wineserver" --kill 2> /dev/null || true
"$wineserver" --wait 2> /dev/null || true
for name in "${runnable[@]}"; do
  echo "== build-$name: tarskverb-host.exe editor --screenshot under Xvfb =="
  shot="$out/editor-$name.png"
  rm -f "$shot"
  step_start=$(date +%s)
  if DISPLAY=":$display" LD_PRELOAD="${gl_copy_library[$name]:-}" timeout 120 "$(wine_for "$name")" \
      "build-$name/tarskverb-host.exe" editor --screenshot "$shot" --frames 10 "build-$name/tarskverb.dll" \
      > "$out/editor-$name.log" 2>&1 && [ -f "$shot" ]; then
    size=$(identify -format '%wx%h' "$shot")
    colours=$(convert "$shot" -format %k info:)
    echo "editor: opened, drew and closed in $(( $(date +%s) - step_start )) s; screenshot ${size}, ${colours} colours"
    [ "$size" = "640x320" ] || fail "build-$name editor window is ${size}, not the editor's 640x320"
    if [ -z "${gl_copy_library[$name]:-}" ]; then
      echo "SKIPPED: the picture (no $name build of tools/wine-gl-child-copy.cpp: Wine shows no GL child window)"
    elif [ "$colours" -lt "$min_editor_colours" ]; then
      fail "build-$name editor screenshot has ${colours} colours (at least ${min_editor_colours}): it does not show the editor"
    elif [ -f "$linux_shot" ]; then
      # compare prints the count of differing pixels (and exits 1 when there are any).
      off=$(compare -metric AE -fuzz 5% "$linux_shot" "$shot" null: 2>&1 || true)
      echo "editor: ${off} pixels differ from the Linux editor's picture"
      if ! [[ "$off" =~ ^[0-9]+$ ]] || [ "$off" -gt "$max_editor_pixels_off" ]; then
        fail "build-$name editor screenshot differs from the Linux editor's in ${off} pixels (at most ${max_editor_pixels_off})"
      fi
    fi
  else
    cat "$out/editor-$name.log"
    fail "build-$name editor --screenshot"
  fi
done
"$wineserver" --kill 2> /dev/null || true
kill "$xvfb" 2> /dev/null || true
trap - EXIT

echo "Windows stage: $(( $(date +%s) - start )) s"
if [ "$failures" -ne 0 ]; then
  echo "$failures Windows check(s) failed"
  exit 1
fi
echo "Windows stage passed"
