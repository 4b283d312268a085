#!/usr/bin/env bash
# Builds everything once with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-sanitize/ and runs the whole test suite under them. A finding
# ends the test program that made it, so it fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/sanitizers.supp:print_suppressions=0"
source scripts/pg-test-env.sh
ctest --preset sanitize -j"$(nproc)"
