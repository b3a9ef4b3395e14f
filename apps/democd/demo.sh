#!/usr/bin/env bash
# Starts the CD menu on the demo CD that the build made, with a fresh demo install, so that
# every button can be tried.
# usage: demo.sh BUILD_DIR
#   DEMO_PREFIX  where the demo install goes (default BUILD_DIR/demo-prefix): a Wine-style
#                prefix whose dosdevices/c: is drive C: and whose system.reg holds the record
set -euo pipefail
build=$(realpath "${1:?usage: demo.sh BUILD_DIR}")
cd_dir=$build/democd
prefix=$(realpath -m "${DEMO_PREFIX:-$build/demo-prefix}")

if [ ! -x "$cd_dir/runner" ] || [ ! -f "$cd_dir/Trailer/trailer.mov" ]; then
    echo "demo: $cd_dir is not complete; build it first (make demo does)" >&2
    exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: no display to show the menu on; the CD is in $cd_dir; to see it anyway:" \
         "xvfb-run -a -s '-screen 0 1024x768x24' make demo" >&2
    exit 0
fi

# Each run starts installed: Play, the set-up button and Uninstall can be tried again.
rm -rf "$prefix"
mkdir -p "$prefix/dosdevices"
WINEPREFIX=$prefix "$cd_dir/setup.exe" -s >/dev/null

# Qt wants a private runtime folder; root sessions often have none.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=$build/demo-runtime
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi

# The trailer needs a sound device: without one it ends with its error box. Say so first, and
# how to hear it in a file instead.
probe=$build/apps/democd/democd_sound_probe
if [ -x "$probe" ] && ! "$probe" >/dev/null 2>&1; then
    echo "demo: no sound device here: the trailer will stop with 'SoundErrorA: 4'; to send its" \
         "sound to a file instead: SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/tmp/trailer.raw make demo"
fi

echo "demo: the menu of $cd_dir; the demo install is in $prefix/dosdevices/c:/ZENTHOR"
cd "$cd_dir"
export WINEPREFIX=$prefix
unset RUNNER_REGISTRY RUNNER_CD
exec ./runner
