#!/usr/bin/env bash
# The whole bar on a real X server with a window manager: started with a fresh home,
# driven with xdotool as a user would, and its settings file checked afterwards.
#   program_test.sh TONEDECK TDTOOL
set -u
tonedeck=$1
tdtool=$2
source "$(dirname "${BASH_SOURCE[0]}")/xsession.bash"
xsession_needs fail xdotool xwininfo
xsession_home
xsession_no_mail

# A display of our own, and openbox on it.
xsession_start 1024x768x24 <<'RC'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <desktops><number>1</number></desktops>
  <margins><top>0</top><bottom>0</bottom><left>0</left><right>0</right></margins>
  <!-- No window-manager keys: Alt+F4 and the bar's accelerators reach the bar. -->
  <keyboard></keyboard>
</openbox_config>
RC

# Without a display the bar says so in one line and fails.
out=$(env -u DISPLAY -u QT_QPA_PLATFORM "$tonedeck" 2>&1); rc=$?
check "no display refused" '[ $rc -ne 0 ] && [ $(printf "%s\n" "$out" | wc -l) -eq 1 ] && [[ $out == *display* ]]'

"$tdtool" setup --user Ann >/dev/null || fail "setup"
# An empty search list, so Sonoscout opens without offering a first search.
: >"$("$tdtool" paths | sed -n 's/^GetSonoscoutSearchFilePath: //p')" || fail "search list"
props=$XDG_DATA_HOME/tonedeck/Users/Ann/TDPROP.PRP
workarea() { xprop -root _NET_WORKAREA | sed 's/.*= //' | cut -d, -f1-4 | tr -d ' '; }
bar_window() { xdotool search --onlyvisible --name '^Tonedeck$' 2>/dev/null | head -1; }
geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
        /Width:/{w=$NF} /Height:/{h=$NF} END{print x","y","w","h}'
}
field() { "$tdtool" props show "$props" | awk -F': ' -v f="$1" '$1==f{print $2}'; }
start_bar() {
    "$tonedeck" >>"$work/bar.log" 2>&1 &
    bar_pid=$!
    pids+=($bar_pid)
}
# Closes the dialog of that title with Escape once it shows; fails when it never does.
close_dialog() {
    local w title=$1
    wait_for 'w=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1); [ -n "$w" ]' 150 || return 1
    xdotool windowactivate --sync "$w" key --clearmodifiers Escape 2>/dev/null || xdotool key --window "$w" Escape
    wait_for '[ -z "$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null)" ]' 50
}
# No mail system here: the notice comes first at every start, then the welcome when due.
close_welcome() { close_dialog "No Mail System Detected" && close_dialog "Welcome to Tonedeck"; }
# A dialog of the bar is fixed in size (no maximise or minimise) and stands in the middle
# of the screen's work area, not against the bar. A loaded machine may take a moment to
# give a new window its final size and place, so the check is given five seconds.
fixed_and_centred() {
    local w=$1 cx cy x y wd ht ax ay aw ah
    # (openbox keeps its iconify button whatever a window asks; maximising it refuses.)
    xprop -id "$w" _NET_WM_ALLOWED_ACTIONS | grep -q -E 'MAXIMIZE|RESIZE' && return 1
    xprop -id "$w" WM_NORMAL_HINTS | awk '/minimum size/{min=$(NF-2)"x"$NF} /maximum size/{max=$(NF-2)"x"$NF}
        END{exit !(min != "" && min == max)}' || return 1
    IFS=, read -r x y wd ht <<<"$(geometry "$w")"
    IFS=, read -r ax ay aw ah <<<"$(workarea)"
    cx=$((x + wd / 2)); cy=$((y + ht / 2))
    [ $((cx - (ax + aw / 2))) -le 32 ] && [ $((ax + aw / 2 - cx)) -le 32 ] &&
        [ $((cy - (ay + ah / 2))) -le 24 ] && [ $((ay + ah / 2 - cy)) -le 24 ]
}
dialog_fixed_and_centred() {
    local w title=$1
    wait_for 'w=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1); [ -n "$w" ]' 150 || return 1
    wait_for 'fixed_and_centred "$w"' 50 && return 0
    echo "\"$title\": $(geometry "$w") in the work area $(workarea)"
    xprop -id "$w" _NET_WM_ALLOWED_ACTIONS WM_NORMAL_HINTS
    return 1
}
# The window manager's close request (WM_DELETE_WINDOW), as a close button or a task
# list sends it.
wm_close() {
    python3 - "$1" <<'PY'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
d = x.XOpenDisplay(None)
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 8)]
e = ClientMessage()
e.type = 33  # ClientMessage
e.window = int(sys.argv[1])
e.message_type = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
e.format = 32
e.data[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(d, e.window, 0, 0, ctypes.byref(e))
x.XFlush(d)
PY
}
# A tooltip of the bar is on the screen.
tooltip_shown() {
    local w
    for w in $(xdotool search --onlyvisible --pid "$bar_pid" 2>/dev/null); do
        xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q TOOLTIP && return 0
    done
    return 1
}

# First start: the welcome shows, the defaults are written, the bar docks on the left.
start_bar
check "notice fixed and centred" 'dialog_fixed_and_centred "No Mail System Detected"'
check "welcome at the first start" close_welcome
check "defaults written" '[ "$(stat -c %s "$props" 2>/dev/null)" = 2140 ]'
check "help pages installed" 'grep -q "Task buttons" "$XDG_DATA_HOME/tonedeck/Help/Tonedeck.html"'
wait_for '[ -n "$(bar_window)" ]' 100
bar=$(bar_window)
check "bar window" '[ -n "$bar" ]'
wait_for '[ "$(workarea)" = "56,0,968,768" ]' 50
check "work area shrunk on the left" '[ "$(workarea)" = "56,0,968,768" ]'
check "bar docked left" '[ "$(geometry "$bar")" = "0,0,56,768" ]'
check "dock window" 'xprop -id "$bar" _NET_WM_WINDOW_TYPE | grep -q DOCK'

# Volume up on the bar raises the card's master level by one step of 2048.
volume() { "$tdtool" mixer | awk -F': ' '$1=="OverallPlaybackVolume"{print $2}'; }
before=$(volume)
xdotool mousemove 37 93 click 1
wait_for '[ "$(volume)" != "$before" ]' 30
left=${before%,*}
check "volume up by 2048" '[ "$(volume)" = "$((left + 2048)),$((left + 2048))" ]'

# The bar follows the card: another program sets the volume and mutes, and the bar's
# volume display and meters change without anyone touching the bar.
shot() { import -window root -crop "$1" "$2" 2>/dev/null; }
if command -v import >/dev/null && command -v compare >/dev/null; then
    shot 49x25+3+60 "$work/volume-before.png"
    shot 49x49+3+0 "$work/meter-before.png"
    "$tdtool" mixer set OverallPlaybackVolume 0,0 >/dev/null
    "$tdtool" mixer set OverallPlaybackMute 1 >/dev/null
    differs() { shot "$1" "$work/now.png"; [ "$(compare -metric AE "$2" "$work/now.png" null: 2>&1)" != 0 ]; }
    check "bar follows a volume set elsewhere" 'wait_for "differs 49x25+3+60 $work/volume-before.png" 30'
    check "bar follows a mute set elsewhere" 'wait_for "differs 49x49+3+0 $work/meter-before.png" 30'
    "$tdtool" mixer set OverallPlaybackMute 0 >/dev/null
    "$tdtool" mixer set OverallPlaybackVolume "$left,$left" >/dev/null
fi

# Task buttons open their drawers beside them; two stay open together.
visible() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
# Every drawer opens again after it has closed, and the bar is idle afterwards.
reopen() {
    local name=$1 x=$2 y=$3 round
    for round in 1 2; do
        xdotool mousemove "$x" "$y" click 1
        wait_for '[ -n "$(visible "$name")" ]' 50 || return 1
        sleep 1.2
        xdotool mousemove "$x" "$y" click 1
        wait_for '[ -z "$(visible "$name")" ]' 50 || return 1
        sleep 0.3
    done
}
check "Sonoscout opens twice" 'reopen Sonoscout 27 300'
check "Voicegram Box opens twice" 'reopen "Voicegram Box" 27 150'
xdotool windowfocus --sync "$bar" 2>/dev/null; xdotool key --clearmodifiers ctrl+u
wait_for '[ "$(workarea)" = "0,0,1024,768" ]' 50
check "auto hide after the drawers closed" '[ "$(workarea)" = "0,0,1024,768" ]'
xdotool mousemove 1 400 sleep 0.5 mousemove 28 560 sleep 0.2
xdotool windowfocus --sync "$bar" 2>/dev/null; xdotool key --clearmodifiers ctrl+u
wait_for '[ "$(workarea)" = "56,0,968,768" ]' 50
check "auto hide off again" '[ "$(workarea)" = "56,0,968,768" ]'

# Tooltips show while another program's window is the active one.
demo=$(dirname "$tonedeck")/tonedeck_appbar_demo
if [ -x "$demo" ]; then
    mkfifo "$work/demo.in"
    "$demo" --window <"$work/demo.in" >"$work/demo.out" 2>&1 &
    pids+=($!)
    exec 4>"$work/demo.in"
    wait_for 'grep -q ready "$work/demo.out"' 100
    other=$(sed -n 's/.*window=//p' "$work/demo.out" | head -1)
    xdotool windowactivate --sync "$other" 2>/dev/null
    xdotool mousemove 600 600 sleep 0.5 mousemove 27 300 sleep 0.2 mousemove 28 301
    check "tooltip with another window active" 'wait_for tooltip_shown 40'
    check "the other window stayed active" '[ "$(xdotool getactivewindow 2>/dev/null)" = "$other" ]'
    echo quit >&4
    exec 4>&-
    xdotool mousemove 600 600
fi
xdotool mousemove 27 264 click 1
wait_for '[ -n "$(visible "Audio Recorder")" ]' 30
# The manager opens once the memo list has been read; until then the bar says so.
for _ in 1 2 3 4 5; do
    xdotool mousemove 27 226 click 1
    wait_for '[ -n "$(visible "Echo Memos Manager")" ]' 30 && break
    w=$(xdotool getactivewindow 2>/dev/null) && xdotool key --window "$w" Escape
    sleep 1
done
sleep 1.2  # both slides end
recorder=$(visible "Audio Recorder")
check "recorder drawer open" '[ -n "$recorder" ]'
check "manager drawer open too" '[ -n "$(visible "Echo Memos Manager")" ]'
check "recorder beside its button" '[ "$(geometry "$recorder" | cut -d, -f1-2)" = "56,264" ]'
# While a drawer is open the bar is busy: no drag, no auto hide.
xdotool mousemove 28 560 sleep 0.3 mousedown 1 sleep 0.3 mousemove 512 40 sleep 0.3 mousemove 512 20 sleep 0.3 mouseup 1
xdotool windowfocus --sync "$bar" 2>/dev/null; xdotool key --clearmodifiers ctrl+u
sleep 1
check "busy bar stays docked" '[ "$(geometry "$bar")" = "0,0,56,768" ] && [ "$(workarea)" = "56,0,968,768" ]'
# A second click closes each drawer after its slide back.
xdotool mousemove 27 264 click 1
xdotool mousemove 27 226 click 1
wait_for '[ -z "$(visible "Audio Recorder")" ] && [ -z "$(visible "Echo Memos Manager")" ]' 50
check "drawers closed again" '[ -z "$(visible "Audio Recorder")" ] && [ -z "$(visible "Echo Memos Manager")" ]'

# A second copy ends at once and leaves the first alone.
timeout 20 "$tonedeck" >/dev/null 2>&1; rc=$?
check "second copy ends silently" '[ $rc -eq 0 ]'
check "only one bar" '[ $(xdotool search --onlyvisible --name "^Tonedeck$" | wc -l) -eq 1 ]'
check "first copy still runs" 'kill -0 $bar_pid'

# Drag from the empty stretch into the top triangle of the screen: the bar docks on top.
xdotool mousemove 28 560 sleep 0.3 mousedown 1 sleep 0.3 mousemove 100 400 sleep 0.3 \
    mousemove 512 40 sleep 0.3 mousemove 512 20 sleep 0.3 mouseup 1
wait_for '[ "$(workarea)" = "0,56,1024,712" ] && [ "$(geometry "$bar")" = "0,0,1024,56" ]' 50
check "work area follows to the top" '[ "$(workarea)" = "0,56,1024,712" ]'
check "bar docked on top" '[ "$(geometry "$bar")" = "0,0,1024,56" ]'
# The first click after the move reaches its button: the recorder opens beside it.
xdotool mousemove 265 27 click 1
check "first click after a re-dock" 'wait_for "[ -n \"\$(visible \"Audio Recorder\")\" ]" 50'
sleep 1.2
xdotool mousemove 265 27 click 1
wait_for '[ -z "$(visible "Audio Recorder")" ]' 50

# Alt+F4 on the bar exits through the ask test and saves the new edge.
xdotool windowfocus --sync "$bar" 2>/dev/null
xdotool key --clearmodifiers alt+F4
wait_for '! kill -0 $bar_pid 2>/dev/null' 100
check "Alt+F4 ends the bar" '! kill -0 $bar_pid 2>/dev/null'
check "settings saved whole" '[ "$(stat -c %s "$props")" = 2140 ]'
check "dock state size" '[ "$(field DockState.dwSize)" = 56 ]'
check "saved edge is top" '[ "$(field DockState.nEdge)" = 1 ]'
wait_for '[ "$(workarea)" = "0,0,1024,768" ]' 50
check "strip given back" '[ "$(workarea)" = "0,0,1024,768" ]'

# A settings file one byte short (all zeros) is replaced by the defaults, and the notice
# and the welcome show again; F1 there, with no browser to open the help, tells where the
# help page is.
head -c 2139 /dev/zero >"$props"
start_bar
check "notice after a short file" 'close_dialog "No Mail System Detected"'
if ! command -v xdg-open >/dev/null; then
    wait_for 'w=$(xdotool search --onlyvisible --name "^Welcome to Tonedeck\$" | head -1); [ -n "$w" ]' 150
    xdotool windowactivate --sync "$w" key --clearmodifiers F1 2>/dev/null
    check "help tells where its page is" 'dialog_fixed_and_centred "Tonedeck Help"'
    close_dialog "Tonedeck Help"
fi
check "welcome after a short file" 'close_dialog "Welcome to Tonedeck"'
check "tutorial installed" 'grep -q "quick tour" "$XDG_DATA_HOME/tonedeck/Help/tutorial.html"'
check "release notes installed" '[ -s "$XDG_DATA_HOME/tonedeck/Help/Release_Notes.html" ]'
check "defaults rewritten" '[ "$(stat -c %s "$props")" = 2140 ] && [ "$(field DockState.nEdge)" = 0 ]'
kill -TERM $bar_pid
wait_for '! kill -0 $bar_pid 2>/dev/null' 100
check "SIGTERM ends the bar" '! kill -0 $bar_pid 2>/dev/null'

# Nonsense in the settings: edge 7, thicknesses 0 and 5000. The bar still docks sanely.
python3 - "$props" <<'PY'
import struct, sys
p = sys.argv[1]
b = bytearray(open(p, 'rb').read())
struct.pack_into('<i', b, 4, 7)
struct.pack_into('<4i', b, 24, 0, 5000, -3, 5000)
struct.pack_into('<4i', b, 40, 90000, 90000, 90100, 90100)
open(p, 'wb').write(b)
PY
start_bar
check "no-mail notice at every start" 'close_dialog "No Mail System Detected"'
wait_for '[ -n "$(bar_window)" ]' 100
bar=$(bar_window)
wait_for '[ "$(workarea)" = "56,0,968,768" ]' 50
check "bad settings still dock left" '[ "$(geometry "$bar")" = "0,0,56,768" ]'
check "no welcome for a whole file" '[ -z "$(xdotool search --onlyvisible --name "^Welcome to Tonedeck$" 2>/dev/null)" ]'
# The window manager's close request goes through the ask test and ends the bar.
wm_close "$bar"
wait_for '! kill -0 $bar_pid 2>/dev/null' 100
check "WM_DELETE_WINDOW ends the bar" '! kill -0 $bar_pid 2>/dev/null'
check "sane values saved" '[ "$(field DockState.nEdge)" = 0 ]'

# Ended, the settings file replaced by a short one and started again, all at once: the
# new copy waits for the old one, which leaves the replaced file alone, and the first
# start runs again.
start_bar
close_dialog "No Mail System Detected"
wait_for '[ -n "$(bar_window)" ]' 100
first=$bar_pid
wm_close "$(bar_window)"
head -c 2139 /dev/zero >"$props"
start_bar
check "a copy started while the last one ends runs" 'close_dialog "No Mail System Detected"'
check "welcome after a file replaced as the bar ended" 'close_dialog "Welcome to Tonedeck"'
check "the last copy ended" '! kill -0 $first 2>/dev/null'
kill -TERM $bar_pid
wait_for '! kill -0 $bar_pid 2>/dev/null' 100

[ "$failed" -eq 0 ] || { echo "--- bar log"; tail -20 "$work/bar.log"; }
results
