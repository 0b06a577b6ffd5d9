#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each for SECONDS, starting
# from seed tables that our engine writes (and the sample tables). Reports the executions of
# each target; exits non-zero when a target finds a crash, a sanitizer report, a hang (5 s
# per input) or an allocation over the limits, whose input is then kept in
# build/fuzz/artifacts/TARGET/.
#   tools/fuzz.sh SECONDS [TARGET...]
# The corpus that each target grows stays in build/fuzz/corpus/TARGET between runs.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SECONDS_PER_TARGET=${1:-60}
shift || true
BUILD="$ROOT/build/fuzz"
TARGETS=(table_db_fuzzer table_files_fuzzer merge_fuzzer)
[ $# -gt 0 ] && TARGETS=("$@")
SAMPLES="$ROOT/../shared/paradox-samples"

log() { printf '[fuzz] %s\n' "$*" >&2; }

flags="-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined"
flags+=" -fno-sanitize-recover=all"
if [ ! -f "$BUILD/build.ninja" ]; then
  log "configuring $BUILD (clang)"
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DPQ_FUZZ=ON -DCMAKE_BUILD_TYPE= \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >"$BUILD.configure.log" 2>&1 ||
    { cat "$BUILD.configure.log" >&2; exit 1; }
fi
log "building ${TARGETS[*]}"
if ! cmake --build "$BUILD" --target "${TARGETS[@]}" make_seeds -- -j2 >"$BUILD.log" 2>&1; then
  grep -v '^\[' "$BUILD.log" | tail -n 40 >&2
  log "build failed (full log: $BUILD.log)"
  exit 1
fi

rm -rf "$BUILD/seeds"
"$BUILD/bin/make_seeds" "$BUILD/seeds" "$SAMPLES"

export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0"
failed=0
for target in "${TARGETS[@]}"; do
  case "$target" in
    table_db_fuzzer) seeds="$BUILD/seeds/db" ;;
    merge_fuzzer) seeds="$BUILD/seeds/merge" ;;
    *) seeds="$BUILD/seeds/files" ;;
  esac
  corpus="$BUILD/corpus/$target"
  artifacts="$BUILD/artifacts/$target"
  logfile="$BUILD/logs/$target.log"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$logfile")"
  log "running $target for $SECONDS_PER_TARGET s"
  set +e
  "$BUILD/bin/$target" -max_total_time="$SECONDS_PER_TARGET" -timeout=5 -rss_limit_mb=512 \
    -malloc_limit_mb=256 -max_len=131072 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" "$seeds" >"$logfile" 2>&1
  rc=$?
  set -e
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$logfile" | tail -n 1 | grep -o '[0-9]*$' || true)
  units=$(find "$corpus" -type f | wc -l)
  if [ $rc -ne 0 ]; then
    failed=1
    log "$target: FOUND A FAULT after ${execs:-?} executions (log: $logfile)"
    grep -E 'ERROR: |SUMMARY: |runtime error|Test unit written' "$logfile" | head -n 8 >&2 || true
  fi
  echo "$target: ${execs:-0} executions in $SECONDS_PER_TARGET s, corpus $units inputs, exit $rc"
done
exit $failed
