#!/bin/bash
# The demo's stand-in installer finds the install where the menu looks for it: an empty
# WINEPREFIX or RUNNER_REGISTRY counts as unset for both, so the install goes to ~/.wine, and
# nothing is made in the folder it was started from.
set -eu
standin=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/standin-env.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/cwd" "$work/bin"
cp "$standin" "$work/bin/setup.exe"
(cd "$work/cwd" && HOME=$work/home WINEPREFIX= RUNNER_REGISTRY= "$work/bin/setup.exe" -s)
fail=0
if ! grep -q 'Quillon\\\\Zenthor\\\\Inf' "$work/home/.wine/system.reg" 2>/dev/null; then
    echo "FAIL: no install record in ~/.wine/system.reg"; fail=1
fi
if [ ! -d "$work/home/.wine/dosdevices/c:/ZENTHOR" ]; then
    echo "FAIL: no install folder in ~/.wine/dosdevices/c:"; fail=1
fi
if [ -n "$(ls -A "$work/cwd")" ]; then
    echo "FAIL: made in the current folder:"; ls -lA "$work/cwd"; fail=1
fi
[ $fail = 0 ] && echo "standin: the install went to ~/.wine"
exit $fail
