#!/usr/bin/env bash
# Checks the names of functions and methods in src/ against .clang-tidy (snake_case, see there).
#   scripts/naming-check.sh BUILD_DIR   (a configured build with compile_commands.json)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: naming-check.sh BUILD_DIR}
tidy=$(command -v run-clang-tidy || command -v run-clang-tidy-14)
# Only our sources; the files the build generates (moc, resources) are not ours.
"$tidy" -quiet -extra-arg=-Wno-unknown-warning-option -p "$build" -j "$(nproc)" "^$root/src/.*\.cpp$" >"$build/naming-check.log" 2>&1 || {
  grep -E "warning:|error:" "$build/naming-check.log" | sort -u
  echo "naming-check: function or method names that are not snake_case (see .clang-tidy)" >&2
  exit 1
}
echo "naming-check: all function and method names in src/ follow .clang-tidy"
