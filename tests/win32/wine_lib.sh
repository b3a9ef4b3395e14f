# Helpers of the Windows tests: a private X server, a private sound server with a null sink,
# Wine on a private prefix, waiting for conditions, screenshots. Sourced by the test scripts.
# Needs: WORK (the test's own temporary folder), PREFIX (the Wine prefix).

pids=()
lib_cleanup() {
    if [ -n "${PREFIX:-}" ] && [ -d "$PREFIX" ]; then WINEPREFIX=$PREFIX wineserver -k 2>/dev/null || true; fi
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    [ -n "${KEEP_WORK:-}" ] || rm -rf "$WORK"
}

fail() {
    echo "FAIL: $*"
    for log in "$WORK"/*.log; do [ -s "$log" ] && { echo "--- $log"; tail -n 30 "$log"; }; done
    exit 1
}

# shellcheck source=tests/support/wait_for.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/wait_for.sh"

# A private X server of its own number.
start_x() {
    Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
    pids+=($!)
    wait_for 300 grep -q '^[0-9]' "$WORK/display" || fail "Xvfb did not start"
    export DISPLAY=:$(head -n 1 "$WORK/display")
}

# A private PulseAudio with a null sink: DirectSound needs a sound server to give play cursors.
start_sound() {
    mkdir -p "$WORK/pulse"
    local socket=$WORK/pulse/socket
    HOME=$WORK/pulse XDG_RUNTIME_DIR=$WORK/pulse pulseaudio -n --daemonize=no \
        --exit-idle-time=-1 --disallow-exit --use-pid-file=no --disable-shm \
        --load=module-null-sink \
        --load="module-native-protocol-unix socket=$socket auth-anonymous=1" \
        >"$WORK/pulse.log" 2>&1 &
    pids+=($!)
    export PULSE_SERVER=unix:$socket
    wait_for 100 pactl info >/dev/null 2>&1 || fail "the sound server did not start"
}

use_wine() {
    export WINEPREFIX=$PREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
}

# Drive D: is the disc folder $1.
mount_disc() {
    ln -sfn "$(realpath "$1")" "$PREFIX/dosdevices/d:"
}

shot() { import -window root "$WORK/$1.png" 2>/dev/null; }

# The pixels of a screenshot's area WxH+X+Y that differ from the file $3.
area_differs() {
    convert "$WORK/$1.png" -crop "$2" +repage "$WORK/crop.png"
    compare -metric AE "$WORK/crop.png" "$3" null: 2>&1 || true
}

# Dark pixels in area $2 of screenshot $1.
dark_pixels() {
    convert "$WORK/$1.png" -crop "$2" +repage -colorspace Gray -threshold 25% \
        -format "%[fx:round(w*h*(1-mean))]" info:
}

# name, sha256 of every file below folder $1, sorted.
tree_listing() {
    (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}

# Seconds since the test began, for the log.
lap() { echo "[$((SECONDS))s] $*"; }

# Presses key $2 in the window titled $1 until the command after them succeeds (a key sent
# before the window takes keys is lost): up to 10 tries, each waiting 2 s. The key goes only
# while that window is there.
press_until() {
    local title=$1 key=$2
    shift 2
    for _ in $(seq 10); do
        press_in "$title" "$key" || true
        wait_for 20 "$@" && return 0
    done
    return 1
}

# Gives the keyboard to the window titled $1 and presses $2. Without a window manager, the X
# focus does not follow the window Wine or Qt makes active.
press_in() {
    local window
    window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n 1)
    [ -n "$window" ] || return 1
    xdotool windowfocus "$window" 2>/dev/null || true
    xdotool key "$2"
}

gone() { ! kill -0 "$1" 2>/dev/null; }
