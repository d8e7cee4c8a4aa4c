#!/usr/bin/env bash
# Formats our sources with the repository's .clang-format; --check fails on any drift.
set -euo pipefail
cd "$(dirname "$0")/.."
cf=$(command -v clang-format || command -v clang-format-14)
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' | grep -v '^build')
if [[ ${#files[@]} -eq 0 ]]; then
  exit 0
fi
if [[ "${1:-}" == "--check" ]]; then
  "$cf" --dry-run --Werror "${files[@]}"
else
  "$cf" -i "${files[@]}"
fi
