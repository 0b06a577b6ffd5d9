#!/usr/bin/env bash
# The kill harness, in two modes.
#
# Merge mode: the merge is killed at random moments, natively (kill_merge, SIGKILL) and as the
# real installer under Wine (kill_install, TerminateProcess); after each kill every host table
# is judged.
#
# Structural mode (kill_struct): a seeded stream of changes to tables with long keys and small
# blocks (two and three index entries a block): inserts in the middle and at one place, deletes,
# key changes and blob replacements, so that the saves split data and index blocks, add index
# levels (and rebuild the index), reuse freed blocks and move blobs. Each run is killed at a
# chosen write: the kill points are spread evenly over the writes of the whole stream, every
# other one tearing a long write at one of the file's 4 KiB page boundaries. Then, before
# recovery, pdxtool check --no-recover counts it "valid before recovery"; kill_struct verify
# recovers the table and checks it (the engine's check, its warnings too, and every record
# against the model after the saves that had returned); pdxtool check judges the result. The
# full run then stresses the same stream in memory for a minute (kill_struct stress).
#
#   tools/reliability.sh [full]      full: 60 native and 8 Wine kills, 240 structural kills;
#                                    else 6, 2 and 8 (test step)
#
# After each kill of the merge mode:
#   1. before any recovery, on a copy of the host: pdxtool check --no-recover and pxlib (.DB
#      through its .PX) on every table; all of them passing counts as "valid before recovery"
#      (the host application opens the tables without our engine, so without its recovery);
#   2. rel_check verify opens each table for writing with the engine (which undoes an
#      unfinished save), then checks it (engine, pxlib) and its records: every record whose
#      save had returned before the kill holds its new values, nothing else changed;
#   3. pdxtool check on every recovered table.
# Any problem is a failure. The last line gives both modes, each as "kills: K, failures: F,
# valid before recovery: V":
#   merge: kills: K, failures: F, valid before recovery: V; structural: kills: K, ...
# the exit status is 1 when either F > 0.
#
# PQ_REL_NATIVE, PQ_REL_WINDOWS: build folders (default build/native, build/windows);
# PQ_REL_SEED: the random seed (printed); PQ_REL_SKIP_WINE=1: native kills only.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export PQ_ROOT="$ROOT"
source "$ROOT/tools/wine-env.sh"
NATIVE="${PQ_REL_NATIVE:-$ROOT/build/native}"
WINDOWS="${PQ_REL_WINDOWS:-$ROOT/build/windows}"
if [ "${1:-}" = full ]; then
  NATIVE_KILLS=60 WINE_KILLS=8 STRUCT_KILLS=240 STRESS_SECONDS=60
else
  NATIVE_KILLS=6 WINE_KILLS=2 STRUCT_KILLS=8 STRESS_SECONDS=0
fi
# The installer's windows need a display: without one, the whole run gets a private one.
if [ -z "${DISPLAY:-}" ] && [ -z "${PQ_REL_SKIP_WINE:-}" ] && [ "$WINE_KILLS" -gt 0 ]; then
  exec "$ROOT/tools/with-display" bash "$0" "$@"
fi
SEED="${PQ_REL_SEED:-$(( $(date +%s) % 32768 ))}"
RANDOM=$SEED
WORK="$ROOT/build/reliability/run-$$"
KM="$NATIVE/bin/kill_merge"
CHECK="$NATIVE/bin/rel_check"
PDX="$NATIVE/bin/pdxtool"
KS="$NATIVE/bin/kill_struct"
for exe in "$KM" "$CHECK" "$PDX" "$KS"; do
  [ -x "$exe" ] || { echo "reliability: $exe is missing (build the native preset)" >&2; exit 1; }
done
rm -rf "$WORK"
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT

KILLS=0 FAILURES=0 VALID=0 UNDONE=0

log() { printf '[reliability] %s\n' "$*"; }

# A random number of milliseconds in [0, max).
random_ms() { echo $(( (RANDOM * 32768 + RANDOM) % $1 )); }

# The tables of a host folder.
tables() { find "$1/Dados" -name '*.db' | sort; }

# 1: every table of a copy of the host as the kill left it, read without recovery.
valid_before_recovery() {
  local host=$1 raw="$WORK/raw" ok=0
  rm -rf "$raw"
  cp -a "$host" "$raw"
  while read -r t; do
    "$PDX" check --no-recover "$t" >/dev/null 2>&1 || ok=1
    "$CHECK" pxlib "$t" >/dev/null 2>&1 || ok=1
  done < <(tables "$raw")
  return $ok
}

# 2 and 3: recovered, then judged. Prints the problems; returns 1 on any.
judge() {
  local host=$1 before=$2 package=$3 out
  shift 3
  local bad=0
  if ! out=$("$CHECK" verify "$host" "$before" "$package" "$@" 2>&1); then
    printf '%s\n' "$out" | grep -v '^applied' | sed 's/^/    /'
    bad=1
  fi
  APPLIED=$(printf '%s\n' "$out" | sed -n 's/^applied \([0-9]* of [0-9]*\),.*/\1/p')
  local undone
  undone=$(printf '%s\n' "$out" | sed -n 's/.*, undone \([0-9]*\)$/\1/p')
  UNDONE=$((UNDONE + ${undone:-0}))
  while read -r t; do
    if ! out=$("$PDX" check "$t" 2>&1); then
      printf '%s\n' "$out" | sed 's/^/    /'
      bad=1
    fi
  done < <(tables "$host")
  return $bad
}

# One verdict per kill.
count() {
  local what=$1 valid=$2 judged=$3
  KILLS=$((KILLS + 1))
  [ "$valid" = 0 ] && VALID=$((VALID + 1))
  if [ "$judged" != 0 ]; then
    FAILURES=$((FAILURES + 1))
    log "FAILED: $what"
  fi
}

log "seed $SEED; $NATIVE_KILLS native kills, $WINE_KILLS under Wine"

# ---- native: kill_merge, killed with SIGKILL ----
TEMPLATE="$WORK/template"
"$KM" make "$TEMPLATE/host" "$TEMPLATE/package" --subjects 4 --questions 400 300 \
  --figures 40 30 --picture 6000
trial() {
  rm -rf "$WORK/trial"
  mkdir -p "$WORK/trial"
  cp -a "$TEMPLATE/host" "$WORK/trial/host"
}

# A reference run: the whole merge, its duration, and the judge on a completed merge.
trial
start=$(date +%s%N)
"$KM" merge "$WORK/trial/host" "$TEMPLATE/package" >"$WORK/trial/log"
TOTAL_MS=$(( ($(date +%s%N) - start) / 1000000 + 1 ))
SAVES=$(grep -c '^saved' "$WORK/trial/log")
if ! judge "$WORK/trial/host" "$TEMPLATE/host" "$TEMPLATE/package" --complete; then
  FAILURES=$((FAILURES + 1))
  log "FAILED: the uninterrupted merge"
fi
log "native merge: $SAVES saves in $TOTAL_MS ms"

k=0 tries=0
while [ $k -lt "$NATIVE_KILLS" ] && [ $tries -lt $((NATIVE_KILLS * 3)) ]; do
  tries=$((tries + 1))
  trial
  delay=$(random_ms "$TOTAL_MS")
  "$KM" merge "$WORK/trial/host" "$TEMPLATE/package" >"$WORK/trial/log" 2>&1 &
  pid=$!
  # The kill's moment: a random point of the merge (a chosen time, not a wait for anything).
  sleep "$(awk -v ms="$delay" 'BEGIN { printf "%.3f", ms / 1000 }')"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if grep -q '^done' "$WORK/trial/log"; then
    log "native run at $delay ms: the merge had completed; not a kill, again"
    continue
  fi
  k=$((k + 1))
  saved=$(grep -c '^saved' "$WORK/trial/log" || true)
  valid=0
  valid_before_recovery "$WORK/trial/host" || valid=1
  judged=0
  judge "$WORK/trial/host" "$TEMPLATE/host" "$TEMPLATE/package" --saved "$saved" || judged=1
  log "native kill $k at $delay ms: $saved saves returned, ${APPLIED:-?} applied," \
    "$([ $valid = 0 ] && echo valid || echo invalid) before recovery"
  count "native kill $k" $valid $judged
done
[ $k -eq "$NATIVE_KILLS" ] || { log "FAILED: only $k native kills landed in the merge"; FAILURES=$((FAILURES + 1)); }

# ---- Wine: the real installer, terminated by kill_install ----
run_wine() {
  local INSTALLER="$WINDOWS/bin/InstalaPacote.exe" DRIVER="$WINDOWS/bin/kill_install.exe"
  local LIBRARY="$WINDOWS/bin/scripted/DERodede.dll"
  for exe in "$INSTALLER" "$DRIVER" "$LIBRARY"; do
    [ -f "$exe" ] || { log "FAILED: $exe is missing (build the Windows preset)"; return 1; }
  done
  local WT="$WORK/wine-template"
  "$KM" make "$WT/host/Farol Exames" "$WT/Questoes" --subjects 2 --questions 300 150 \
    --figures 20 12 --picture 6000
  wine_trial() {
    rm -rf "$WORK/wine"
    mkdir -p "$WORK/wine/medium"
    cp -a "$WT/host" "$WORK/wine/host"
    cp "$INSTALLER" "$LIBRARY" "$WORK/wine/medium/"
    cp -a "$WT/Questoes" "$WORK/wine/medium/Questoes"
  }
  local medium host out
  wine_trial
  medium=$(winepath -w "$WORK/wine/medium" 2>/dev/null)
  host=$(winepath -w "$WORK/wine/host/Farol Exames" 2>/dev/null)
  out=$(wine "$DRIVER" "$medium" "$host" done 2>/dev/null | tr -d '\r')
  local wine_ms
  wine_ms=$(sed -n 's/^completed \([0-9]*\)$/\1/p' <<<"$out")
  if [ -z "$wine_ms" ]; then
    log "FAILED: the uninterrupted installation: $out"
    return 1
  fi
  if ! judge "$WORK/wine/host/Farol Exames" "$WT/host/Farol Exames" "$WT/Questoes" --complete ||
    [ -s "$WORK/wine/medium/derodede.log" ]; then
    log "FAILED: the uninterrupted installation's tables or reports"
    FAILURES=$((FAILURES + 1))
  fi
  log "installer under Wine: merge in $wine_ms ms"
  local k=0 tries=0 delay valid judged
  while [ $k -lt "$WINE_KILLS" ] && [ $tries -lt $((WINE_KILLS * 3)) ]; do
    tries=$((tries + 1))
    wine_trial
    delay=$(random_ms "$wine_ms")
    out=$(wine "$DRIVER" "$medium" "$host" "$delay" 2>/dev/null | tr -d '\r')
    if [ "$out" = completed ]; then
      log "Wine run at $delay ms: the installation had completed; not a kill, again"
      continue
    fi
    if ! [[ "$out" =~ ^killed\ ([0-9]+)\ ([0-9]+)$ ]]; then
      log "FAILED: the installer could not be driven: $out"
      FAILURES=$((FAILURES + 1))
      continue
    fi
    k=$((k + 1))
    valid=0
    valid_before_recovery "$WORK/wine/host/Farol Exames" || valid=1
    judged=0
    judge "$WORK/wine/host/Farol Exames" "$WT/host/Farol Exames" "$WT/Questoes" \
      --at-least "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" || judged=1
    if [ -s "$WORK/wine/medium/derodede.log" ]; then
      log "the error-report library was called:"
      sed 's/^/    /' "$WORK/wine/medium/derodede.log"
      judged=1
    fi
    log "Wine kill $k at $delay ms: slot ${BASH_REMATCH[1]} at ${BASH_REMATCH[2]}," \
      "${APPLIED:-?} applied, $([ $valid = 0 ] && echo valid || echo invalid) before recovery"
    count "Wine kill $k" $valid $judged
  done
  [ $k -eq "$WINE_KILLS" ] || { log "FAILED: only $k Wine kills landed in the merge"; return 1; }
}

if [ "$WINE_KILLS" -gt 0 ] && [ -z "${PQ_REL_SKIP_WINE:-}" ]; then
  run_wine || FAILURES=$((FAILURES + 1))
fi

log "merge mode: unfinished saves undone by recovery: $UNDONE"
MERGE_LINE="kills: $KILLS, failures: $FAILURES, valid before recovery: $VALID"
MERGE_FAILURES=$FAILURES

# ---- structural: kill_struct, killing itself at a chosen write ----
KILLS=0 FAILURES=0 VALID=0 UNDONE=0
STEPS=150
SW="$WORK/struct"

# One stream: a reference run (its writes, judged complete), then its share of the kills.
struct_stream() {
  local seed=$1 kills=$2 table="$SW/T.db" total j at tear saved valid judged out undone
  local kills0=$KILLS failures0=$FAILURES valid0=$VALID
  rm -rf "$SW"
  mkdir -p "$SW"
  if ! "$KS" run "$table" "$seed" "$STEPS" >"$SW.log" 2>&1 ||
    ! out=$("$KS" verify "$table" "$seed" "$STEPS" 2>&1) || ! "$PDX" check "$table" >/dev/null; then
    log "FAILED: the uninterrupted stream of seed $seed"
    sed 's/^/    /' "$SW.log" | tail -n 5
    printf '%s\n' "${out:-}" | sed 's/^/    /'
    FAILURES=$((FAILURES + 1))
    return
  fi
  total=$(sed -n 's/^done \([0-9]*\)$/\1/p' "$SW.log")
  log "structural stream of seed $seed: $STEPS saves, $total writes, $("$PDX" info "$table" |
    sed -n 's/^index: \([0-9]*\) levels.*/\1 index levels/p')"
  for ((j = 0; j < kills; j++)); do
    # Spread over the whole stream: the jth of `kills` equal stretches of its writes.
    at=$((1 + (j * total + (RANDOM * 32768 + RANDOM) % total) / kills))
    tear=0
    [ $((j % 2)) = 1 ] && tear=$((4096 * (1 + RANDOM % 3)))
    rm -rf "$SW"
    mkdir -p "$SW"
    # Waited for in the background, so that the shell says nothing of the kill.
    "$KS" run "$table" "$seed" "$STEPS" --kill-at "$at" --tear "$tear" >"$SW.log" 2>&1 &
    wait $! 2>/dev/null || true
    if grep -q '^done' "$SW.log"; then
      log "FAILED: seed $seed, write $at: the stream was not killed"
      FAILURES=$((FAILURES + 1))
      continue
    fi
    saved=$(grep -c '^saved' "$SW.log" || true)
    valid=0
    rm -rf "$SW.raw"
    cp -a "$SW" "$SW.raw"
    "$PDX" check --no-recover "$SW.raw/T.db" >/dev/null 2>&1 || valid=1
    judged=0
    if ! out=$("$KS" verify "$table" "$seed" "$saved" 2>&1); then
      printf '%s\n' "$out" | grep -v '^undone' | sed 's/^/    /'
      judged=1
    fi
    undone=$(printf '%s\n' "$out" | sed -n 's/^undone \([0-9]*\)$/\1/p')
    UNDONE=$((UNDONE + ${undone:-0}))
    if ! out=$("$PDX" check "$table" 2>&1); then
      printf '%s\n' "$out" | sed 's/^/    /'
      judged=1
    fi
    count "structural kill at write $at of $total (seed $seed, tear $tear, $saved saves returned)" \
      $valid $judged
  done
  log "seed $seed: $((KILLS - kills0)) kills, $((FAILURES - failures0)) failures," \
    "$((VALID - valid0)) valid before recovery"
}

log "structural: $STRUCT_KILLS kills over two streams of $STEPS saves"
struct_stream $((2 * SEED + 1)) $(((STRUCT_KILLS + 1) / 2))
struct_stream $((2 * SEED + 2)) $((STRUCT_KILLS / 2))
if [ "$STRESS_SECONDS" -gt 0 ]; then
  if out=$("$KS" stress "$STRESS_SECONDS" $((SEED * 1000)) 2>&1); then
    log "$(tail -n 1 <<<"$out")"
  else
    printf '%s\n' "$out" | sed 's/^/    /'
    log "FAILED: the in-memory stress"
    FAILURES=$((FAILURES + 1))
  fi
fi
log "structural mode: unfinished saves undone by recovery: $UNDONE"
STRUCT_LINE="kills: $KILLS, failures: $FAILURES, valid before recovery: $VALID"
STRUCT_FAILURES=$FAILURES

echo "merge: $MERGE_LINE; structural: $STRUCT_LINE"
[ "$MERGE_FAILURES" -eq 0 ] && [ "$STRUCT_FAILURES" -eq 0 ]
