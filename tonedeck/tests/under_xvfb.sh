#!/usr/bin/env bash
# Runs a test program against a private X server instead of Qt's offscreen platform, so
# widgets, menus and dialogs are real X windows: under_xvfb.sh PROGRAM [ARGS...]
set -u
command -v Xvfb >/dev/null || { echo "SKIP: no Xvfb"; exit 0; }
work=$(mktemp -d)
xvfb=""
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(head -1 "$work/display") QT_QPA_PLATFORM=xcb
unset XAUTHORITY
"$@"
