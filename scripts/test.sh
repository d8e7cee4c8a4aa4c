#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
#   --sanitize   the same build and tests under AddressSanitizer + UndefinedBehaviorSanitizer
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

sanitize=OFF
build="$root/build/test"
if [[ "${1:-}" == "--sanitize" ]]; then
  sanitize=ON
  build="$root/build/asan"
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVKT_SANITIZE=$sanitize -DVKT_BUILD_BENCH=$([[ $sanitize == ON ]] && echo OFF || echo ON)
cmake --build "$build"
if [[ $sanitize == OFF ]]; then
  cmake --build "$build" --target format-check
fi
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
