#!/usr/bin/env bash
# Set up (with the test tools), build and run the whole test suite (offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --test
# One throwaway PostgreSQL server for the whole run: the test programs find it
# through the libpq variables.
source scripts/pg-test-env.sh
ctest --preset default -j"$(nproc)"
