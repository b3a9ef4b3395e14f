#!/usr/bin/env bash
# Installs the Debian packages of deps/apt-packages.txt that are not installed yet.
#
# Another package manager at work (unattended upgrades on a desktop, a second build) holds apt's
# and dpkg's locks: the install then waits for it, saying so once, up to DEPS_LOCK_WAIT seconds
# (default 900), and after that gives up with a message that names the holder.
set -euo pipefail
cd "$(dirname "$0")"
want=$(grep -v -E '^\s*(#|$)' apt-packages.txt | tr '\n' ' ')
missing=()
for p in $want; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
wait_limit=${DEPS_LOCK_WAIT:-900}
retry=${DEPS_LOCK_RETRY:-5}
deadline=$((SECONDS + wait_limit))

# apt-get with these arguments, again every few seconds while a lock is held. apt-get waits for
# dpkg's own lock itself (DPkg::Lock::Timeout), but not for the package lists' lock that
# "update" takes: that one fails at once.
apt_get() {
    local said=0 left errors status
    while :; do
        left=$((deadline - SECONDS))
        [ "$left" -lt 0 ] && left=0
        status=0
        # Its standard error is kept to be read, and shown; its standard output goes through.
        errors=$({ $SUDO apt-get -o DPkg::Lock::Timeout="$left" "$@" 2>&1 1>&3 3>&-; } 3>&1) ||
            status=$?
        if [ "$status" -eq 0 ] ||
            ! grep -q -E 'Could not get lock|Unable to lock|Unable to acquire' <<<"$errors"; then
            [ -n "$errors" ] && printf '%s\n' "$errors" >&2
            return "$status"
        fi
        # A held lock: said when the wait begins and when it ends in vain, not every try.
        if [ "$SECONDS" -ge "$deadline" ]; then
            printf '%s\n' "$errors" >&2
            echo "deps: another package manager still holds the package lock after" \
                 "${wait_limit} s; let it finish, then run make again" >&2
            return 1
        fi
        if [ "$said" -eq 0 ]; then
            printf '%s\n' "$errors" >&2
            echo "deps: another package manager is at work; waiting up to ${wait_limit} s for it" \
                 "to finish (DEPS_LOCK_WAIT)" >&2
            said=1
        fi
        sleep "$retry"
    done
}

apt_get update -qq
apt_get install -y -qq --no-install-recommends "${missing[@]}"
