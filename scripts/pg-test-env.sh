# Sourced by the scripts that run tests or the benchmark (from the project folder): starts one
# throwaway PostgreSQL server for the run and puts the libpq variables that name it into the
# environment; the server stops and its folder goes when the script ends. A server that cannot
# start ends the script here. (Not eval "$(...)": eval of an empty text succeeds and would hide
# that.)
pgscript=$PWD/scripts/pg-test-server.sh
pgdir=$(mktemp -d /tmp/velmora-pg-XXXXXX)
trap 'bash "$pgscript" stop "$pgdir"' EXIT
pgenv=$(bash "$pgscript" start "$pgdir")
eval "$pgenv"
