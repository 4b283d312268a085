#!/usr/bin/env bash
# Builds Velmora and measures it at clinic scale: 0, 1,000 and 100,000 subjects,
# the largest also with the subject tables on a throwaway local PostgreSQL server.
# Extra arguments go to the benchmark (for example: --runs 11).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --test   # the sqlite3 shell and the PostgreSQL server are references
source scripts/pg-test-env.sh
build/velmora_bench run --server "$@"
