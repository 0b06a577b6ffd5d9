#!/usr/bin/env bash
# CI smoke test of the merge benchmark: a tiny host (300 records, a package of 30) of each
# kind through the whole benchmark, SQLite anchor included. Fails when the program fails (it
# checks the merged tables itself) or when its CSV lacks the header or a row. Takes seconds;
# the real measurements are ./dev bench.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
EXE="${PQ_BENCH_NATIVE:-$ROOT/build/native}/bin/bench_merge"
[ -x "$EXE" ] || { echo "bench-smoke: $EXE is missing" >&2; exit 1; }
WORK="$ROOT/build/bench/smoke"
rm -rf "$WORK"
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT
"$EXE" --quick --dir "$WORK" --csv "$WORK/merge.csv" >"$WORK/out.txt" 2>&1 || {
  cat "$WORK/out.txt" >&2
  echo "bench-smoke: bench_merge failed" >&2
  exit 1
}
header='kind,N,M,ours_s,sqlite_s,ratio,us_per_record,bytes_written,seqwrite_ratio,peak_rss_mib'
[ "$(head -n 1 "$WORK/merge.csv")" = "$header" ] || { echo "bench-smoke: bad CSV header" >&2; exit 1; }
for kind in questions figures; do
  # Every column filled with a number (the SQLite columns included, natively).
  grep -Eq "^$kind,300,30(,[0-9]+(\.[0-9]+)?){7}\$" "$WORK/merge.csv" || {
    cat "$WORK/merge.csv" >&2
    echo "bench-smoke: no complete $kind row" >&2
    exit 1
  }
done
echo "bench-smoke: ok"
