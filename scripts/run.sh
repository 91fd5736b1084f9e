#!/usr/bin/env bash
# Sets up, builds and starts the utility. Without a reader given, the reader simulator is
# started on a pseudo-terminal (serial port 2, the default) and on TCP 127.0.0.1:5757, so
# "Connect to Port" works at the default settings.
#   scripts/run.sh                 utility + simulator
#   VARO_COM2=/dev/ttyUSB0 scripts/run.sh   utility talking to a real reader on serial port 2
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target varo-utility varo-sim

sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT

if [ -z "${VARO_COM2:-}" ]; then
  simlog=$(mktemp)
  "$build/sim/varo-sim" --pty --tcp 5757 >"$simlog" &
  sim_pid=$!
  path=""
  for _ in $(seq 50); do
    path=$(awk '$1 == "PTY" { print $2 }' "$simlog")
    [ -n "$path" ] && break
    sleep 0.1
  done
  [ -n "$path" ] || { echo "simulator did not start" >&2; exit 1; }
  export VARO_COM2="$path"
  echo "Reader simulator on serial port 2 ($path) and on TCP 127.0.0.1 port 5757"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting the utility under Xvfb on :99 (take a screenshot with"
  echo "'DISPLAY=:99 import -window root shot.png')."
  Xvfb :99 -screen 0 1024x768x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'cleanup; kill $xvfb_pid 2>/dev/null || true' EXIT
  sleep 1
  export DISPLAY=:99
fi
"$build/src/app/varo-utility"
