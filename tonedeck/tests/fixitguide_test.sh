#!/usr/bin/env bash
# The Fixit Guide in the whole program on a real X server: opened from the welcome dialog
# at the first start, three frames in with Next, Back twice, then Exit.
#   fixitguide_test.sh TONEDECK TDTOOL
set -u
tonedeck=$1
tdtool=$2
for tool in Xvfb openbox xdotool xprop; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; echo "0 passed, 1 failed"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
    done
    [ -n "${TONEDECK_KEEP:-}" ] && cp "$work/tonedeck.log" "$TONEDECK_KEEP"; rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/run TONEDECK_AUDIO=virtual
export QT_QPA_PLATFORM=xcb TONEDECK_VIRTUAL_MIXER=$work/mixer.state TONEDECK_TRACE=$work/trace.log
unset XAUTHORITY
# The registry store lives in the test's folder; its machine part says this machine has no
# mail system, so every start shows the no-mail notice before anything else.
export TONEDECK_REGISTRY_DIR=$work/reg
mkdir -p "$TONEDECK_REGISTRY_DIR"
printf '%s\nInstalled=0\n' '[SOFTWARE\Microsoft\Windows\CurrentVersion\Setup\OptionalComponents\MAPI]' \
    >"$TONEDECK_REGISTRY_DIR/machine.ini"
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

passed=0 failed=0
ok() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
check() { if eval "$2"; then ok; else fail "$1 ($2)"; fi; }
wait_for() { local cmd=$1 tenths=${2:-100}; for _ in $(seq "$tenths"); do eval "$cmd" && return 0; sleep 0.1; done; return 1; }
window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
# The frames the guide has loaded, in order, from the trace.
frames() { grep -o '^LoadFrame [0-9]*' "$work/trace.log" 2>/dev/null | cut -d' ' -f2 | tr '\n' ' '; }

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
wait_for '[ -s "$work/display" ]' 100 || { echo "Xvfb did not start"; echo "0 passed, 1 failed"; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
cat >"$work/rc.xml" <<'RC'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <desktops><number>1</number></desktops>
  <keyboard></keyboard>
</openbox_config>
RC
for attempt in 1 2; do
    openbox --config-file "$work/rc.xml" >"$work/openbox.log" 2>&1 &
    pids+=($!)
    wait_for 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' 300 && break
    kill "${pids[-1]}" 2>/dev/null
    [ "$attempt" = 2 ] && { echo "openbox did not start"; echo "0 passed, 1 failed"; exit 1; }
done

"$tdtool" setup --user Ann >/dev/null || fail "setup"
${TONEDECK_WRAP:-} "$tonedeck" >"$work/tonedeck.log" 2>&1 &
pids+=($!)

# No mail system here: its notice comes first, then the welcome.
wait_for '[ -n "$(window "No Mail System Detected")" ]' 300 || fail "no mail notice"
w=$(window "No Mail System Detected")
[ -n "$w" ] && xdotool windowactivate --sync "$w" key --clearmodifiers Escape 2>/dev/null
check "welcome" 'wait_for "[ -n \"\$(window \"Welcome to Tonedeck\")\" ]" 300'
welcome=$(window "Welcome to Tonedeck")
# Tab from the first button (the tutorial) past the release notes to the Fixit Guide.
xdotool windowactivate --sync "$welcome" 2>/dev/null
xdotool key --clearmodifiers Tab Tab space
check "guide opens from the welcome" 'wait_for "[ -n \"\$(window \"Fixit Guide\")\" ]" 300'
guide=$(window "Fixit Guide")
check "first frame" 'wait_for "[ \"\$(frames)\" = \"1 \" ]" 50'

# The guide's page is laid out at fixed places: Next at (492, 446), Back at (217, 446).
click() { xdotool mousemove --window "$guide" "$1" "$2" click 1; sleep 0.3; }
click 492 446
check "Next runs the mixer test and lands on 105" 'wait_for "[ \"\$(frames)\" = \"1 17 105 \" ]" 50'
click 492 446
click 492 446
check "three frames in" 'wait_for "[ \"\$(frames)\" = \"1 17 105 10 14 \" ]" 50'
click 217 446
click 217 446
check "Back twice" 'wait_for "[ \"\$(frames)\" = \"1 17 105 10 14 10 105 \" ]" 50'
[ -n "${TONEDECK_SHOT:-}" ] && import -window root "$TONEDECK_SHOT"

# Exit ends the guide; the welcome stays.
click 587 446
check "Exit closes the guide" 'wait_for "[ -z \"\$(window \"Fixit Guide\")\" ]" 50'
check "welcome still there" '[ -n "$(window "Welcome to Tonedeck")" ]'
check "test sound not written before a test" '[ ! -e "$XDG_CACHE_HOME/tonedeck/test.wav" ]'
check "recording removed" '[ -z "$(ls "$XDG_RUNTIME_DIR/tonedeck/tmp" 2>/dev/null | grep "^~dw")" ]'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
