#!/usr/bin/env bash
# make demo's line about the sound device: said once, before the menu starts, when the trailer
# will find none; not said when there is one (here SDL's file driver, whose file the check must
# leave alone).
# usage: demo_sound_line_test.sh BUILD_DIR DEMO_SCRIPT
set -euo pipefail
build=$(realpath "$1")
demo=$(realpath "$2")
for tool in Xvfb sha256sum; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/demo_sound.XXXXXX")
server=
menu=
cleanup() {
    [ -n "$menu" ] && kill "$menu" 2>/dev/null && wait "$menu" 2>/dev/null
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A server of our own on a display it picks.
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
server=$!
for _ in $(seq 1 300); do grep -q . "$work/display" 2>/dev/null && break; sleep 0.1; done
grep -q . "$work/display" || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

line="demo: no sound device here"

# Runs make demo's script until it starts the menu; its output in $work/out.
run_demo() {
    DEMO_PREFIX=$work/prefix bash "$demo" "$build" >"$work/out" 2>&1 &
    menu=$!
    for _ in $(seq 1 300); do grep -q "^demo: the menu of" "$work/out" && break; sleep 0.1; done
    grep -q "^demo: the menu of" "$work/out" || { echo "FAIL: the menu did not start"; cat "$work/out"; exit 1; }
    kill "$menu" 2>/dev/null || true
    wait "$menu" 2>/dev/null || true
    menu=
}

SDL_AUDIODRIVER=none_such run_demo
[ "$(grep -c "^$line" "$work/out")" = 1 ] || { echo "FAIL: no single sound line"; cat "$work/out"; exit 1; }
grep -q "^$line.*SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" "$work/out" || { echo "FAIL: no hint"; cat "$work/out"; exit 1; }
first=$(grep -n "^$line" "$work/out" | cut -d: -f1)
menu_at=$(grep -n "^demo: the menu of" "$work/out" | cut -d: -f1)
[ "$first" -lt "$menu_at" ] || { echo "FAIL: the sound line comes after the menu started"; exit 1; }

printf 'keep me' >"$work/canary.raw"
before=$(sha256sum "$work/canary.raw")
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/canary.raw run_demo
if grep -q "^$line" "$work/out"; then echo "FAIL: sound line with a sound driver"; cat "$work/out"; exit 1; fi
[ "$(sha256sum "$work/canary.raw")" = "$before" ] || { echo "FAIL: the check wrote the sound file"; exit 1; }
echo "PASS"
