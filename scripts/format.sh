#!/usr/bin/env bash
# Formats every C++ file the repository tracks with clang-format-14 and the committed
# .clang-format.   scripts/format.sh --check   changes nothing and fails on any unformatted file.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  clang-format-14 --dry-run -Werror "${files[@]}"
else
  clang-format-14 -i "${files[@]}"
fi
