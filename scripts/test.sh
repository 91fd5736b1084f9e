#!/usr/bin/env bash
# Sets up, builds and runs every test: the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then in a normal build, whose executables are then packaged as a
# .deb and the package checked (scripts/package-check.sh).
#   VARO_SKIP_SANITIZER=1 scripts/test.sh   skips the sanitizer pass
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen

echo "== Format check (clang-format-14)"
bash scripts/format.sh --check

run_suite() {
  local build=$1; shift
  cmake -S . -B "$build" -G Ninja -DBUILD_TESTING=ON "$@" >/dev/null
  cmake --build "$build" -j2
  (cd "$build" && ctest --output-on-failure --timeout 300)
}

if [ -z "${VARO_SKIP_SANITIZER:-}" ]; then
  echo "== Sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer) and fuzz runs"
  # Built with clang so the libFuzzer targets come along; each fuzzes for a bounded time.
  # Leak reports are off: Qt keeps allocations alive until exit, and memory growth is covered
  # by the bounded-memory checks of the fault-injection tests.
  CC=clang-14 CXX=clang++-14 \
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVARO_SANITIZE=ON
fi

echo "== Build and tests"
run_suite "${BUILD_DIR:-build}" -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== Debian package (built from the same build, validated, unpacked, run)"
bash scripts/package-check.sh "${BUILD_DIR:-build}"
