#!/usr/bin/env bash
# The demo. Until the installer exists it runs the window toolkit's demonstration window (a
# window made from a form definition) and saves a screenshot as build/demo/ui_demo.png. On the
# user's display (PQ_USE_DISPLAY) the window stays until it is closed; under Xvfb it is ended
# once the screenshot is taken.
set -euo pipefail
ROOT="${PQ_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
source "$ROOT/tools/wine-env.sh"
exe="$ROOT/build/windows/bin/ui_demo.exe"
[ -f "$exe" ] || { echo "demo: $exe is missing; run ./dev build" >&2; exit 1; }
mkdir -p "$ROOT/build/demo"
ready="$ROOT/build/demo/.ui_demo.ready"
rm -f "$ready"
wine "$exe" --ready "$(winepath -w "$ready" 2>/dev/null)" &
pid=$!
for _ in $(seq 300); do
  [ -f "$ready" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "demo: ui_demo ended before showing its window" >&2; exit 1; }
  sleep 0.1
done
[ -f "$ready" ] || { echo "demo: the window did not appear within 30 s" >&2; kill "$pid"; exit 1; }
import -window root "$ROOT/build/demo/ui_demo.png"
echo "demo: screenshot in build/demo/ui_demo.png" >&2
if [ -n "${PQ_USE_DISPLAY:-}" ]; then
  wait "$pid"
else
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
fi
rm -f "$ready"
