#!/usr/bin/env bash
# Lays out the demo disc in a folder, for the image and for the tests that use it as a disc:
#   autorun.inf  runner.exe  loading.bmp  Readme.txt  setup.exe  directx/dxsetup.exe
#   Trailer/filmo.exe  Trailer/trailer.mov          the Windows disc, as its menu expects it
#   linux/       the Linux demo CD folder (its own runner, filmo and stand-ins), and
#   linux/start  the script that starts the Linux menu from the disc
# The films, the picture and the readme of linux/ are hard links to the root's: the image
# holds them once.
# usage: disc_layout.sh DEMOCD_DIR WINDOWS_DIR OUT_DIR
set -euo pipefail
democd=$(realpath "${1:?usage: disc_layout.sh DEMOCD_DIR WINDOWS_DIR OUT_DIR}")
windows=$(realpath "${2:?usage: disc_layout.sh DEMOCD_DIR WINDOWS_DIR OUT_DIR}")
out=${3:?usage: disc_layout.sh DEMOCD_DIR WINDOWS_DIR OUT_DIR}

for f in "$democd/runner" "$democd/loading.bmp" "$democd/Readme.txt" \
         "$democd/Trailer/trailer.mov" "$democd/Trailer/filmo.exe" "$democd/setup.exe" \
         "$democd/directx/dxsetup.exe" "$windows/runner.exe" "$windows/filmo.exe" \
         "$windows/setup.exe" "$windows/dxsetup.exe"; do
    [ -f "$f" ] || { echo "disc_layout: $f is missing; build it first" >&2; exit 1; }
done

# Made beside the target and moved in at the end: a failed run leaves no half disc.
rm -rf "$out.new"
mkdir -p "$out.new/Trailer" "$out.new/directx" "$out.new/linux/Trailer" "$out.new/linux/directx"
cd "$out.new"
cp "$democd/loading.bmp" "$democd/Readme.txt" .
cp "$democd/Trailer/trailer.mov" Trailer/
cp "$windows/runner.exe" "$windows/setup.exe" .
cp "$windows/dxsetup.exe" directx/
cp "$windows/filmo.exe" Trailer/
printf '[autorun]\r\nopen=runner.exe\r\nicon=runner.exe,0\r\nlabel=Zenthor DEMO\r\n' >autorun.inf

ln loading.bmp linux/loading.bmp
ln Readme.txt linux/Readme.txt
ln Trailer/trailer.mov linux/Trailer/trailer.mov
# The Linux programs without their debugging symbols; both set-up stand-ins are one program.
strip --strip-unneeded -o linux/runner "$democd/runner"
strip --strip-unneeded -o linux/Trailer/filmo.exe "$democd/Trailer/filmo.exe"
strip --strip-unneeded -o linux/setup.exe "$democd/setup.exe"
ln linux/setup.exe linux/directx/dxsetup.exe
cat >linux/start <<'SCRIPT'
#!/bin/sh
# Starts the demo CD's menu for Linux from the disc: the menu needs Qt 6 and the trailer
# player SDL 2 (Debian: libqt6widgets6 and libsdl2-2.0-0); the Windows programs it starts,
# the set-up and the game, run through Wine.
cd "$(dirname "$0")" && exec ./runner --cd "$PWD" "$@"
SCRIPT
chmod 755 linux/start linux/runner linux/Trailer/filmo.exe linux/setup.exe linux/directx/dxsetup.exe
cd - >/dev/null
rm -rf "$out"
mv "$out.new" "$out"
