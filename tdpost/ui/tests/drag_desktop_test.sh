#!/usr/bin/env bash
# A recording dragged out of the Recorder drawer onto another program's window on a real
# X server: the drop target receives the recording as a file manager does (a URI list and
# the copied-files list naming a WAV file that is there and plays), and the drawer keeps
# its own recording.
#   drag_desktop_test.sh TONEDECK TDTOOL DROPPROBE
set -u
tonedeck=$1
tdtool=$2
dropprobe=$3
for tool in Xvfb openbox xdotool xprop sox; do
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
    rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/run TONEDECK_AUDIO=virtual QT_QPA_PLATFORM=xcb
export TONEDECK_VIRTUAL_MIXER=$work/mixer.state
unset TONEDECK_REGISTRY_DIR XAUTHORITY
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

passed=0 failed=0
ok() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
check() { if eval "$2"; then ok; else fail "$1 ($2)"; fi; }
wait_for() { local cmd=$1 tenths=${2:-100}; for _ in $(seq "$tenths"); do eval "$cmd" && return 0; sleep 0.1; done; return 1; }
finish() { echo "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; exit $?; }

# A steady tone for the microphone.
sox -D -n -r 8000 -b 16 -c 1 "$work/tone.wav" synth 10 sine 440 vol 0.5 || fail "sox"
export TONEDECK_VIRTUAL_INPUT=$work/tone.wav

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
wait_for '[ -s "$work/display" ]' 100 || { echo "Xvfb did not start"; echo "0 passed, 1 failed"; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
cat >"$work/rc.xml" <<'RC'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc"><desktops><number>1</number></desktops>
<keyboard></keyboard></openbox_config>
RC
openbox --config-file "$work/rc.xml" >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' 300 ||
    { echo "openbox did not start"; echo "0 passed, 1 failed"; exit 1; }

"$tdtool" setup --user Ann >/dev/null || fail "setup"

visible() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
dismiss() {
    local title=$1 w
    wait_for 'w=$(visible "$title"); [ -n "$w" ]' 150 || return 1
    xdotool windowactivate --sync "$w" key --clearmodifiers Escape 2>/dev/null || xdotool key --window "$w" Escape
    wait_for '[ -z "$(visible "$title")" ]' 50
}
corner() { xdotool getwindowgeometry "$1" | awk '/Position/{split($2, p, ","); print p[1], p[2]}'; }
click_in() {  # window x y
    local x y
    read -r x y < <(corner "$1")
    xdotool mousemove $((x + $2)) $((y + $3)) click 1
}
still() {  # waits until the window stands still (a slide has ended)
    local last="" now
    for _ in $(seq 50); do
        now=$(corner "$1")
        [ "$now" = "$last" ] && return 0
        last=$now
        sleep 0.3
    done
}

"$tonedeck" >"$work/bar.log" 2>&1 &
bar_pid=$!
pids+=($bar_pid)
wait_for '[ -n "$(visible Tonedeck)" ]' 150 || fail "the bar did not appear"
dismiss "No Mail System Detected" || fail "no-mail notice"
dismiss "Welcome to Tonedeck" || fail "welcome"

# The drop target, away from the bar and the drawer.
"$dropprobe" "$work/dropped.txt" "Drop Probe" >"$work/probe.log" 2>&1 &
pids+=($!)
wait_for 'p=$(visible "Drop Probe"); [ -n "$p" ]' 100 || fail "the drop target did not appear"
xdotool windowmove --sync "$p" 600 450 2>/dev/null

# The Recorder: a second of the tone.
xdotool mousemove 27 264 click 1
wait_for 'd=$(visible "Audio Recorder"); [ -n "$d" ]' 100 || fail "the Recorder did not open"
still "$d"
click_in "$d" 12 49   # Record
sleep 1.5
click_in "$d" 37 49   # Stop
sleep 0.5
work_before=$(ls "$XDG_RUNTIME_DIR"/tonedeck/tmp/*.WAV 2>/dev/null)

# Press on the drawer's face, away from its controls, and carry the recording over.
read -r dx dy < <(corner "$d")
xdotool mousemove $((dx + 350)) $((dy + 160)) sleep 0.3 mousedown 1 sleep 0.3 \
    mousemove $((dx + 370)) $((dy + 170)) sleep 0.3 \
    mousemove 700 500 sleep 0.3 mousemove 750 520 sleep 0.5 mouseup 1
wait_for '[ -s "$work/dropped.txt" ]' 100 || fail "nothing was dropped"
import -window root "${SHOT_DIR:-$work}/dragged.png" 2>/dev/null

# What arrived: the formats a file manager reads, naming one WAV file.
section() { awk -v f="FORMAT $1" '$0 == f {on = 1; next} /^END$/ {on = 0} on' "$work/dropped.txt"; }
uris=$(section text/uri-list | tr -d '\r')
copied=$(section x-special/gnome-copied-files)
check "a URI list" '[[ $uris == file://*.WAV || $uris == file://*.wav ]]'
check "the copied-files list" '[ "$(printf "%s\n" "$copied" | head -1)" = copy ] && [ "$(printf "%s\n" "$copied" | sed -n 2p)" = "$uris" ]'
file=$(python3 -c 'import sys, urllib.parse; print(urllib.parse.unquote(urllib.parse.urlparse(sys.argv[1]).path))' "$uris")
check "the dropped file is there" '[ -f "$file" ]'
samples=$(sox --i -s "$file" 2>/dev/null || echo 0)
check "the dropped file holds the recording" '[ "$samples" -gt 4000 ]'
check "a copy, not the drawer's work file" '! printf "%s\n" "$work_before" | grep -qxF "$file"'
check "the drawer keeps its recording" '[ -n "$(visible "Audio Recorder")" ] && [ -n "$work_before" ] && [ -f "$(printf "%s\n" "$work_before" | head -1)" ]'
check "bar still running" 'kill -0 $bar_pid'
finish
