#!/usr/bin/env bash
# Test step: every fuzz target runs for 30 seconds; any crash, sanitizer report, hang or
# oversized allocation fails the step.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
bash "$ROOT/tools/fuzz.sh" 30
