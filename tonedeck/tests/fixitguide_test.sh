#!/usr/bin/env bash
# The Fixit Guide in the whole program on a real X server: opened from the welcome dialog
# at the first start, three frames in with Next, Back twice, then Exit.
#   fixitguide_test.sh TONEDECK TDTOOL
set -u
tonedeck=$1
tdtool=$2
source "$(dirname "${BASH_SOURCE[0]}")/xsession.bash"
xsession_needs fail xdotool
xsession_cleanup() { [ -n "${TONEDECK_KEEP:-}" ] && cp "$work/tonedeck.log" "$TONEDECK_KEEP"; }
xsession_home
xsession_no_mail
export TONEDECK_TRACE=$work/trace.log

window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
# The frames the guide has loaded, in order, from the trace.
frames() { grep -o '^LoadFrame [0-9]*' "$work/trace.log" 2>/dev/null | cut -d' ' -f2 | tr '\n' ' '; }

xsession_start 1024x768x24 <<'RC'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <desktops><number>1</number></desktops>
  <keyboard></keyboard>
</openbox_config>
RC

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

results
