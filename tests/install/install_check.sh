#!/usr/bin/env bash
# Installs the build into a DESTDIR under /usr/local and checks what a user gets: exactly the
# expected files, programs that run from there, manual pages that render without a warning and
# name every option and environment variable the program's --help names, and valid desktop
# entries whose program and icon are installed.
# usage: install_check.sh BUILD_DIR BINDIR MANDIR DATADIR PROGRAM...
#   DEMOCD_DIR  where the demo CD is installed, relative to the prefix, when it is
#   GST_PLUGIN_FILE  the GStreamer plugin, relative to the prefix, when it is built
set -uo pipefail
build=$1 bindir=$2 mandir=$3 datadir=$4
shift 4
programs=("$@")
prefix=/usr/local

for tool in man groff desktop-file-validate; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! DESTDIR=$root cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

# The programs with a desktop entry and an icon.
has_entry() { [ "$1" = filmo ] || [ "$1" = runner ]; }

expected=()
for p in "${programs[@]}"; do
    expected+=("$bindir/$p" "$mandir/man1/$p.1")
    if has_entry "$p"; then
        expected+=("$datadir/applications/$p.desktop" "$datadir/icons/hicolor/scalable/apps/$p.svg")
    fi
done
expected+=("$datadir/doc/democd/copyright" "$datadir/metainfo/org.democd.runner.metainfo.xml")
# movtool's video export is a program of its own under libexec.
for p in "${programs[@]}"; do
    [ "$p" = movtool ] && expected+=(libexec/democd/movtool-video)
done
# The demo CD, where the build made one: what the menu's desktop entry opens. Its programs are
# links to machine code installed under libexec (or bin, for the player).
if [ -n "${DEMOCD_DIR:-}" ]; then
    for f in loading.bmp Readme.txt Trailer/trailer.mov Trailer/filmo.exe directx/dxsetup.exe; do
        expected+=("$DEMOCD_DIR/$f")
    done
    expected+=(libexec/democd/dxsetup.exe)
    for f in Trailer/filmo.exe directx/dxsetup.exe; do
        [ -x "$root$prefix/$DEMOCD_DIR/$f" ] || fail "$DEMOCD_DIR/$f: not a program"
    done
fi
if [ -n "${GST_PLUGIN_FILE:-}" ]; then
    expected+=("$GST_PLUGIN_FILE")
    # GStreamer finds it there, with a registry of this check's own.
    plugin_dir=$root$prefix/$(dirname "$GST_PLUGIN_FILE")
    GST_REGISTRY=$work/registry.bin GST_PLUGIN_PATH=$plugin_dir gst-inspect-1.0 cdmovie \
        >"$work/inspect.out" 2>&1
    grep -q "Filename *$plugin_dir/libgstcdmovie.so" "$work/inspect.out" ||
        { fail "gst-inspect-1.0 does not find the installed plugin:"; cat "$work/inspect.out"; }
fi
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
(cd "$root$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) >"$work/found"
if ! diff -u "$work/expected" "$work/found" >"$work/diff"; then
    fail "installed files differ from the expected ones (- missing, + unexpected):"
    cat "$work/diff"
fi

export LC_ALL=C MANWIDTH=80 MANPATH=$root$prefix/$mandir
for p in "${programs[@]}"; do
    exe=$root$prefix/$bindir/$p
    [ -x "$exe" ] || { fail "$p: not installed as a program"; continue; }
    # No display and no sound here: only --help must work, and must not need the build tree.
    if ! env -u DISPLAY -u WAYLAND_DISPLAY "$exe" --help >"$work/$p.help" 2>"$work/$p.err"; then
        fail "$p --help does not exit 0"
        cat "$work/$p.err"
    fi
    grep -q "^usage: $p" "$work/$p.help" || fail "$p --help prints no usage line"

    page=$root$prefix/$mandir/man1/$p.1
    [ -f "$page" ] || continue
    groff -ww -z -man "$page" >"$work/$p.groff" 2>&1
    [ -s "$work/$p.groff" ] && { fail "$p.1: groff warns:"; cat "$work/$p.groff"; }
    if ! man --warnings --nh --nj -P cat "$p" >"$work/$p.man" 2>"$work/$p.manerr"; then
        fail "man $p does not find or render the page"
        cat "$work/$p.manerr"
    elif [ -s "$work/$p.manerr" ]; then
        fail "man $p warns:"
        cat "$work/$p.manerr"
    fi
    grep -q "^NAME" "$work/$p.man" || fail "man $p: no NAME section"

    # What --help promises, the page must explain: options, environment variables, commands.
    names=$(grep -oE -- '--[a-z][a-z0-9-]*|\b[A-Z][A-Z0-9]*_[A-Z0-9_]*[A-Z0-9]\b|\$[A-Z][A-Z0-9_]*' \
        "$work/$p.help" | sed 's/^\$//' | grep -v -E '^[A-Z]+_[A-Z]$' | sort -u)
    commands=$(sed -n -E "s/^  $p ([a-z]+) .*/$p \1/p" "$work/$p.help")
    while IFS= read -r name; do
        [ -z "$name" ] && continue
        grep -qF -- "$name" "$work/$p.man" || fail "man $p does not mention $name from --help"
    done <<<"$names"$'\n'"$commands"
done

# movtool finds its video exporter where it was installed, away from the build tree.
for p in "${programs[@]}"; do
    [ "$p" = movtool ] || continue
    head -c $((3 * 43797)) /dev/zero >"$work/blank.mov"
    if ! "$root$prefix/$bindir/movtool" export "$work/blank.mov" "$work/blank.mkv" \
        >"$work/export.log" 2>&1 || [ ! -s "$work/blank.mkv" ]; then
        fail "the installed movtool does not export a video"
        cat "$work/export.log"
    fi
done

for p in "${programs[@]}"; do
    has_entry "$p" || continue
    entry=$root$prefix/$datadir/applications/$p.desktop
    [ -f "$entry" ] || continue
    desktop-file-validate "$entry" >"$work/$p.validate" 2>&1
    [ -s "$work/$p.validate" ] && { fail "$p.desktop:"; cat "$work/$p.validate"; }
    exec_line=$(sed -n 's/^Exec=//p' "$entry")
    program=${exec_line%% *}
    [ -x "$root$prefix/$bindir/$program" ] || fail "$p.desktop: Exec names $program, not installed"
    # A folder the entry hands over must be one that was installed.
    folder=$(sed -n 's/.*--cd "\([^"]*\)".*/\1/p' <<<"$exec_line")
    [ -z "$folder" ] || [ -f "$root$folder/loading.bmp" ] ||
        fail "$p.desktop: Exec opens $folder, which holds no CD"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    compgen -G "$root$prefix/$datadir/icons/hicolor/*/apps/$icon.*" >/dev/null ||
        fail "$p.desktop: no icon $icon installed"
done

[ "$failures" -eq 0 ] && echo "installed and checked: ${programs[*]}"
exit $((failures > 0))
