#!/usr/bin/env bash
# Test step: every fuzz target runs for 20 seconds from the seed tables (a check that no fault
# has come back, not a search: ./dev fuzz SECONDS searches); any crash, sanitizer report, hang
# or oversized allocation fails the step.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
bash "$ROOT/tools/fuzz.sh" 20
