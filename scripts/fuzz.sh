#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs each for FUZZ_SECONDS (60 by default) starting from its regression corpus. Inputs found
# along the way go to build/fuzz/found/TARGET (the corpus in the tree is left as it is); a crash
# stops the script with the input that caused it in build/fuzz/crashes.
#   scripts/fuzz.sh [TARGET...]     (default: every target)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
seconds=${FUZZ_SECONDS:-60}

# target name, corpus folder
targets=(
  "dbf_fuzz fuzz/dbf/corpus"
  "mdx_fuzz fuzz/mdx/corpus"
  "image_import_fuzz fuzz/image/corpus"
  "link_session_fuzz fuzz/link/corpus"
  "window_open_fuzz fuzz/ui/corpus"
  "truetype_fuzz fuzz/pdf/corpus"
)
if [[ $# -gt 0 ]]; then
  wanted=("$@")
  chosen=()
  for t in "${targets[@]}"; do
    for w in "${wanted[@]}"; do
      [[ ${t%% *} == "$w" ]] && chosen+=("$t")
    done
  done
  targets=("${chosen[@]}")
fi

flags=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" -DVKT_BUILD_BENCH=OFF)
if command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DVKT_FUZZ=ON -DVKT_SANITIZE=ON "${flags[@]}" >/dev/null
cmake --build "$build" --target $(for t in "${targets[@]}"; do echo "${t%% *}"; done)

export ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen
mkdir -p "$build/crashes"
for t in "${targets[@]}"; do
  name=${t%% *}
  corpus="$root/${t#* }"
  found="$build/found/$name"
  mkdir -p "$found"
  exe=$(find "$build/fuzz" -type f -name "$name" -perm -u+x | head -n 1)
  echo "== $name: ${seconds} s"
  "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/crashes/$name-" "$found" "$corpus" 2>&1 | tail -n 12
done
