#!/usr/bin/env bash
# Set up, build and run the whole test suite (offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300
