#!/usr/bin/env bash
# Builds the Debian package from the build tree, unpacks it into a scratch root with
# dpkg -x, and checks what a user gets: the programs, the libraries found through their
# relative run paths, the menu entry, the autostart entry and the icon.
set -u
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
ok() { passed=$((passed + 1)); }
bad() { failed=$((failed + 1)); echo "FAIL $*"; }
has() { [ -e "$root/$1" ] && ok || bad "missing $1"; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg") >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; bad "cpack failed"; echo "$passed passed, $failed failed"; exit 1; }
deb=$(ls "$work"/pkg/*.deb 2>/dev/null | head -1)
[ -n "$deb" ] && ok || { bad "no .deb"; echo "$passed passed, $failed failed"; exit 1; }
root=$work/root
dpkg -x "$deb" "$root" && ok || bad "dpkg -x"
dpkg-deb -f "$deb" Package Depends >"$work/control"
grep -q '^Package: tonedeck' "$work/control" && ok || bad "package name"
grep -q 'libqt6widgets6' "$work/control" && ok || bad "Depends lacks Qt Widgets: $(cat "$work/control")"
grep -q 'libasound2' "$work/control" && ok || bad "Depends lacks ALSA"

has usr/bin/tonedeck
has usr/bin/tdtool
for lib in libtdplatform.so libtdplatform_desktop.so libtdkit.so libtdkit_ui.so libtdmapi.so libtdmedia.so libtdcodec.so; do
    has "usr/lib/tonedeck/$lib"
done
has usr/share/applications/tonedeck.desktop
has usr/share/icons/hicolor/scalable/apps/tonedeck.svg
has usr/share/icons/hicolor/48x48/apps/tonedeck.png
has usr/share/icons/hicolor/16x16/apps/tonedeck.png
has usr/share/tonedeck/tonedeck.desktop
# Nothing of the build tree or the tests comes along.
[ -z "$(find "$root" -name '*_tests' -o -name '*.a' -o -name 'libtdfakectl*')" ] && ok || bad "test files packaged"

# Run paths are relative: the unpacked programs run from wherever they lie, with no
# library path set, and find every library of their own in the package.
for f in usr/bin/tonedeck usr/bin/tdtool; do
    runpath=$(readelf -d "$root/$f" | sed -n 's/.*R\(UN\)\?PATH.*\[\(.*\)\]/\2/p')
    [ "$runpath" = '$ORIGIN/../lib/tonedeck' ] && ok || bad "$f run path '$runpath'"
    env -u LD_LIBRARY_PATH ldd "$root/$f" >"$work/ldd" 2>&1
    grep -q 'not found' "$work/ldd" && bad "$f: $(grep 'not found' "$work/ldd")" || ok
    grep -q "$build" "$work/ldd" && bad "$f loads from the build tree" || ok
    grep -q "libtdplatform.so => $root/usr/bin/../lib/tonedeck/libtdplatform.so" "$work/ldd" && ok || bad "$f does not use its own libraries"
done
readelf -d "$root/usr/lib/tonedeck/libtdkit_ui.so" | grep -q 'R.*PATH.*\[\$ORIGIN\]' && ok || bad "library run path"
home=$work/home
mkdir -p "$home"
env -u LD_LIBRARY_PATH HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    TONEDECK_REGISTRY_DIR="$home/reg" "$root/usr/bin/tdtool" setup --user Ann >"$work/out" 2>&1 && ok || { bad "installed tdtool"; cat "$work/out"; }
env -u LD_LIBRARY_PATH HOME="$home" TONEDECK_REGISTRY_DIR="$home/reg" \
    "$root/usr/bin/tdtool" user list >"$work/out" 2>&1 && grep -q '\* Ann' "$work/out" && ok || { bad "installed tdtool user list"; cat "$work/out"; }

# The menu entry names the installed program and icon.
entry=$root/usr/share/applications/tonedeck.desktop
grep -qx 'Exec=tonedeck' "$entry" && ok || bad "Exec"
grep -qx 'Icon=tonedeck' "$entry" && ok || bad "Icon"
grep -q '^Categories=.*Audio' "$entry" && ok || bad "Categories"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" && ok || bad "desktop-file-validate"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
