#!/usr/bin/env bash
# Installs what is missing, builds the program (Release) and starts it.
# Arguments are passed on to the program, e.g. scripts/run.sh --demo, scripts/run.sh --help.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVKT_BUILD_TESTS=OFF -DVKT_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target vkt-rs7
exec "$build/src/app/vkt-rs7" "$@"
