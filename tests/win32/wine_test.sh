#!/usr/bin/env bash
# The Windows programs under Wine, and the demo disc, as a user meets them. Every case starts
# its own X server and sound server; the cases share one Wine prefix, made by the first.
# usage: wine_test.sh CASE BUILD_DIR WINDOWS_DIR PREFIX [IMAGE]
#   prefix       makes the private Wine prefix
#   backend      the backend's own test program, on a folder of links, pipes, read-only files
#                and odd names; nothing outside that folder changes
#   filmo_alone  filmo.exe without a movie: the box "Could not open any video ", exit status 0
#   filmo_nosound  filmo.exe without a sound server: the sound error's box, exit status 0
#   filmo_still  filmo.exe on a film of one picture: the screen shows that picture
#   menu         runner.exe: the menu over its picture, the install state following the
#                record the stand-in set-up writes into Wine's registry, the trailer with its
#                sound and Escape back, Uninstall and Yes deleting exactly the demo's files
#   image        the disc image read back: the Linux menu from it, and runner.exe under Wine
set -euo pipefail
case=${1:?usage: wine_test.sh CASE BUILD_DIR WINDOWS_DIR PREFIX}
build=$(realpath "$2") windows=$(realpath -m "$3") PREFIX=$(realpath -m "$4") iso=${5:-}
here=$(dirname "$(realpath "$0")")
source "$here/wine_lib.sh"
source "$here/democd_table.sh"
WORK=$(mktemp -d)
trap lib_cleanup EXIT

# The packages of deps/apt-packages.txt bring every tool: one missing is a broken machine.
for tool in wine wineserver Xvfb pulseaudio pactl xdotool import convert compare xorriso; do
    command -v "$tool" >/dev/null || fail "$tool missing"
done
# A Windows build that is missing is a broken build, not a reason to skip.
for program in filmo.exe runner.exe setup.exe dxsetup.exe; do
    [ -f "$windows/$program" ] || fail "$windows/$program missing: make windows builds it"
done
democd=$build/democd
movtool=$build/tools/movtool/movtool

make_disc() { bash "$here/../../apps/democd/disc_layout.sh" "$democd" "$windows" "$1"; }

# ---- the menu, driven the same way whichever build shows it ------------------------------

# Starts the menu of disc folder $2 with driver $1 (wine: runner.exe in a Wine desktop; linux:
# the Linux runner reading the same prefix's registry and drive C:), and sets the client
# area's place on the screen.
menu_start() {
    local driver=$1 disc=$2
    menu_driver=$driver
    if [ "$driver" = wine ]; then
        mount_disc "$disc"
        # DirectDraw changes the mode only inside a Wine desktop.
        (cd "$disc" && exec wine explorer /desktop=democd,1024x768 'D:\runner.exe') \
            >"$WORK/menu.log" 2>&1 &
        menu=$!
        pids+=($menu)
        wait_for 300 locate_client || fail "the menu window did not appear"
    else
        (cd "$disc" && WINEPREFIX=$PREFIX RUNNER_WINE=true QT_QPA_PLATFORM=xcb \
            XDG_RUNTIME_DIR=$WORK exec ./runner --cd "$disc" --drive D) >"$WORK/menu.log" 2>&1 &
        menu=$!
        pids+=($menu)
        # No window manager: the centred frame is the client area itself.
        client_x=$(((1024 - 486) / 2)) client_y=$(((768 - 503) / 2))
    fi
}

# runner.exe's client area on the screen, from its shown window's frame: Wine draws equal
# sides and the caption on top, and the layout centres the frame on the desktop.
locate_client() {
    [ "$menu_driver" = wine ] || return 0
    local geometry
    geometry=$(for w in $(xdotool search --onlyvisible --name '^Zenthor DEMO$' 2>/dev/null); do
        xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: //p'
    done | grep -v '^1x1$' | head -n 1)
    [ -n "$geometry" ] || return 1
    local w=${geometry%x*} h=${geometry#*x}
    local side=$(((w - PICTURE_W) / 2))
    client_x=$(((1024 - w) / 2 + side))
    client_y=$(((768 - h) / 2 + h - (PICTURE_H + 118) - side))
}

menu_shown() {
    locate_client && shot "$1" && [ "$(area_differs "$1" \
        "${PICTURE_W}x${PICTURE_H}+$((client_x + PICTURE_X))+$((client_y + PICTURE_Y))" \
        "$democd/loading.bmp")" = 0 ]
}

label_dark() { # screenshot button
    local area=${LABEL[$2]}
    local size=${area%%+*} rest=${area#*+}
    dark_pixels "$1" "$size+$((client_x + ${rest%%+*}))+$((client_y + ${rest#*+}))"
}
buttons_enabled() { shot "$1" && [ "$(label_dark "$1" play)" -gt 0 ] && [ "$(label_dark "$1" uninstall)" -gt 0 ]; }
buttons_disabled() { shot "$1" && [ "$(label_dark "$1" play)" = 0 ] && [ "$(label_dark "$1" uninstall)" = 0 ]; }

click() {
    local xy=(${BUTTON[$1]})
    xdotool mousemove $((client_x + xy[0])) $((client_y + xy[1])) click 1 sleep 0.2 \
        mousemove 1020 760
}

# The registry reaches system.reg, where the Linux menu reads it, when Wine's server ends;
# runner.exe asks the server itself. menu_driver says which of them looks.
menu_driver=none
registry_flush() { [ "$menu_driver" = wine ] || wineserver -w; }

install_demo() {
    (cd "$1" && wine 'D:\setup.exe' -s) >>"$WORK/setup.log" 2>&1 || fail "setup.exe -s failed"
    registry_flush
}

record() { wine reg query 'HKLM\Software\Quillon\Zenthor\Inf' /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/.*REG_SZ *//p"; }

zenthor=$PREFIX/drive_c/ZENTHOR

# The install state follows the record: present, gone, back again.
check_state() {
    local driver=$1 disc=$2
    wait_for 100 buttons_enabled "$driver-installed" ||
        fail "$driver: the menu does not show the demo as installed"
    wine reg delete 'HKLM\Software\Quillon\Zenthor\Inf' /f >/dev/null 2>&1 ||
        fail "cannot remove the install record"
    registry_flush
    wait_for 100 buttons_disabled "$driver-removed" ||
        fail "$driver: Play and Uninstall stay enabled without the install record"
    install_demo "$disc"
    wait_for 100 buttons_enabled "$driver-reinstalled" ||
        fail "$driver: the menu does not see the install again"
    lap "$driver: the install state follows the registry record"
}

# Uninstall, Yes: exactly the table's files go, the rest of the install and the disc stay.
check_uninstall() {
    local driver=$1 disc=$2
    # The demo's own uninstaller is replaced by one that does nothing, so what is gone is what
    # the menu deleted.
    cp "$windows/setup.exe" "$zenthor/NOOP.EXE"
    wine reg add 'HKLM\Software\Quillon\Zenthor\Inf' /v Uninstall \
        /d 'C:\ZENTHOR\NOOP.EXE -fC:\ZENTHOR\INSTALL.LOG' /f >/dev/null 2>&1
    registry_flush
    local before=$WORK/install.before disc_before=$WORK/disc.before
    tree_listing "$zenthor" >"$before"
    tree_listing "$disc" >"$disc_before"
    for f in "${INSTALLED[@]}"; do grep -q " ./$f\$" "$before" || fail "install lacks $f"; done
    click uninstall
    wait_for 100 xdotool search --onlyvisible --name '^Uninstall$' >/dev/null ||
        fail "$driver: Uninstall asked no question"
    shot "$driver-question"
    # The menu ends as it starts the demo's uninstaller in its place.
    if [ "$driver" = wine ]; then
        press_until '^Uninstall$' Return bash -c "! pgrep -f 'D:.runner[.]exe' >/dev/null" ||
            fail "wine: the menu did not end"
    else
        local status=0
        press_until '^Uninstall$' Return gone "$menu" || fail "linux: the menu did not end"
        wait "$menu" || status=$?
        [ "$status" = 0 ] || fail "linux: the menu ended with $status"
    fi
    local expected=$WORK/install.expected
    cp "$before" "$expected"
    for f in "${UNINSTALL_REMOVES[@]}"; do
        grep -v " ./$f\$" "$expected" >"$expected.new" || true
        mv "$expected.new" "$expected"
    done
    tree_listing "$zenthor" >"$WORK/install.after"
    diff "$expected" "$WORK/install.after" || fail "$driver: Uninstall deleted other files"
    tree_listing "$disc" | diff "$disc_before" - || fail "$driver: Uninstall changed the disc"
    [ -d "$zenthor/save" ] || fail "$driver: the save folder went"
    lap "$driver: Uninstall deleted exactly the demo's files"
}

# ---- the cases -----------------------------------------------------------------------------

case_prefix() {
    rm -rf "$PREFIX"
    mkdir -p "$(dirname "$PREFIX")"
    start_x
    use_wine
    wineboot -i >"$WORK/wineboot.log" 2>&1 || fail "wineboot could not make the prefix"
    # With Direct3D, ordinary windows stop repainting once DirectDraw had the screen.
    wine reg add 'HKCU\Software\Wine\Direct3D' /v renderer /d no3d /f >/dev/null 2>&1 ||
        fail "cannot set the Direct3D renderer"
    wineserver -w
    lap "prefix made: $(du -sh "$PREFIX" | cut -f1)"
}

# filmo.exe ($1) said "Fatal Error occured: $2" on stderr, and Return on its box ends it with
# exit status 0.
box_ends_player() {
    local player=$1 message=$2
    tr -d "\r" <"$WORK/filmo.err" | grep -qx "Fatal Error occured: $message" ||
        fail "the message is not the expected one: $(cat "$WORK/filmo.err")"
    press_until '^Fatal Error occured$' Return gone "$player" || fail "the box did not end filmo.exe"
    local status=0
    wait "$player" || status=$?
    [ "$status" = 0 ] || fail "filmo.exe ended with $status"
}

case_filmo_alone() {
    start_x
    use_wine
    mkdir -p "$WORK/empty"
    (cd "$WORK/empty" && exec wine "$windows/filmo.exe") >"$WORK/filmo.out" 2>"$WORK/filmo.err" &
    local player=$!
    pids+=($player)
    wait_for 300 xdotool search --onlyvisible --name '^Fatal Error occured$' >/dev/null ||
        fail "no message box"
    # The box is drawn: its text is on the screen as dark pixels on a light face.
    drawn() { shot box && [ "$(dark_pixels box 1024x768+0+0)" -lt $((1024 * 768 - 2000)) ]; }
    wait_for 100 drawn || fail "the box was not drawn"
    box_ends_player "$player" "Could not open any video "
    lap "filmo.exe alone: the box, then exit status 0"
}

case_backend() {
    start_x
    start_sound
    use_wine
    local dir=$WORK/attack outside=$WORK/outside
    mkdir -p "$dir/sub" "$outside/inner"
    printf 'keep\n' >"$outside/keep.txt"
    printf 'inner\n' >"$outside/inner/x.lst"
    printf 'a\n' >"$dir/a.lst"
    printf 'b\n' >"$dir/B.LST"
    printf 'e\n' >"$dir/café.lst"
    printf 'j\n' >"$dir/日本.lst"
    printf 'l\n' >"$dir/$(printf 'x%.0s' $(seq 120)).lst"
    printf 'r\n' >"$dir/ro.txt"
    chmod 444 "$dir/ro.txt"
    ln -s "$outside" "$dir/dirlink"
    ln -s "$outside/keep.txt" "$dir/filelink"
    mkfifo "$dir/fifo"
    local before
    before=$(tree_listing "$outside")
    local status=0
    timeout 120 wine "$windows/tests/backend_tests.exe" "$(winepath -w "$dir")" \
        >"$WORK/backend.log" 2>"$WORK/backend.err" || status=$?
    cat "$WORK/backend.log"
    [ "$status" = 0 ] || fail "the backend test failed ($status)"
    [ "$(tree_listing "$outside")" = "$before" ] || fail "something outside the folder changed"
    [ -f "$dir/日本.lst" ] && [ -f "$dir/ro.txt" ] && [ -p "$dir/fifo" ] && [ -d "$dir/sub" ] ||
        fail "the backend test deleted what it must not"
    lap "backend services as the platform headers promise"
}

case_filmo_nosound() {
    start_x
    use_wine
    # No sound server and no sound card: an empty ALSA configuration.
    : >"$WORK/asound.conf"
    export PULSE_SERVER=unix:$WORK/no-server ALSA_CONFIG_PATH=$WORK/asound.conf
    local picture=$build/apps/democd/art/0100.png
    "$movtool" encode --quiet -o "$WORK/still.mov" "$picture" "$picture" ||
        fail "cannot make the film"
    (cd "$WORK" && exec wine "$windows/filmo.exe" still.mov) >"$WORK/filmo.out" 2>"$WORK/filmo.err" &
    local player=$!
    pids+=($player)
    wait_for 300 xdotool search --onlyvisible --name '^Fatal Error occured$' >/dev/null ||
        fail "no message box"
    box_ends_player "$player" "$NOSOUND_BOX_WINE"
    lap "filmo.exe without sound: \"$NOSOUND_BOX_WINE\", then exit status 0"
}

case_filmo_still() {
    start_x
    start_sound
    use_wine
    # A film of one picture, shown 1:1 in the 320x200 mode: the screen is that picture.
    local picture=$build/apps/democd/art/0100.png
    [ -f "$picture" ] || fail "$picture missing"
    "$movtool" encode --quiet -o "$WORK/still.mov" "$picture" "$picture" "$picture" "$picture" \
        "$picture" "$picture" "$picture" "$picture" || fail "cannot make the film"
    "$movtool" screen "$WORK/still.mov" 1 B 565 320x200 "$WORK/expected.raw" ||
        fail "cannot compute the screen"
    ffmpeg -loglevel error -f rawvideo -pix_fmt rgb565le -s 320x200 -i "$WORK/expected.raw" \
        -frames:v 1 "$WORK/expected.png" || fail "cannot convert the screen"
    (cd "$WORK" && exec wine explorer /desktop=filmo,1024x768 \
        "$(winepath -w "$windows/filmo.exe")" still.mov) >"$WORK/filmo.log" 2>&1 &
    pids+=($!)
    # 16 to 24 bits may round a step apart from ffmpeg's: 3 % of each channel.
    shown() { shot still && [ "$(convert "$WORK/still.png" -crop 320x200+0+0 +repage png:- |
        compare -fuzz 3% -metric AE - "$WORK/expected.png" null: 2>&1)" = 0 ]; }
    wait_for 300 shown || fail "the screen is not the film's picture"
    # The rest of the X screen is outside the 320x200 desktop: black.
    [ "$(dark_pixels still 704x768+320+0)" = $((704 * 768)) ] || fail "more than the film shows"
    lap "filmo.exe shows the film's picture pixel for pixel"
}

case_menu() {
    start_x
    start_sound
    use_wine
    local disc=$WORK/disc
    make_disc "$disc"
    mount_disc "$disc"
    install_demo "$disc"
    [ "$(record Path)" = 'C:\ZENTHOR' ] || fail "setup.exe wrote no install record"
    export FILMO_TRACE='Z:'$WORK/trace.txt
    menu_start wine "$disc"
    wait_for 300 menu_shown menu || fail "the menu with its picture did not appear"
    lap "menu shown over loading.bmp, pixel for pixel"
    check_state wine "$disc"

    # Trailer: Trailer\filmo.exe plays, the pictures change while the sound's cursor moves.
    click trailer
    wait_for 100 pgrep -f 'Trailer.filmo[.]exe Trailer.trailer[.]mov' >/dev/null ||
        fail "Trailer did not start Trailer\\filmo.exe with its film"
    playing() {
        [ -f "$WORK/trace.txt" ] &&
            [ "$(awk '$2 >= 0 { print $2 }' "$WORK/trace.txt" | sort -u | wc -l)" -ge 8 ]
    }
    wait_for 300 playing || fail "no pictures shown while the sound plays"
    colourful() { shot "$1" && [ "$(convert "$WORK/$1.png" -crop 320x200+0+0 +repage -format %k info:)" -gt 50 ]; }
    wait_for 100 colourful trailer1 || fail "the trailer's pictures are not on the screen"
    moved() { colourful trailer2 && [ "$(area_differs trailer2 320x200+0+0 "$WORK/trailer1.png[320x200+0+0]")" -gt 1000 ]; }
    wait_for 100 moved || fail "the trailer's pictures do not change"
    lap "trailer: $(wc -l <"$WORK/trace.txt") pictures shown, play cursor at $(tail -n 1 "$WORK/trace.txt" | cut -d' ' -f2)"
    press_until '^Halvener-Test$' Escape bash -c "! pgrep -f 'Trailer.filmo[.]exe' >/dev/null" ||
        fail "Escape did not end the player"
    wait_for 100 menu_shown after_trailer || fail "the menu did not come back after the trailer"
    lap "Escape brought the menu back"

    check_uninstall wine "$disc"

    # The demo's own uninstaller (the stand-in) takes the rest and the record, never what a
    # link in the install leads to.
    mkdir -p "$WORK/outside"
    printf 'keep\n' >"$WORK/outside/keep.txt"
    ln -sfn "$WORK/outside/keep.txt" "$zenthor/evil.txt"
    ln -sfn "$WORK/outside" "$zenthor/save/evil"
    local outside
    outside=$(tree_listing "$WORK/outside")
    timeout 60 wine 'C:\ZENTHOR\UNINST.EXE' '-fC:\ZENTHOR\INSTALL.LOG' >"$WORK/uninst.log" 2>&1 ||
        fail "UNINST.EXE failed"
    [ "$(tree_listing "$WORK/outside")" = "$outside" ] || fail "UNINST.EXE changed what a link leads to"
    [ -z "$(record Path)" ] || fail "UNINST.EXE left the install record"
    # Its own file, still running, goes at the next start of the system.
    local left
    left=$(find "$zenthor" -type f ! -path "$zenthor/UNINST.EXE" 2>/dev/null)
    [ -z "$left" ] || fail "UNINST.EXE left files: $left"
    lap "the stand-in uninstaller removed the install, links left alone"
    rm -f "$zenthor/evil.txt" "$zenthor/save/evil"
}

case_image() {
    start_x
    use_wine
    local disc=$WORK/extracted
    [ -f "$iso" ] || fail "$iso missing: make cd-image makes it"
    xorriso -osirrox on -indev "$iso" -extract / "$disc" >"$WORK/xorriso.log" 2>&1 ||
        fail "cannot read the image back"
    chmod -R u+w "$disc"
    xorriso -indev "$iso" -pvd_info 2>/dev/null | grep -q 'Volume Id *: ZENTHOR_DEMO' ||
        fail "the image has not the demo's volume label"
    grep -q '^open=runner.exe' "$disc/autorun.inf" || fail "autorun.inf does not start the menu"
    for f in runner.exe loading.bmp Readme.txt setup.exe directx/dxsetup.exe Trailer/filmo.exe \
             Trailer/trailer.mov linux/start linux/runner linux/Trailer/filmo.exe; do
        [ -f "$disc/$f" ] || fail "the image lacks $f"
    done
    # The Joliet names Windows reads keep their case.
    xorriso -indev "$iso" -rockridge off -find /Trailer -name filmo.exe 2>/dev/null | grep -q filmo.exe ||
        fail "no Joliet name Trailer/filmo.exe"
    lap "image read back: $(du -h "$iso" | cut -f1)"

    # The Linux menu from the disc's own folder, by its start script.
    mount_disc "$disc"
    install_demo "$disc"
    (cd "$disc/linux" && WINEPREFIX=$PREFIX RUNNER_WINE=true XDG_RUNTIME_DIR=$WORK exec ./start) \
        >"$WORK/menu.log" 2>&1 &
    menu=$!
    pids+=($menu)
    menu_driver=linux
    client_x=$(((1024 - 486) / 2)) client_y=$(((768 - 503) / 2))
    wait_for 300 menu_shown linux-menu || fail "the Linux menu from the disc did not appear"
    check_state linux "$disc"
    check_uninstall linux "$disc"

    # runner.exe from the same tree, under Wine.
    menu_driver=none
    install_demo "$disc"
    menu_start wine "$disc"
    wait_for 300 menu_shown wine-menu || fail "runner.exe from the disc did not show its menu"
    wait_for 100 buttons_enabled wine-menu || fail "runner.exe does not see the install"
    check_uninstall wine "$disc"
}

SECONDS=0
"case_$case"
lap "ok"
