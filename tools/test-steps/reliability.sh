#!/usr/bin/env bash
# Test step: the kill harness with a few kills (merge mode: 6 native, 2 under Wine; structural
# mode: 8); fails on any failure.
# ./dev reliability runs the full count.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
bash "$ROOT/tools/reliability.sh"
