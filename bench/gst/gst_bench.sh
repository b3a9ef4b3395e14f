#!/usr/bin/env bash
# The GStreamer plugin measured (make bench runs it as bench/bench_gst):
# - decode speed through GStreamer (demuxer and decoder into a fakesink, no clock), in pictures
#   a second, beside movtool info decoding the same file and GStreamer decoding the same film
#   exported as FFV1 in Matroska;
# - CPU and peak memory of gst-play-1.0 playing the trailer in a window, beside filmo playing it
#   windowed, both at the same time on one X server (sound to a fake sink and to a file).
# usage: bench_gst (paths come from the build)
set -uo pipefail
plugin_dir=@GST_PLUGIN_BUILD_DIR@
movtool=@MOVTOOL@
filmo=@FILMO@
trailer=@TRAILER@
seconds=${BENCH_GST_SECONDS:-20}

for f in "$movtool" "$trailer"; do
    [ -e "$f" ] || { echo "bench_gst: $f is missing (make build)"; exit 1; }
done
work=$(mktemp -d)
cleanup() {
    for p in ${pids:-}; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export GST_REGISTRY=$work/registry.bin GST_PLUGIN_PATH=$plugin_dir

# Ten trailers back to back: long enough to time.
long=$work/long.mov
for _ in 1 2 3 4 5 6 7 8 9 10; do cat "$trailer"; done >"$long"
records=$(($(stat -c %s "$long") / 43797))
pictures=$((2 * records))

now() { date +%s.%N; }
# The best of three runs of a command, in seconds.
best_of_3() {
    local best=
    for _ in 1 2 3; do
        local t0 t1
        t0=$(now)
        "$@" >/dev/null 2>&1 || { echo "bench_gst: failed: $*" >&2; return 1; }
        t1=$(now)
        best=$(awk -v a="$t0" -v z="$t1" -v b="$best" 'BEGIN { t = z - a; print (b == "" || t < b) ? t : b }')
    done
    echo "$best"
}
rate() { awk -v n="$1" -v t="$2" 'BEGIN { printf "%.0f", n / t }'; }

echo "decode speed, $records records ($pictures pictures), best of 3:"
t=$(best_of_3 gst-launch-1.0 -q filesrc location="$long" ! cdmoviedemux name=d d.video ! \
    cdmoviedec ! fakesink sync=false) || exit 1
echo "  GStreamer, cdmoviedemux ! cdmoviedec:  $(rate $pictures "$t") pictures/s ($t s)"
t=$(best_of_3 "$movtool" info "$long") || exit 1
echo "  movtool info (decodes every record):   $(rate $pictures "$t") pictures/s ($t s)"
"$movtool" export "$long" "$work/long.mkv" >/dev/null 2>&1 || { echo "bench_gst: export failed"; exit 1; }
frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
    -of default=noprint_wrappers=1:nokey=1 "$work/long.mkv")
t=$(best_of_3 gst-launch-1.0 -q filesrc location="$work/long.mkv" ! matroskademux ! \
    avdec_ffv1 ! fakesink sync=false) || exit 1
echo "  GStreamer, FFV1 in Matroska ($frames pictures): $(rate "$frames" "$t") pictures/s ($t s)"

# CPU seconds and peak memory of a running process.
cpu_of() { awk '{ print ($14 + $15) / '"$(getconf CLK_TCK)"' }' "/proc/$1/stat"; }
peak_kb() { awk '/^VmHWM/ { print $2 }' "/proc/$1/status"; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
pids=$!
for _ in $(seq 300); do grep -q '^[0-9]' "$work/display" 2>/dev/null && break; sleep 0.1; done
number=$(head -1 "$work/display")
[ -n "$number" ] || { echo "bench_gst: no X server"; exit 1; }
export DISPLAY=:$number
gst-play-1.0 --no-interactive --videosink=ximagesink --audiosink="fakesink sync=true" \
    "$trailer" >"$work/play.log" 2>&1 &
play=$!
pids="$pids $play"
filmo_pid=
if [ -x "$filmo" ]; then
    FILMO_WINDOWED=1 FILMO_NO_BOXES=1 SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk \
        SDL_DISKAUDIOFILE="$work/sound.raw" "$filmo" "$trailer" >"$work/filmo.log" 2>&1 &
    filmo_pid=$!
    pids="$pids $filmo_pid"
fi
sleep "$seconds"
echo "playing the trailer for $seconds s in a window, side by side:"
percent() { awk -v c="$1" -v s="$seconds" 'BEGIN { print c * 100 / s }'; }
printf '  gst-play-1.0: %5.1f %% of one core, %6d kB peak\n' \
    "$(percent "$(cpu_of $play)")" "$(peak_kb $play)"
if [ -n "$filmo_pid" ]; then
    printf '  filmo:        %5.1f %% of one core, %6d kB peak\n' \
        "$(percent "$(cpu_of "$filmo_pid")")" "$(peak_kb "$filmo_pid")"
fi
