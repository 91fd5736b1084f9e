#!/usr/bin/env bash
# Sets up, builds (Release) and runs the benchmarks: the utility's own engines against a
# minimal POSIX client, both talking to the simulator. Prints a table and PASS/FAIL lines.
#   scripts/bench.sh            full run (about 13 minutes)
#   scripts/bench.sh --quick    one repetition, shorter windows
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${BUILD_DIR:-build-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target varo-bench
QT_QPA_PLATFORM=offscreen "$build/bench/varo-bench" "$@"
