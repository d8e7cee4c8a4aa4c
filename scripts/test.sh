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

# Line tables are enough for readable failures and stack traces, and build much faster than full
# debug information; the sanitizer build runs at -O1, as the sanitizers recommend.
if [[ $sanitize == ON ]]; then
  flags=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" -DVKT_BUILD_BENCH=ON)
else
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DVKT_BUILD_BENCH=ON)
fi
# A compiler cache makes rebuilds of an unchanged tree quick (one cache per tree: paths stay absolute).
if command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DVKT_SANITIZE=$sanitize "${flags[@]}"
cmake --build "$build"
if [[ $sanitize == OFF ]]; then
  cmake --build "$build" --target format-check
  cmake --build "$build" --target naming-check
fi
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
