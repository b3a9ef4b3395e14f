#!/usr/bin/env bash
# The Debian package as a user gets it: built from the build tree by CPack into a scratch
# folder, unpacked into a scratch root, each program's --help run from there, every library
# its programs need found and named in its dependencies, lintian without an error, valid
# AppStream and desktop files, and nothing in it that points back into the build.
# usage: package_check.sh BUILD_DIR PROGRAM...
set -uo pipefail
build=$1
shift
programs=("$@")

for tool in cpack dpkg-deb dpkg-shlibdeps lintian appstreamcli desktop-file-validate; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/cpack" \
    -D CPACK_OUTPUT_FILE_PREFIX="$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
debs=("$work"/out/*.deb)
[ "${#debs[@]}" = 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: not one package: ${debs[*]}"; exit 1; }
deb=${debs[0]}
root=$work/root
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x"; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)

# Each program runs from the scratch root, without a display and without the build tree.
for p in "${programs[@]}"; do
    exe=$root/usr/bin/$p
    [ -x "$exe" ] || { fail "$p is not in the package"; continue; }
    if ! env -u DISPLAY -u WAYLAND_DISPLAY "$exe" --help >"$work/$p.help" 2>"$work/$p.err"; then
        fail "$p --help from the package does not exit 0"
        cat "$work/$p.err"
    fi
    grep -q "^usage: $p" "$work/$p.help" || fail "$p --help prints no usage line"
    [ -f "$root/usr/share/man/man1/$p.1.gz" ] || fail "no manual page for $p"
done

# Every machine-code file: its libraries are found, and each package dpkg-shlibdeps derives
# from them is among the package's dependencies.
mkdir -p "$work/shlibs/debian"
printf 'Source: democd\n\nPackage: democd\nArchitecture: any\n' >"$work/shlibs/debian/control"
elves=()
while IFS= read -r -d '' f; do
    head -c 4 "$f" | grep -q $'^\x7fELF' && elves+=("$f")
done < <(find "$root" -type f -print0)
[ "${#elves[@]}" -ge "${#programs[@]}" ] || fail "only ${#elves[@]} programs in the package"
for f in "${elves[@]}"; do
    ldd "$f" 2>&1 | grep -q "not found" && fail "${f#"$root"}: $(ldd "$f" | grep 'not found')"
done
if ! (cd "$work/shlibs" && dpkg-shlibdeps -O "${elves[@]}") >"$work/shlibs.out" 2>"$work/shlibs.err"; then
    fail "dpkg-shlibdeps failed"
    cat "$work/shlibs.err"
fi
if grep -E "cannot find|no dependency information|not found" "$work/shlibs.err"; then
    fail "dpkg-shlibdeps misses a library"
fi
needed=$(sed -n 's/^shlibs:Depends=//p' "$work/shlibs.out" | tr ',' '\n' | sed 's/^ *//; s/ .*//')
[ -n "$needed" ] || fail "dpkg-shlibdeps found no dependency at all"
have=$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
for name in $needed; do
    grep -qxF -- "$name" <<<"$have" || fail "Depends lacks $name (it has: $depends)"
done

# Debian's own checks: no error.
lintian --fail-on error --allow-root "$deb" >"$work/lintian.out" 2>&1 ||
    { fail "lintian:"; cat "$work/lintian.out"; }
grep '^E:' "$work/lintian.out" && fail "lintian reports errors"

metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "no AppStream metainfo"
for m in "${metainfo[@]}"; do
    appstreamcli validate --no-net "$m" >"$work/appstream.out" 2>&1 ||
        { fail "appstreamcli validate ${m#"$root"}:"; cat "$work/appstream.out"; }
    # What the metainfo names must be in the package.
    for id in $(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$m"); do
        [ -f "$root/usr/share/applications/$id" ] || fail "metainfo launches $id, not packaged"
    done
    for b in $(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$m"); do
        [ -x "$root/usr/bin/$b" ] || fail "metainfo provides $b, not packaged"
    done
done
for entry in "$root"/usr/share/applications/*.desktop; do
    desktop-file-validate "$entry" >"$work/desktop.out" 2>&1
    [ -s "$work/desktop.out" ] && { fail "${entry#"$root"}:"; cat "$work/desktop.out"; }
done

# The demo CD under share/, whose links stay inside the package, and the menu's entry opens it.
cd_dir=$root/usr/share/democd
for f in loading.bmp Readme.txt Trailer/trailer.mov Trailer/filmo.exe directx/dxsetup.exe; do
    [ -e "$cd_dir/$f" ] || fail "the demo CD lacks $f"
done
while IFS= read -r -d '' link; do
    target=$(readlink "$link")
    case $target in /*) fail "${link#"$root"} points outside the package: $target" ;; esac
    [ -e "$link" ] || fail "${link#"$root"} is a broken link"
done < <(find "$root" -type l -print0)
grep -q '^Exec=runner --cd "/usr/share/democd"$' "$root/usr/share/applications/runner.desktop" ||
    fail "runner.desktop does not open /usr/share/democd: $(grep ^Exec= "$root/usr/share/applications/runner.desktop")"
if grep -rlI -- "$(realpath "$build")" "$root" >"$work/paths"; then
    fail "files name the build folder:"
    cat "$work/paths"
fi

# The GStreamer plugin in GStreamer's own folder, playing the packaged trailer with nothing but
# what the package holds; a registry of this check's own.
if [ -n "${GST_PLUGIN_FILE:-}" ]; then
    plugin=$root/usr/$GST_PLUGIN_FILE
    [ -f "$plugin" ] || fail "the package lacks /usr/$GST_PLUGIN_FILE"
    GST_REGISTRY=$work/registry.bin GST_PLUGIN_PATH=$(dirname "$plugin") \
        gst-discoverer-1.0 "$cd_dir/Trailer/trailer.mov" >"$work/discover.out" 2>&1
    # Its length, from the records the file holds (160 ms each), to the nanosecond.
    ms=$(($(stat -c %s "$cd_dir/Trailer/trailer.mov") / 43797 * 160))
    length=$(printf '%d:%02d:%02d.%03d000000' $((ms / 3600000)) $((ms / 60000 % 60)) \
        $((ms / 1000 % 60)) $((ms % 1000)))
    grep -qF "Duration: $length" "$work/discover.out" ||
        { fail "the packaged plugin does not give the trailer's length:"; cat "$work/discover.out"; }
fi

[ "$failures" -eq 0 ] && echo "package checked: $(basename "$deb"), Depends: $depends"
exit $((failures > 0))
