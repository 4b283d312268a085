#!/usr/bin/env bash
# Builds the Debian package, checks it (layout, desktop-file-validate, appstreamcli,
# lintian), installs it on this machine, and runs the installed program as a fresh
# unprivileged user: its data folder and databases must be private to that user, and
# SIGTERM must end it cleanly. Needs root (it installs a package and adds a user);
# the test command (scripts/test.sh) has installed the tools it uses.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
    echo "package-check: FAILED: $*" >&2
    exit 1
}
step() {
    echo "package-check: $*"
}

[ "$(id -u)" -eq 0 ] || fail "run as root (sudo bash scripts/package-check.sh): it installs the package and adds a user"
for tool in dpkg-shlibdeps file desktop-file-validate appstreamcli lintian setpriv; do
    command -v "$tool" >/dev/null || fail "$tool is missing; bash scripts/test.sh installs it"
done

work=$(mktemp -d /tmp/velmora-package-check.XXXXXX)
pid=""
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# --- The package --------------------------------------------------------------------------
step "building the package"
cmake --preset default >/dev/null
cmake --build --preset package -j"$(nproc)" >"$work/package.log" 2>&1 ||
    { cat "$work/package.log" >&2; fail "the package target did not build"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
[ -n "$version" ] || fail "no project version in build/CMakeCache.txt"
deb=build/velmora_${version}_amd64.deb
[ -f "$deb" ] || fail "the package target made no $deb"
step "made $deb"

step "checking what the package holds"
dpkg-deb -x "$deb" "$work/root"
expected=(
    usr/bin/velmora
    usr/share/applications/velmora.desktop
    usr/share/metainfo/io.velmora.Velmora.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/velmora.svg
    usr/share/man/man1/velmora.1.gz
    usr/share/doc/velmora/copyright
    usr/share/doc/velmora/changelog.gz
    usr/share/velmora/office2007.skn
    usr/share/velmora/help/index.html
    usr/lib/systemd/user/velmora-backup.service
    usr/lib/systemd/user/velmora-backup.timer
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/velmora.png")
done
for path in "${expected[@]}"; do
    [ -e "$work/root/$path" ] || fail "the package lacks /$path"
done
skins=$(find "$work/root/usr/share/velmora" -maxdepth 1 -name '*.skn' | wc -l)
[ "$skins" -eq 12 ] || fail "the package holds $skins skins in /usr/share/velmora, not 12"
if file "$work/root/usr/bin/velmora" | grep -q "not stripped"; then
    fail "/usr/bin/velmora in the package is not stripped"
fi
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins fonts-farsiweb \
    fonts-noto-core qt6-translations-l10n age; do
    grep -qE "(^|, )$needed( |,|$)" <<<"$depends" || fail "the package does not depend on $needed: $depends"
done

step "desktop-file-validate"
desktop-file-validate "$work/root/usr/share/applications/velmora.desktop" ||
    fail "desktop-file-validate reports errors in velmora.desktop"
step "appstreamcli validate"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/io.velmora.Velmora.metainfo.xml" ||
    fail "appstreamcli reports problems in the metainfo file"
appstreamcli validate-tree --no-net "$work/root" ||
    fail "appstreamcli reports problems in the installed tree (metainfo with its desktop entry)"
step "lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors in $deb"

# --- Installed ----------------------------------------------------------------------------
step "installing $deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "./$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; fail "apt-get could not install $deb"; }
[ "$(dpkg-query -W -f='${Version}' velmora)" = "$version" ] || fail "velmora $version is not the installed version"
[ "$(command -v velmora)" = /usr/bin/velmora ] || fail "velmora on the PATH is $(command -v velmora), not /usr/bin/velmora"

step "velmora --version"
status=0
printed=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen timeout 20 /usr/bin/velmora --version 2>&1) ||
    status=$?
[ "$status" -ne 124 ] || fail "velmora --version did not end within 20 s"
[ "$status" -eq 0 ] || fail "velmora --version ended with status $status: $printed"
grep -qF "$version" <<<"$printed" || fail "velmora --version printed '$printed', without $version"
echo "$printed"

user=velmora-ci
if ! id "$user" >/dev/null 2>&1; then
    step "adding the user $user"
    useradd --system --user-group --no-create-home --shell /usr/sbin/nologin "$user" ||
        fail "could not add the user $user"
fi
home="$work/home"
mkdir -m 700 "$home"
chown "$user:$user" "$home"
chmod 755 "$work" # the user reaches its home through here, and reads nothing else

step "starting /usr/bin/velmora as $user with a fresh home"
# setpriv replaces itself with the program, so $! is the program and wait gives its status.
# env -i leaves out every XDG_* folder: the defaults under HOME are what is checked.
setpriv --reuid="$user" --regid="$user" --init-groups --inh-caps=-all -- \
    env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen /usr/bin/velmora >"$work/velmora.log" 2>&1 &
pid=$!

alive() {
    local state
    state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}
show_log() {
    echo "--- what velmora printed:" >&2
    cat "$work/velmora.log" >&2
    echo "---" >&2
}

data="$home/.local/share/velmora"
for _ in $(seq 200); do
    [ -e "$data/DBM/DB2.mdb" ] && break
    alive || break
    sleep 0.1
done
if [ ! -e "$data/DBM/DB2.mdb" ]; then
    if alive; then
        show_log
        fail "after 20 s there is still no $data/DBM/DB2.mdb"
    fi
    status=0
    wait "$pid" || status=$?
    pid=""
    show_log
    fail "velmora ended (status $status) before $data/DBM/DB2.mdb existed"
fi
# Let the start-up finish, so the signal reaches the running program.
sleep 1
alive || { show_log; fail "velmora ended by itself after creating its databases"; }

step "checking the data folder"
check_mode() {
    local path=$1 mode=$2 actual owner
    [ -e "$path" ] || { show_log; fail "$path does not exist"; }
    actual=$(stat -c %a "$path")
    owner=$(stat -c %U "$path")
    [ "$actual" = "$mode" ] || fail "$path has mode $actual, not $mode"
    [ "$owner" = "$user" ] || fail "$path belongs to $owner, not $user"
    echo "  $mode $path"
}
check_mode "$data" 700
check_mode "$data/DBM/DB.mdb" 600
check_mode "$data/DBM/DB2.mdb" 600

step "ending velmora with SIGTERM"
kill -TERM "$pid"
for _ in $(seq 50); do
    alive || break
    sleep 0.1
done
if alive; then
    show_log
    fail "velmora still runs 5 s after SIGTERM"
fi
status=0
wait "$pid" || status=$?
pid=""
if [ "$status" -ne 0 ]; then
    show_log
    if [ "$status" -gt 128 ]; then
        fail "velmora was killed by signal $((status - 128)) instead of ending on SIGTERM"
    fi
    fail "velmora ended with status $status on SIGTERM, not 0"
fi
check_mode "$data/DBM/DB2.mdb" 600

step "systemd-analyze verify of the scheduled backup's units"
runtime="$work/runtime"
mkdir -m 700 "$runtime"
XDG_RUNTIME_DIR="$runtime" systemd-analyze verify --man=no --user \
    /usr/lib/systemd/user/velmora-backup.service /usr/lib/systemd/user/velmora-backup.timer ||
    fail "systemd-analyze reports problems in the scheduled backup's units"

step "the scheduled backup's command as $user: a clinic key, then two dated sealed backups"
as_user() {
    setpriv --reuid="$user" --regid="$user" --init-groups --inh-caps=-all -- \
        env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"
}
# The recovery key stays in this shell, never in a file.
recovery=$(printf 'package check passphrase\npackage check passphrase\n' |
    as_user /usr/bin/velmora --new-backup-key 2>"$work/key.log") ||
    { cat "$work/key.log" >&2; fail "velmora --new-backup-key failed as $user"; }
grep -q '^AGE-SECRET-KEY-1' <<<"$recovery" || fail "no recovery key was printed"
as_user mkdir -m 700 "$home/stick"
for _ in 1 2 3; do
    as_user /usr/bin/velmora --backup-into "$home/stick" --keep 2 2>"$work/backup.log" ||
        { cat "$work/backup.log" >&2; fail "velmora --backup-into failed as $user"; }
    sleep 1.1
done
made=$(find "$home/stick" -name 'velmora-*.mdbB.age' | wc -l)
[ "$made" -eq 2 ] || fail "$made scheduled backups are kept, not 2"
for backup in "$home/stick"/velmora-*.mdbB.age; do
    check_mode "$backup" 600
    rm -f "$work/opened.mdb"
    printf '%s\n' "$recovery" | age --decrypt -i - -o "$work/opened.mdb" "$backup" ||
        fail "$backup does not open with the recovery key"
    [ "$(head -c 15 "$work/opened.mdb")" = "SQLite format 3" ] || fail "$backup opens to no subject file"
done

step "all checks passed for velmora $version"
