#!/usr/bin/env bash
# Times `vkt-rs7 export` of a full device A file (65,535 rows) as a whole process, next to the
# XLS writer's own build-and-save figure for a sheet of the same size; the difference is what
# start-up, opening the file and walking the table cost. Target: under 1 s.
#   bench/export/export_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
exe=$build/src/app/vkt-rs7
maker=$build/bench/export/make_full_file
workload=$build/bench/xls/xls_workload
for f in "$exe" "$maker" "$workload"; do
  [[ -x $f ]] || { echo "missing $f: cmake --build $build --target vkt-rs7 make_full_file xls_workload" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$maker" "$work/full.db"

best_export=
for _ in $(seq "$runs"); do
  t=$( { TIMEFORMAT=%R; time "$exe" export "$work/full.db" "$work/full.xls"; } 2>&1 )
  best_export=$(awk -v a="$t" -v b="$best_export" 'BEGIN { print (b == "" || a < b) ? a : b }')
done

best_writer=
for _ in $(seq "$runs"); do
  t=$("$workload" "$work/writer.xls" | awk '/^total/ {print $2}')
  best_writer=$(awk -v a="$t" -v b="$best_writer" 'BEGIN { print (b == "" || a < b) ? a : b }')
done

rows=$(/usr/bin/python3 -c "import xlrd,sys; print(xlrd.open_workbook(sys.argv[1]).sheet_by_index(0).nrows)" "$work/full.xls" 2>/dev/null || echo "?")
printf 'rows in sheet (with header)   %s\n' "$rows"
printf 'xls size                      %s bytes\n' "$(stat -c %s "$work/full.xls")"
printf 'vkt-rs7 export, whole process %.3f s (best of %d)\n' "$best_export" "$runs"
printf 'XLS writer build+save alone   %.3f s (best of %d)\n' "$best_writer" "$runs"
awk -v e="$best_export" -v w="$best_writer" 'BEGIN {
  printf "start-up, open, table walk    %.3f s\n", e - w
  print (e < 1.0) ? "target (< 1 s): met" : "target (< 1 s): MISSED"
}'
