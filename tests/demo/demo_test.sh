#!/usr/bin/env bash
# The demo CD under a virtual X server with a small window manager, driven as a user would:
#   1. the demo command shows the menu with its picture;
#   2. Trailer plays the trailer full-screen with its sound, and Escape brings the menu back;
#   3. Play starts the stand-in game in place of the menu;
#   4. Uninstall, Yes: the demo install is gone, and a second menu left open disables Play and
#      Uninstall by itself.
# usage: demo_test.sh SOURCE_DIR BUILD_DIR SOUND_CHECK SCREENS_DIR
set -euo pipefail
src=$(realpath "$1") build=$(realpath "$2") sound_check=$(realpath "$3") screens=$(realpath -m "$4")
cd_dir=$build/democd
for tool in Xvfb matchbox-window-manager xdotool xprop import compare; do
    command -v "$tool" >/dev/null || { echo "$tool missing"; exit 77; }
done

work=$(mktemp -d)
mkdir -p "$screens"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    pkill -f "^$work/prefix/.*ztDemo[.]exe" 2>/dev/null || true
    [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    for log in "$work"/*.log; do [ -s "$log" ] && { echo "--- $log"; cat "$log"; }; done
    exit 1
}
# shellcheck source=tests/support/wait_for.sh
source "$src/tests/support/wait_for.sh"

# Xvfb picks a free display itself and writes its number to the descriptor once it listens.
exec {ready}>"$work/display"
Xvfb -displayfd "$ready" -noreset -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec {ready}>&-
wait_for 100 test -s "$work/display" || fail "Xvfb did not start"
display=:$(head -n 1 "$work/display")
export DISPLAY=$display XDG_RUNTIME_DIR=$work
# Full screen needs a window manager; matchbox also places the menu at the screen's corner.
# On a loaded machine it has been seen to end at once now and then: it is started again.
start_wm() {
    matchbox-window-manager -use_titlebar no >>"$work/matchbox.log" 2>&1 &
    wm=$!
    pids+=($wm)
}
start_wm
wm_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && return 0
    kill -0 "$wm" 2>/dev/null || start_wm
    return 1
}
wait_for 100 wm_running || fail "the window manager did not start"

shot() { import -window root "$screens/$1.png"; }
# The menu's picture area of a screenshot against loading.bmp: the number of pixels that differ.
picture_differs() {
    convert "$screens/$1.png" -crop 480x360+0+80 +repage "$work/crop.png"
    compare -metric AE "$work/crop.png" "$cd_dir/loading.bmp" null: 2>&1 || true
}
menu_shown() { shot "$1" && [ "$(picture_differs "$1")" = 0 ]; }
button() { # name -> its centre, in the menu's layout
    case $1 in
    play) echo "80 22" ;; uninstall) echo "80 60" ;; readme) echo "240 60" ;;
    trailer) echo "240 460" ;;
    esac
}
# The mouse is moved away after each click, so no button is drawn hovered in a screenshot.
click() { xdotool mousemove $(button "$1") click 1 mousemove 1000 740; }
# How many dark pixels the labels of Play and Uninstall have: none when they are disabled.
labels_dark() {
    for area in 140x24+11+10 140x24+11+48; do
        convert "$screens/$1.png" -crop "$area" +repage -colorspace Gray -threshold 25% \
            -format "%[fx:round(w*h*(1-mean))] " info:
    done | sed 's/ $//'
}

# ---- 1. the demo command
# As make runs it: from the source folder, with relative paths.
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/sound.raw
(cd "$src" && DEMO_PREFIX=$(realpath -m --relative-to=. "$work/prefix") \
    exec bash apps/democd/demo.sh "$(realpath --relative-to=. "$build")") >"$work/menu.log" 2>&1 &
menu=$!
pids+=($menu)
wait_for 100 menu_shown menu || fail "the menu with its picture did not appear"
echo "menu shown: $screens/menu.png"
test -f "$work/prefix/dosdevices/c:/ZENTHOR/ztDemo.exe" || fail "no demo install"
# The menu sees the install: Play and Uninstall are enabled from its first refresh.
buttons_enabled() { shot "$1" && labels_dark "$1" | grep -qx "[1-9][0-9]* [1-9][0-9]*"; }
wait_for 20 buttons_enabled menu || fail "the menu does not see the demo install"

# ---- 2. the trailer, with sound, and Escape
click trailer
wait_for 100 pgrep -x -f "Trailer/filmo.exe Trailer/trailer.mov" >/dev/null ||
    fail "Trailer did not start the player with its command line"
trailer_shown() { shot trailer && [ "$(picture_differs trailer)" -gt 100000 ]; }
wait_for 100 trailer_shown || fail "the trailer did not cover the screen"
# Two and a half seconds of the trailer's sound, then Escape.
has_sound() { "$sound_check" "$cd_dir/Trailer/trailer.mov" "$work/sound.raw" 2.5 >/dev/null 2>&1; }
wait_for 300 has_sound || fail "no sound recorded"
shot trailer
xdotool key Escape
# (The patterns' [.] keeps pgrep from finding the shell that runs it.)
player_gone() { ! pgrep -f "Trailer/filmo[.]exe" >/dev/null; }
wait_for 100 player_gone || fail "Escape did not end the player"
wait_for 50 menu_shown after_trailer || fail "the menu did not come back after the trailer"
"$sound_check" "$cd_dir/Trailer/trailer.mov" "$work/sound.raw" 2.5 ||
    fail "the recorded sound is not the trailer's"
echo "trailer played with its sound and Escape returned to the menu"

# ---- 3. Play: the stand-in game replaces the menu
click play
status=0
wait "$menu" || status=$?
[ "$status" = 0 ] || fail "the menu ended with $status on Play"
game_shown() { xdotool search --onlyvisible --name "^Zenthor DEMO$" >/dev/null; }
wait_for 100 game_shown || fail "Play did not show the stand-in game"
# Its window is the stand-in's dark blue once painted.
game_painted() { shot game && [ "$(convert "$screens/game.png" -format "%[pixel:p{512,100}]" info:)" = "srgb(32,32,64)" ]; }
wait_for 50 game_painted || fail "the stand-in game's window was not drawn"
xdotool key space
game_gone() { ! pgrep -f "ztDemo[.]exe" >/dev/null; }
wait_for 100 game_gone ||
    fail "the stand-in game did not close on a key"
echo "Play started the stand-in game"

# ---- 4. Uninstall from one menu while another stays open
cd "$cd_dir"
WINEPREFIX=$work/prefix ./runner >"$work/watcher.log" 2>&1 &
watcher=$!
pids+=($watcher)
wait_for 100 menu_shown watcher || fail "the second menu did not appear"
wait_for 20 buttons_enabled watcher || fail "Play and Uninstall not enabled"
WINEPREFIX=$work/prefix ./runner >"$work/uninstaller.log" 2>&1 &
uninstaller=$!
pids+=($uninstaller)
wait_for 100 xdotool search --onlyvisible --pid "$uninstaller" >/dev/null ||
    fail "the first menu did not appear"
# It lies over the second at the same place: the click is meant for it once it is in front.
in_front() {
    local active
    active=$(xdotool getactivewindow 2>/dev/null) &&
        xdotool search --onlyvisible --pid "$uninstaller" | grep -qx "$active"
}
wait_for 100 in_front || fail "the first menu did not come to the front"
wait_for 20 buttons_enabled uninstaller || fail "the first menu does not see the demo install"
click uninstall
wait_for 100 xdotool search --onlyvisible --name "^Uninstall$" >/dev/null || fail "no question asked"
shot question
xdotool key Return
status=0
wait "$uninstaller" || status=$?
[ "$status" = 0 ] || fail "the menu ended with $status on Uninstall"
gone() { [ ! -e "$work/prefix/dosdevices/c:/ZENTHOR" ] && ! grep -q Zenthor "$work/prefix/system.reg"; }
wait_for 100 gone || fail "the demo install is still there"
# The menu left open sees it within its period: Play and Uninstall go grey.
buttons_disabled() { shot after_uninstall && [ "$(labels_dark after_uninstall)" = "0 0" ]; }
wait_for 20 buttons_disabled || fail "Play and Uninstall still look enabled"
# ... and Play does nothing now. The menu takes its clicks in order: once Readme's window has
# opened, the click on Play before it has been handled.
click play
click readme
wait_for 100 xdotool search --onlyvisible --name "^README.TXT$" >/dev/null ||
    fail "Readme did not open after the click on the disabled Play"
kill -0 "$watcher" 2>/dev/null || fail "the menu ended on a disabled Play"
game_gone || fail "a disabled Play started the game"
kill -TERM "$watcher"
status=0
wait "$watcher" || status=$?
[ "$status" = 0 ] || fail "the menu ended with $status on SIGTERM"
echo "Uninstall removed the demo install; the open menu disabled Play and Uninstall"
echo "ok (screenshots in $screens)"
