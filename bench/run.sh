#!/usr/bin/env bash
# Builds Velmora and measures it at clinic scale: 0, 1,000 and 100,000 subjects.
# Extra arguments go to the benchmark (for example: --runs 11).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --test   # the sqlite3 shell is the export's reference
exec build/velmora_bench run "$@"
