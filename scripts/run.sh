#!/usr/bin/env bash
# Set up (only what building and running need), build and start Velmora.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec build/velmora "$@"
