#!/usr/bin/env bash
# Checks that the project's own C and C++ sources are as clang-format (.clang-format) leaves
# them; with --fix, formats them in place. Files found so far by the fuzzers are not sources.
# Usage: bash tools/check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- core audiounit Wickerlamp ui plugin host app tools tests bench |
  grep -E '\.(c|cpp|h)$' | grep -v '/crashes/')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
else
  clang-format --dry-run --Werror "${files[@]}"
  echo "${#files[@]} files formatted as .clang-format says"
fi
