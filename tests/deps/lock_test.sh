#!/usr/bin/env bash
# deps/install.sh with stand-ins for apt-get, dpkg-query and sudo on PATH: one package is
# missing, and apt-get answers as it does while another package manager holds a lock.
#   lock_test.sh INSTALL_SH
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

mkdir "$work/bin" "$work/deps"
cp "$1" "$work/deps/install.sh"
echo "missing-package" >"$work/deps/apt-packages.txt"
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
echo "unknown ok not-installed"
STUB
cat >"$work/bin/sudo" <<'STUB'
#!/bin/sh
exec "$@"
STUB
# Fails with the lock held as long as $LOCKED_CALLS says (0: never, -1: for ever), or with
# another error when $OTHER_ERROR is set; every call is logged.
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "$*" >>"$WORK/calls"
n=$(wc -l <"$WORK/calls")
if [ -n "${OTHER_ERROR:-}" ]; then
    echo "E: Unable to locate package missing-package" >&2
    exit 100
fi
if [ "$LOCKED_CALLS" -lt 0 ] || [ "$n" -le "$LOCKED_CALLS" ]; then
    echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 4242 (apt-get)" >&2
    echo "E: Unable to lock directory /var/lib/apt/lists/" >&2
    exit 100
fi
echo "did: $*"
STUB
chmod +x "$work/bin/"*

run() {
    rm -f "$work/calls"
    PATH=$work/bin:$PATH WORK=$work DEPS_LOCK_RETRY=0.2 "$@" bash "$work/deps/install.sh" \
        >"$work/out" 2>&1
}

# Held for the first two tries: waits, says so once, then installs.
run env LOCKED_CALLS=2
status=$?
[ "$status" -eq 0 ] || fail "a lock held for a while: exit $status"
[ "$(grep -c 'update' "$work/calls")" -eq 3 ] || fail "update tried $(grep -c update "$work/calls") times"
grep -q -- 'install -y' "$work/calls" || fail "nothing installed"
[ "$(grep -c 'waiting up to' "$work/out")" -eq 1 ] || fail "the wait is not said once"
grep -q 'DPkg::Lock::Timeout' "$work/calls" || fail "apt-get is not told to wait for dpkg's lock"
cat "$work/out"

# Held for ever: gives up after the limit, naming the holder.
run env LOCKED_CALLS=-1 DEPS_LOCK_WAIT=1
status=$?
[ "$status" -ne 0 ] || fail "a lock held for ever: exit 0"
grep -q 'still holds the package lock after 1 s' "$work/out" || fail "no message at the limit"
grep -q 'held by process 4242' "$work/out" || fail "the holder is not named"
cat "$work/out"

# Any other failure ends it at once.
run env LOCKED_CALLS=0 OTHER_ERROR=1
status=$?
[ "$status" -ne 0 ] || fail "apt-get failing: exit 0"
[ "$(wc -l <"$work/calls")" -eq 1 ] || fail "another error was tried again"
grep -q 'Unable to locate package' "$work/out" || fail "apt-get's own error is not shown"

[ "$failures" -eq 0 ] && echo "PASS" && exit 0
exit 1
