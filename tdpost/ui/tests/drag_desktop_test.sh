#!/usr/bin/env bash
# A recording dragged out of the Recorder drawer onto another program's window on a real
# X server: the drop target receives the recording as a file manager does (a URI list and
# the copied-files list naming a WAV file that is there and plays), and the drawer keeps
# its own recording.
#   drag_desktop_test.sh TONEDECK TDTOOL DROPPROBE
tonedeck=$1
tdtool=$2
dropprobe=$3
tools="sox import"
source "$(dirname "$0")/desktop.bash"

# A steady tone for the microphone.
sox -D -n -r 8000 -b 16 -c 1 "$work/tone.wav" synth 10 sine 440 vol 0.5 || fail "sox"
export TONEDECK_VIRTUAL_INPUT=$work/tone.wav

start_desktop
start_bar

# The drop target, away from the bar and the drawer.
"$dropprobe" "$work/dropped.txt" "Drop Probe" >"$work/probe.log" 2>&1 &
pids+=($!)
wait_for 'p=$(visible "Drop Probe"); [ -n "$p" ]' 100 || fail "the drop target did not appear"
xdotool windowmove --sync "$p" 600 450 2>/dev/null

# The Recorder: a second of the tone.
xdotool mousemove 27 264 click 1
wait_for 'd=$(visible "Audio Recorder"); [ -n "$d" ]' 100 || fail "the Recorder did not open"
still "$d" || fail "the drawer did not settle"
click_in "$d" 12 49   # Record
wait_for 'ls "$XDG_RUNTIME_DIR"/tonedeck/tmp/*.WAV >/dev/null 2>&1' 150 || fail "recording did not start"
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
