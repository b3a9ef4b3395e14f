#!/usr/bin/env bash
# The real runner under Xvfb: a screenshot kept as a PNG, the picture's pixels checked, and the
# program ended by SIGTERM as cleanly as by its close box (exit code 0).
# usage: screenshot.sh RUNNER MAKE_CD PLAYER OUT.png
set -euo pipefail
runner=$1 make_cd=$2 player=$3 out=$4
command -v Xvfb >/dev/null && command -v import >/dev/null || { echo "Xvfb or import missing"; exit 77; }

# Under LeakSanitizer, what system libraries keep until exit is not the program's.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
work=$(mktemp -d)
xvfb=0 menu=0
cleanup() {
    [ "$menu" != 0 ] && kill "$menu" 2>/dev/null || true
    [ "$xvfb" != 0 ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to the descriptor once it listens.
exec {ready}>"$work/display"
Xvfb -displayfd "$ready" -noreset -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec {ready}>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
display=$(head -n 1 "$work/display")

"$make_cd" "$work/cd" "$player"
DISPLAY=":$display" RUNNER_REGISTRY="$work/none.reg" XDG_RUNTIME_DIR="$work" \
    "$runner" --cd "$work/cd" --drive E >"$work/log" 2>&1 &
menu=$!
# The picture's top-left pixel lands at client (0, 80); the client area starts where the
# layout centred the window: ((1024 - 486) >> 1, (768 - 503) >> 1) without a window manager.
x=$(( (1024 - 486) / 2 )) y=$(( (768 - 503) / 2 + 80 ))
expected="srgb(40,215,20)" # pixel (10, 10): colour (10 + 3 * 10) % 256 = 40
for _ in $(seq 100); do
    sleep 0.1
    DISPLAY=":$display" import -window root "$out" 2>/dev/null || continue
    got=$(convert "$out" -format "%[pixel:p{$((x + 10)),$((y + 10))}]" info:)
    [ "$got" = "$expected" ] && break
done
echo "screenshot: $out, pixel $got"
[ "$got" = "$expected" ] || { echo "expected $expected"; cat "$work/log"; exit 1; }
# The button row above the picture is the buttons' grey, not the picture.
row=$(convert "$out" -format "%[pixel:p{$((x + 80)),$((y - 60))}]" info:)
[ "$row" != "$expected" ] || { echo "buttons missing"; exit 1; }

kill -TERM "$menu"
status=0
wait "$menu" || status=$?
menu=0
[ "$status" = 0 ] || { echo "runner ended with $status after SIGTERM"; cat "$work/log"; exit 1; }
echo "ok"
