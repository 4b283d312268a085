#!/usr/bin/env bash
# Runs clang-tidy with the checked-in profile (.clang-tidy) over the program's
# own sources, as compiled by the default build (scripts/test.sh makes it);
# any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/compile_commands.json ] || cmake --preset default >/dev/null
# The generated sources (moc) must exist for the includes to resolve.
cmake --build --preset default -j"$(nproc)" >/dev/null
run-clang-tidy -p build -quiet -j"$(nproc)" "$(pwd)/src/.*\.cpp$" >build/clang-tidy.log 2>&1 || {
    grep -E "(warning|error):" build/clang-tidy.log | sort -u
    echo "clang-tidy: findings above (whole log: build/clang-tidy.log)"
    exit 1
}
echo "clang-tidy: $(git ls-files 'src/*.cpp' | wc -l) files, no finding"
