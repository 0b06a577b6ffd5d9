#!/usr/bin/env bash
# The merge benchmark (./dev bench): the native build, with SQLite's upsert beside our merge,
# then the Windows build under Wine (ours alone). Each prints its table and its targets.
#   tools/bench.sh [bench_merge options]     e.g. --sizes 1000,10000 or --quick
# Then, when the installer is built, the full installation under Wine: 8 x 2,000 questions and
# 8 x 500 figures into a host of 8 x 20,000 and 8 x 5,000, timed from Sim to the completion box,
# with the longest gap between two processed message batches; then once more on fresh tables
# with the gap messages 20 ms apart, for the time without their load.
# Results: build/bench/merge.csv (native), build/bench/merge-windows.csv (Windows),
# build/bench/install-windows.csv (the installation) and install-windows-paced.csv (the paced
# one).
# PQ_BENCH_NATIVE and PQ_BENCH_WINDOWS choose other build folders (default build/native and
# build/windows); PQ_BENCH_SKIP_WINDOWS=1 runs the native build alone, PQ_BENCH_SKIP_INSTALL=1
# leaves the installation out.
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

if [ -z "${PQ_BENCH_SKIP_WINDOWS:-}" ] && [ -z "${PQ_BENCH_SKIP_INSTALL:-}" ]; then
  echo
  if [ ! -f "$WINDOWS/bin/InstalaPacote.exe" ] || [ ! -f "$WINDOWS/bin/bench_install.exe" ]; then
    echo "== installation: skipped ($WINDOWS/bin/InstalaPacote.exe or bench_install.exe missing)"
    exit 0
  fi
  sizes=()
  title="8 x 2,000 questions and 8 x 500 figures into 8 x 20,000 and 8 x 5,000"
  for a in "$@"; do
    if [ "$a" = --quick ]; then
      sizes=(--host-questions 200 --host-figures 50 --package-questions 20 --package-figures 5)
      title="8 x 20 questions and 8 x 5 figures into 8 x 200 and 8 x 50 (--quick)"
    fi
  done
  echo "== installation under Wine: $title"
  case_dir="$OUT/install"
  host="$case_dir/host/Farol Exames"
  winpath() { echo "Z:$1" | tr / '\\'; }
  # One installation on freshly made tables; extra bench_install options come after the CSV.
  install_once() {
    local csv=$1
    shift
    rm -rf "$case_dir"
    mkdir -p "$host" "$case_dir/medium"
    local t0=$SECONDS
    "$NATIVE/bin/make_install_case" --host "$host" --medium "$case_dir/medium" "${sizes[@]}"
    cp "$WINDOWS/bin/InstalaPacote.exe" "$WINDOWS/bin/DERodede.dll" "$case_dir/medium/"
    sync
    echo "(tables made in $((SECONDS - t0)) s, not timed)"
    "$ROOT/tools/with-display" wine "$WINDOWS/bin/bench_install.exe" \
      --medium "$(winpath "$case_dir/medium")" --host "$(winpath "$host")" \
      --csv "$(winpath "$csv")" "$@"
    "$NATIVE/bin/make_install_case" --host "$host" --medium "$case_dir/medium" "${sizes[@]}" --verify
  }
  install_once "$OUT/install-windows.csv"
  awk -F, 'NR == 2 { printf "target: installation %.1f s < 30 s: %s\n", $1, ($1 < 30 ? "PASS" : "FAIL") }' \
    "$OUT/install-windows.csv"
  # The messages that measure the gaps cost the installer a round trip through Wine's server
  # each; spaced 20 ms apart they show what the installation takes without that load.
  echo "== the same installation with 20 ms between two messages (time only; gaps unseen)"
  install_once "$OUT/install-windows-paced.csv" --pause 20
  rm -rf "$case_dir"
fi
