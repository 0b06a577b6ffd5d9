#!/usr/bin/env bash
# The merge benchmark (./dev bench): the native build, with SQLite's upsert beside our merge,
# then the Windows build under Wine (ours alone). Each prints its table and its targets.
#   tools/bench.sh [bench_merge options]     e.g. --sizes 1000,10000 or --quick
# Results: build/bench/merge.csv (native) and build/bench/merge-windows.csv (Windows).
# PQ_BENCH_NATIVE and PQ_BENCH_WINDOWS choose other build folders (default build/native and
# build/windows); PQ_BENCH_SKIP_WINDOWS=1 runs the native build alone.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export PQ_ROOT="$ROOT"
source "$ROOT/tools/wine-env.sh"
NATIVE="${PQ_BENCH_NATIVE:-$ROOT/build/native}"
WINDOWS="${PQ_BENCH_WINDOWS:-$ROOT/build/windows}"
OUT="$ROOT/build/bench"
mkdir -p "$OUT"

need() { [ -f "$1" ] || { echo "bench.sh: $1 is missing (./dev build makes it)" >&2; exit 1; }; }
need "$NATIVE/bin/bench_merge"
[ -n "${PQ_BENCH_SKIP_WINDOWS:-}" ] || need "$WINDOWS/bin/bench_merge.exe"

echo "== native (g++), $(nproc) cores, $(uname -r)"
t0=$SECONDS
"$NATIVE/bin/bench_merge" --dir "$OUT/native" --csv "$OUT/merge.csv" "$@"
echo "(native run: $((SECONDS - t0)) s)"

if [ -z "${PQ_BENCH_SKIP_WINDOWS:-}" ]; then
  echo
  echo "== Windows (mingw-w64) under $(wine --version 2>/dev/null || echo Wine)"
  t0=$SECONDS
  # Wine's drive Z: is the Linux root.
  "$ROOT/tools/with-display" wine "$WINDOWS/bin/bench_merge.exe" --dir "Z:$OUT/windows" \
    --csv "Z:$OUT/merge-windows.csv" "$@"
  echo "(Windows run: $((SECONDS - t0)) s)"
fi
