#!/usr/bin/env bash
# Runs `tarskverb-host validate --quick` over the built plug-in, inside an X server of its own when
# Xvfb is installed so that the editor checks run too.
set -uo pipefail
host=$1
plugin=$2

xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap cleanup EXIT

if command -v Xvfb > /dev/null 2>&1; then
  number=$((500 + $$ % 400))
  Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp > /dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$number" ] && break
    sleep 0.05
  done
  export DISPLAY=":$number"
else
  unset DISPLAY
fi

"$host" validate --quick "$plugin"
