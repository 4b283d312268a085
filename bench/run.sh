#!/usr/bin/env bash
# Builds Velmora and measures it at clinic scale: 0, 1,000 and 100,000 subjects,
# the largest also with the subject tables on a throwaway local PostgreSQL server,
# and once more with that server 1 ms away each way. Then the load run: 2, 4 and 8
# workstations at once on the server, 400 subjects each time, and 8 in pairs that
# register and test the same codes together; each checks the store afterwards.
# Extra arguments go to the benchmark's run (for example: --runs 11).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --test   # the sqlite3 shell and the PostgreSQL server are references
source scripts/pg-test-env.sh
build/velmora_bench run --server "$@"
# An integrity fault in one load run does not keep the others from running; the
# script's status says whether any found one.
status=0
for workstations in 2 4 8; do
    echo
    build/velmora_bench load --durable --workstations "$workstations" \
        --subjects $((400 / workstations)) || status=1
done
echo
build/velmora_bench load --durable --workstations 8 --subjects 50 --collide || status=1
exit $status
