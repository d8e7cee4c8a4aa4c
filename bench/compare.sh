#!/usr/bin/env bash
# The scaling table: dump, sort, export, report and opening in the window at several file sizes,
# ours next to a peer on the same rows, as CPU seconds (user + system) and peak resident memory.
# Each figure is the median of RUNS runs, ours and the peer's interleaved. Measurement files are
# generated once into BUILD_DIR/bench-data and kept.
#   bench/compare.sh [-t TASKS] [BUILD_DIR] [RUNS] [ROWS...]
#     (default: build/test 3 10000 65535 200000 1000000; TASKS a comma-separated subset of
#     dump,sort,export,report,window, all by default)
# Peers: shapelib's dbfdump (dump), coreutils `LC_ALL=C sort -s -g` over the key's values alone,
# one a line, and over the dumped rows each after its key (sort: ours reads and prints every row),
# LibreOffice converting the dumped rows to xls and to PDF (export, report; up to 65,535 rows,
# beyond that it takes minutes), LibreOffice opening the .dbf itself (window).
# Needs: cmake --build BUILD_DIR --target vkt-rs7 make_full_file open_window; /usr/bin/time.
set -euo pipefail
cd "$(dirname "$0")/.."
tasks=dump,sort,export,report,window
if [[ ${1:-} == -t ]]; then
  tasks=$2
  shift 2
fi
wanted() { [[ ,$tasks, == *,$1,* ]]; }
build=${1:-build/test}
runs=${2:-3}
shift 2 2>/dev/null || shift $#
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(10000 65535 200000 1000000)
exe=$build/src/app/vkt-rs7
maker=$build/bench/export/make_full_file
window=$build/bench/ui/open_window
for f in "$exe" "$maker"; do
  [[ -x $f ]] || { echo "missing $f" >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "missing /usr/bin/time (apt-get install time)" >&2; exit 2; }
soffice=$(command -v soffice || true)
data=$build/bench-data
mkdir -p "$data"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
profile="file://$work/profile"

# "cpu_seconds peak_MB" of one command; its output goes to the file named first.
measure() {
  local out=$1
  shift
  /usr/bin/time -f "%U %S %M" -o "$work/t" "$@" >"$out" 2>/dev/null || true
  awk '{ printf "%.2f %.0f\n", $1 + $2, $3 / 1024 }' "$work/t"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
lo="$soffice --headless --norestore -env:UserInstallation=$profile"

# Runs "ours" and "peer" (shell snippets; empty peer for none) RUNS times interleaved and prints
# one table row: ours CPU, ours MB, peer CPU, peer MB.
row() {
  local label=$1 ours=$2 peer=$3 n=$4
  : >"$work/o"
  : >"$work/p"
  for _ in $(seq "$n"); do
    eval "$ours" >>"$work/o"
    if [[ -n $peer ]]; then eval "$peer" >>"$work/p"; fi
  done
  local oc om pc="–" pm="–"
  oc="$(cut -d' ' -f1 "$work/o" | median) s"
  om="$(cut -d' ' -f2 "$work/o" | median) MB"
  if [[ -s $work/p ]]; then
    pc="$(cut -d' ' -f1 "$work/p" | median) s"
    pm="$(cut -d' ' -f2 "$work/p" | median) MB"
  fi
  printf '| %s | %s | %s | %s | %s |\n' "$label" "$oc" "$om" "$pc" "$pm"
}

if [[ -n $soffice ]]; then
  echo x >"$work/warm.csv"
  $lo --convert-to xls --outdir "$work" "$work/warm.csv" >/dev/null 2>&1 || true
fi

echo "| rows, task | ours CPU | ours peak | peer CPU | peer peak |"
echo "|---|---|---|---|---|"
for rows in "${sizes[@]}"; do
  db=$data/rows-$rows.db
  [[ -s $db ]] || "$maker" "$db" "$rows"
  ln -sf "$(realpath "$db")" "$work/t$rows.dbf"
  if wanted export || wanted report; then
    "$exe" dump "$db" >"$work/rows.csv"
  fi
  n=$runs
  [[ $rows -lt 1000000 ]] || n=1
  if wanted sort; then
    # The same values of P and D9, one a line, for coreutils.
    "$exe" dump --format json "$db" >"$work/rows.json"
    grep -o '"P": [^,}]*' "$work/rows.json" | cut -d' ' -f2 >"$work/p.txt"
    grep -o '"D9": [^,}]*' "$work/rows.json" | cut -d' ' -f2 >"$work/d9.txt"
    # And the whole rows as `dump` prints them, each after its key and a tab: what our sort puts
    # in order, for a sort that reads and writes every row as well.
    "$exe" dump "$db" | tail -n +2 >"$work/plain.csv"
    paste "$work/p.txt" "$work/plain.csv" >"$work/p-rows.tsv"
    paste "$work/d9.txt" "$work/plain.csv" >"$work/d9-rows.tsv"
  fi
  if wanted dump; then
    row "$rows dump" "measure /dev/null $exe dump $db" \
      "$(command -v dbfdump >/dev/null && echo "measure /dev/null dbfdump $work/t$rows.dbf")" "$n"
  fi
  if wanted sort; then
    row "$rows dump --sort P" "measure /dev/null $exe dump --sort P $db" \
      "measure /dev/null env LC_ALL=C sort -s -g $work/p.txt" "$n"
    row "$rows dump --sort D9:desc" "measure /dev/null $exe dump --sort D9:desc $db" \
      "measure /dev/null env LC_ALL=C sort -s -g -r $work/d9.txt" "$n"
    row "$rows dump --sort P (peer: rows)" "measure /dev/null $exe dump --sort P $db" \
      "measure /dev/null env LC_ALL=C sort -s -t$'\\t' -k1,1g $work/p-rows.tsv" "$n"
    row "$rows dump --sort D9:desc (peer: rows)" "measure /dev/null $exe dump --sort D9:desc $db" \
      "measure /dev/null env LC_ALL=C sort -s -t$'\\t' -k1,1gr $work/d9-rows.tsv" "$n"
  fi
  if wanted export; then
    head -65536 "$work/rows.csv" >"$work/sheet.csv"
    row "$rows export (≤ 65,535)" "measure /dev/null $exe export $db $work/ours.xls" \
      "$([[ -n $soffice ]] && echo "measure /dev/null $lo --infilter=CSV:44,34,76,1 --convert-to xls --outdir $work/lo $work/sheet.csv")" "$n"
  fi
  if wanted report; then
    rep_peer=""
    if [[ -n $soffice && $rows -le 65535 ]]; then
      rep_peer="measure /dev/null $lo --infilter=CSV:44,34,76,1 --convert-to pdf --outdir $work/lo $work/rows.csv"
    fi
    row "$rows report" "measure /dev/null $exe report $db $work/ours.pdf" "$rep_peer" "$n"
    pages=$(pdfinfo "$work/ours.pdf" 2>/dev/null | awk '/^Pages:/ { print $2 }')
    size=$(stat -c %s "$work/ours.pdf")
    if [[ -n $rep_peer && -s $work/lo/rows.pdf ]]; then
      echo "|   pages, PDF bytes | $pages | $size | $(pdfinfo "$work/lo/rows.pdf" | awk '/^Pages:/ { print $2 }') | $(stat -c %s "$work/lo/rows.pdf") |"
    else
      echo "|   pages, PDF bytes | $pages | $size | – | – |"
    fi
  fi
  if wanted window && [[ -x $window ]]; then
    win_peer=""
    if [[ -n $soffice && $rows -le 200000 ]]; then
      win_peer="measure /dev/null $lo --convert-to csv --outdir $work/lo $work/t$rows.dbf"
    fi
    row "$rows window: open, paint" "measure /dev/null $window $db" "$win_peer" "$n"
    row "$rows window: sort by P" "measure /dev/null $window $db P" "" "$n"
  fi
done
