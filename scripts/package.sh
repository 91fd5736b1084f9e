#!/usr/bin/env bash
# Builds the Debian package (varo-utility, varo-cli, varo-sim, desktop entry, icon, AppStream
# metainfo, man pages, the Ansible collection, the systemd timers) with CPack; dpkg-shlibdeps
# computes its dependencies. Also builds the Ansible collection archive
# (ostrel-varo-VERSION.tar.gz) in the build folder with ansible-galaxy.
#   scripts/package.sh              builds in build-package (Release) and packages
#   scripts/package.sh BUILD_DIR    packages from an existing build folder (configured if new)
# Prints the path of the .deb on the last line.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
fi
# Reproducible: every file in the package carries the time of the last commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH
cmake --build "$build" -j2 --target varo-utility varo-cli varo-sim varo-man >/dev/null
rm -f "$build"/varo-utility_*.deb
log=$(mktemp)
trap 'rm -f "$log"' EXIT
(cd "$build" && cpack -G DEB >"$log" 2>&1) || { cat "$log" >&2; exit 1; }
rm -f "$build"/ostrel-varo-*.tar.gz
PYTHONDONTWRITEBYTECODE=1 ansible-galaxy collection build packaging/ansible \
  --output-path "$build" --force >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
ls "$build"/ostrel-varo-*.tar.gz
ls "$build"/varo-utility_*.deb
