#!/usr/bin/env bash
# Side by side: our XLS writer against LibreOffice converting a CSV of the same cells
# (65,536 rows × 19 columns). LibreOffice's start-up is measured apart, by converting a one-line
# CSV. Needs a build with benchmarks (bench/xls/xls_workload) and libreoffice-calc-nogui.
#   bench/xls_vs_office.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
workload="$build/bench/xls/xls_workload"
if [[ ! -x "$workload" ]]; then
  echo "missing $workload: configure and build first (cmake --build $build)" >&2
  exit 1
fi
soffice=$(command -v soffice || command -v libreoffice || true)
if [[ -z "$soffice" ]]; then
  echo "LibreOffice is not installed (scripts/install-deps.sh --full)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
profile="file://$work/profile"

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
elapsed() { calc "$2 - $1"; }
convert() {  # CSV -> xls with a fresh office process, as a user's conversion would run
  "$soffice" --headless --norestore "-env:UserInstallation=$profile" \
    --infilter="CSV:44,34,76,1" --convert-to xls --outdir "$work/out" "$1" >/dev/null 2>&1
}

# Ours: build and save, best of three (the CSV for LibreOffice is written on the first run).
"$workload" "$work/ours.xls" "$work/cells.csv" >/dev/null
best=""
for _ in 1 2 3; do
  t=$("$workload" "$work/ours.xls" | awk '$1 == "total" {print $2}')
  if [[ -z "$best" ]] || [[ $(calc "$t < $best") == 1 ]]; then best=$t; fi
done

# LibreOffice: one warm-up run creates the profile; then start-up alone, then the full conversion.
echo "x" >"$work/one.csv"
convert "$work/one.csv"
start=$(now); convert "$work/one.csv"; startup=$(elapsed "$start" "$(now)")
start=$(now); convert "$work/cells.csv"; office=$(elapsed "$start" "$(now)")
if [[ ! -s "$work/out/cells.xls" ]]; then
  echo "LibreOffice produced no workbook" >&2
  exit 1
fi
without=$(calc "$office - $startup")

printf 'cells                        65536 x 19\n'
printf 'ours (build + save)          %.3f s   %s bytes\n' "$best" "$(stat -c %s "$work/ours.xls")"
printf 'LibreOffice CSV -> xls       %.3f s   %s bytes\n' "$office" "$(stat -c %s "$work/out/cells.xls")"
printf '  of which start-up          %.3f s\n' "$startup"
printf '  without start-up           %.3f s\n' "$without"
printf 'ratio LibreOffice / ours     %.1f x (%.1f x without start-up)\n' \
  "$(calc "$office / $best")" "$(calc "$without / $best")"
