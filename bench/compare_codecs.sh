#!/bin/sh
# Picture quality of movtool encode against period codecs that ffmpeg can write (Cinepak,
# MS Video 1, QuickTime Animation), on clips of ffmpeg's built-in test sources at 320x200 and
# 12.5 pictures a second. Every clip is compared, as RGB, with the same source pictures by
# ffmpeg's psnr filter; bytes/s is the file's size over the clip's length.
#
# usage: bench/compare_codecs.sh [MOVTOOL] [SECONDS]
#   MOVTOOL  the movtool binary (default build/release/tools/movtool/movtool)
#   SECONDS  clip length (default 8)
# Needs ffmpeg and python3. Works in a temporary folder that it removes.
set -eu

movtool=${1:-build/release/tools/movtool/movtool}
seconds=${2:-8}
frames=$(awk "BEGIN { print int($seconds * 12.5 / 2) * 2 }")
command -v ffmpeg >/dev/null || { echo "compare_codecs: ffmpeg is needed" >&2; exit 1; }
command -v python3 >/dev/null || { echo "compare_codecs: python3 is needed" >&2; exit 1; }
[ -x "$movtool" ] || { echo "compare_codecs: no movtool at $movtool" >&2; exit 1; }
movtool=$(cd "$(dirname "$movtool")" && pwd)/$(basename "$movtool")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# PSNR of a decodable file (or raw RGB with its input options) against the source pictures.
psnr() {
    ffmpeg -hide_banner -nostdin "$@" -framerate 12.5 -i "$work/src/%04d.png" \
        -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr" -f null - 2>&1 |
        sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' | tail -1
}

rate() { awk "BEGIN { printf \"%.0f\", $(stat -c %s "$1") / ($frames / 12.5) }"; }

# movtool dump's records (pictures A and B, palette, sound) as RGB pictures.
dump_to_rgb() {
    python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
out = open(sys.argv[2], "wb")
per = 128000 + 744 + 3528
for r in range(len(data) // per):
    rec = data[r * per:(r + 1) * per]
    pal = rec[128000:128744]
    lut = [bytes(3)] * 256
    for v in range(1, 249):
        lut[v] = bytes((c * 255 + 31) // 63 for c in pal[(v - 1) * 3:v * 3])
    out.write(b"".join(lut[p] for p in rec[:128000]))
PY
}

printf '%-11s %-34s %10s %8s\n' clip codec bytes/s PSNR
for source in "mandelbrot" "testsrc2" "cellauto" "life=mold=10:life_color=#00ff00:death_color=#400000"; do
    name=${source%%=*}
    rm -rf "$work/src" && mkdir -p "$work/src"
    case $source in
    *=*) graph="$source:size=320x200:rate=12.5" ;;
    *) graph="$source=size=320x200:rate=12.5" ;;
    esac
    ff -f lavfi -i "$graph" -frames:v "$frames" "$work/src/%04d.png"

    start=$(date +%s.%N)
    "$movtool" encode -q -o "$work/ours.mov" "$work/src/%04d.png" 2>"$work/ours.log"
    took=$(awk "BEGIN { print $(date +%s.%N) - $start }")
    "$movtool" dump "$work/ours.mov" "$work/ours.raw" >/dev/null
    dump_to_rgb "$work/ours.raw" "$work/ours.rgb"
    ours=$(psnr -f rawvideo -pix_fmt rgb24 -s 320x200 -framerate 12.5 -i "$work/ours.rgb")
    lossless=$(sed -n 's/.*lossless records: \([0-9]* of [0-9]*\).*/\1/p' "$work/ours.log")
    printf '%-11s %-34s %10s %8s   (lossless records %s, %.1f records/s)\n' "$name" \
        "movtool encode" "$(rate "$work/ours.mov")" "$ours" "$lossless" \
        "$(awk "BEGIN { print $frames / 2 / $took }")"

    for setting in "-q:v 1" "-q:v 1 -max_strips 32 -max_extra_cb_iterations 6" "-q:v 10"; do
        # shellcheck disable=SC2086
        ff -framerate 12.5 -i "$work/src/%04d.png" -c:v cinepak $setting "$work/c.avi"
        printf '%-11s %-34s %10s %8s\n' "$name" "cinepak $setting" "$(rate "$work/c.avi")" \
            "$(psnr -i "$work/c.avi")"
    done
    ff -framerate 12.5 -i "$work/src/%04d.png" -c:v msvideo1 "$work/v.avi"
    printf '%-11s %-34s %10s %8s\n' "$name" "msvideo1" "$(rate "$work/v.avi")" \
        "$(psnr -i "$work/v.avi")"
    for fmt in rgb24 rgb555be; do
        ff -framerate 12.5 -i "$work/src/%04d.png" -c:v qtrle -pix_fmt $fmt "$work/q.mov"
        printf '%-11s %-34s %10s %8s\n' "$name" "qtrle $fmt" "$(rate "$work/q.mov")" \
            "$(psnr -i "$work/q.mov")"
    done
done
