#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests, kept entirely inside one folder.
#
#   pg-test-server.sh start DIR    make a cluster in DIR, start it, print `export` lines to eval
#   pg-test-server.sh pause DIR    stop the server but keep DIR (a server that goes away)
#   pg-test-server.sh resume DIR   start it again on the same port
#   pg-test-server.sh stop DIR     stop the server and remove DIR
#
# Installs nothing: the set-up brings Debian's postgresql. The server listens on a Unix socket in
# DIR and on 127.0.0.1 at a free port, with trust authentication, except for the members of one
# group role, who must give a password: the tests prove with them that passwords reach libpq. initdb refuses to run
# as root, so as root the cluster belongs to an unprivileged system user made for it.
# Everything but the `export` lines goes to standard error; any failure exits non-zero.
set -euo pipefail

readonly ServerUser=velmora-pg
readonly Marker=.velmora-pg-test-server
readonly AdminRole=postgres
readonly TestRole=velmora_test
readonly TestDatabase=velmora_test
readonly PasswordRole=velmora_pw
readonly PasswordGroup=velmora_pw_group

die() {
    echo "pg-test-server: $*" >&2
    exit 1
}

usage() {
    echo "usage: $0 start|pause|resume|stop DIR" >&2
    exit 2
}

# A caller's own libpq settings (a service, SSL, a host address) must not steer the script's
# psql calls towards another server or make them fail.
unset PGSERVICE PGSERVICEFILE PGHOSTADDR PGOPTIONS PGSSLMODE PGREQUIRESSL PGPASSWORD \
    PGTARGETSESSIONATTRS PGCONNECT_TIMEOUT

bindir() {
    if [ -n "${VELMORA_PG_BINDIR:-}" ]; then
        [ -x "$VELMORA_PG_BINDIR/initdb" ] || die "no initdb in VELMORA_PG_BINDIR=$VELMORA_PG_BINDIR"
        echo "$VELMORA_PG_BINDIR"
        return
    fi
    local found
    found=$(find /usr/lib/postgresql -mindepth 3 -maxdepth 3 -path '*/bin/initdb' 2>/dev/null |
        sort -V | tail -n 1)
    [ -n "$found" ] || die "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb);" \
        "the set-up installs Debian's postgresql package"
    dirname "$found"
}

# Runs a command as the cluster's owner: the server user when we are root, ourselves otherwise.
as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u "$ServerUser" -- "$@"
    else
        "$@"
    fi
}

ensure_server_user() {
    [ "$(id -u)" -eq 0 ] || return 0
    getent passwd "$ServerUser" >/dev/null && return 0
    # Another run may create the user at the same moment; only its absence afterwards is a failure.
    useradd --system --user-group --no-create-home --home-dir /nonexistent \
        --shell /usr/sbin/nologin "$ServerUser" 2>/dev/null || true
    getent passwd "$ServerUser" >/dev/null || die "cannot create the system user $ServerUser"
}

# A port on 127.0.0.1 that nothing listens on right now; the start retries should another
# program take it first.
candidate_port() {
    local port tries=0
    while [ $tries -lt 200 ]; do
        port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
        if ! (: >"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return
        fi
        tries=$((tries + 1))
    done
    die "found no free port on 127.0.0.1"
}

write_settings() {
    local dir=$1 port=$2
    # A single quote in the folder name is doubled for the configuration file's syntax.
    local quoted=${dir//\'/\'\'}
    # Settings for a server whose data is thrown away: durability is not worth the time.
    as_owner tee "$dir/data/velmora-test.conf" >/dev/null <<EOF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$quoted'
unix_socket_permissions = 0777
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 40
shared_buffers = 16MB
log_line_prefix = '%m [%p] %u@%d '
EOF
}

start_server() {
    local dir=$1
    as_owner "$(bindir)/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null 2>&1
}

server_log_tail() {
    local dir=$1
    [ -f "$dir/server.log" ] && tail -n 20 "$dir/server.log" | sed 's/^/  | /' >&2
    return 0
}

psql_admin() {
    local dir=$1 port=$2
    shift 2
    "$(bindir)/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U "$AdminRole" -d postgres "$@"
}

cmd_start() {
    local dir=$1 bin
    bin=$(bindir)
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd -P)
    [ -z "$(ls -A "$dir")" ] || die "$dir is not empty"
    case "$dir" in
    *,*) die "$dir: a comma in the folder name cannot be a socket directory" ;;
    esac
    # The socket's path ("DIR/.s.PGSQL.PORT") must fit a Unix socket address (107 bytes).
    [ ${#dir} -le 94 ] || die "$dir is too long for a socket folder; choose a shorter path"

    ensure_server_user
    touch "$dir/$Marker"
    chmod 0755 "$dir"
    if [ "$(id -u)" -eq 0 ]; then
        chown "$ServerUser:" "$dir"
        as_owner test -w "$dir" ||
            die "$ServerUser cannot reach $dir: a folder above it is closed to other users"
    fi

    if ! as_owner "$bin/initdb" -D "$dir/data" -U "$AdminRole" -A trust -E UTF8 --no-locale \
        --no-sync >"$dir/initdb.log" 2>&1; then
        sed 's/^/  | /' "$dir/initdb.log" >&2
        die "initdb into $dir/data failed"
    fi
    echo "include 'velmora-test.conf'" | as_owner tee -a "$dir/data/postgresql.conf" >/dev/null
    as_owner tee "$dir/data/pg_hba.conf" >/dev/null <<EOF
local all +$PasswordGroup scram-sha-256
host all +$PasswordGroup 127.0.0.1/32 scram-sha-256
local all all trust
host all all 127.0.0.1/32 trust
EOF

    local port="" attempt
    for attempt in 1 2 3 4 5 6 7 8; do
        port=$(candidate_port)
        write_settings "$dir" "$port"
        if start_server "$dir"; then
            break
        fi
        if grep -q -e "Address already in use" -e "could not create lock file" \
            "$dir/server.log" 2>/dev/null && [ $attempt -lt 8 ]; then
            echo "pg-test-server: port $port was taken meanwhile, trying another" >&2
            as_owner rm -f "$dir/server.log"
            continue
        fi
        server_log_tail "$dir"
        die "the PostgreSQL server in $dir did not start"
    done
    echo "$port" >"$dir/port"

    local password
    password=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')
    if ! psql_admin "$dir" "$port" >/dev/null <<EOF; then
CREATE ROLE $TestRole LOGIN CREATEDB;
CREATE DATABASE $TestDatabase OWNER $TestRole;
CREATE ROLE $PasswordGroup NOLOGIN;
CREATE ROLE $PasswordRole LOGIN PASSWORD '$password' IN ROLE $PasswordGroup;
EOF
        server_log_tail "$dir"
        as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
        die "the server in $dir started, but the test database could not be made"
    fi

    printf 'unset PGSERVICE PGSERVICEFILE PGHOSTADDR PGOPTIONS PGSSLMODE PGREQUIRESSL PGPASSWORD\n'
    printf 'export PGHOST=%q\n' "$dir"
    printf 'export PGPORT=%q\n' "$port"
    printf 'export PGUSER=%q\n' "$TestRole"
    printf 'export PGDATABASE=%q\n' "$TestDatabase"
    printf 'export VELMORA_TEST_PG=1\n'
    printf 'export VELMORA_TEST_PG_DIR=%q\n' "$dir"
    printf 'export VELMORA_TEST_PG_ADMIN=%q\n' "$AdminRole"
    printf 'export VELMORA_TEST_PG_PASSWORD_USER=%q\n' "$PasswordRole"
    printf 'export VELMORA_TEST_PG_PASSWORD=%q\n' "$password"
    printf 'export VELMORA_TEST_PG_PASSWORD_GROUP=%q\n' "$PasswordGroup"
    printf 'export VELMORA_TEST_PG_SCRIPT=%q\n' "$(cd "$(dirname "$0")" && pwd -P)/$(basename "$0")"
    echo "pg-test-server: PostgreSQL running in $dir, 127.0.0.1:$port" >&2
}

# An existing folder this script made, as an absolute path.
our_dir() {
    local dir
    dir=$(cd "$1" && pwd -P) || die "$1 cannot be entered"
    [ -e "$dir/$Marker" ] || die "$dir was not made by this script; it is left alone"
    echo "$dir"
}

# The data folder's owner runs pg_ctl on it; as root, that is the server user.
as_data_owner() {
    local data=$1
    shift
    local owner
    owner=$(stat -c %U "$data")
    if [ "$(id -u)" -eq 0 ] && [ "$owner" != root ]; then
        runuser -u "$owner" -- "$@"
    else
        "$@"
    fi
}

cmd_pause() {
    local dir
    dir=$(our_dir "$1")
    [ -f "$dir/data/postmaster.pid" ] || die "no server is running in $dir"
    as_data_owner "$dir/data" "$(bindir)/pg_ctl" -D "$dir/data" -m fast -w -t 60 stop >/dev/null ||
        die "the server in $dir did not stop"
}

cmd_resume() {
    local dir
    dir=$(our_dir "$1")
    [ -f "$dir/port" ] || die "$dir holds no started server"
    if ! as_data_owner "$dir/data" "$(bindir)/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
        -t 60 start >/dev/null 2>&1; then
        server_log_tail "$dir"
        die "the server in $dir did not start again on port $(cat "$dir/port")"
    fi
}

cmd_stop() {
    [ -e "$1" ] || return 0
    local dir pid
    dir=$(our_dir "$1")
    if [ -f "$dir/data/postmaster.pid" ]; then
        if ! as_data_owner "$dir/data" "$(bindir)/pg_ctl" -D "$dir/data" -m immediate -w -t 30 \
            stop >/dev/null 2>&1; then
            pid=$(head -n 1 "$dir/data/postmaster.pid" 2>/dev/null || true)
            if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
                kill -KILL "$pid" 2>/dev/null || true
                echo "pg-test-server: the server in $dir did not stop; it was killed" >&2
            fi
        fi
    fi
    rm -rf -- "$dir"
}

[ $# -eq 2 ] || usage
case "$1" in
start) cmd_start "$2" ;;
pause) cmd_pause "$2" ;;
resume) cmd_resume "$2" ;;
stop) cmd_stop "$2" ;;
*) usage ;;
esac
