#!/usr/bin/env bash
# Set up (with the test tools), build and run the whole test suite (offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --test
# One throwaway PostgreSQL server for the whole run: the test programs find it
# through the libpq variables; a server that cannot start ends the run here.
# (Not eval "$(...)": eval of an empty text succeeds and would hide that.)
pgscript=$PWD/scripts/pg-test-server.sh
pgdir=$(mktemp -d /tmp/velmora-pg-XXXXXX)
trap 'bash "$pgscript" stop "$pgdir"' EXIT
pgenv=$(bash "$pgscript" start "$pgdir")
eval "$pgenv"
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300
