#!/usr/bin/env bash
# Runs `tarskverb-host validate --quick` over the built plug-in, inside an X server of its own when
# Xvfb is installed so that the editor checks run too.
set -uo pipefail
host=$1
plugin=$2

xvfb_pid=
number_file=
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  [ -n "$number_file" ] && rm -f "$number_file"
}
trap cleanup EXIT

unset DISPLAY
# Mesa's software rasteriser draws on the calling thread, as in the other editor tests: its own worker
# threads are not built for the thread sanitizer, which reports races inside the driver.
export LP_NUM_THREADS=0 MESA_SHADER_CACHE_DISABLE=true
if command -v Xvfb > /dev/null 2>&1; then
  # Xvfb chooses a free display and writes its number once it accepts connections.
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3> "$number_file" > /dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 200); do
    [ -s "$number_file" ] && break
    sleep 0.05
  done
  if [ -s "$number_file" ]; then
    export DISPLAY=":$(head -n 1 "$number_file")"
  fi
fi

"$host" validate --quick "$plugin"
