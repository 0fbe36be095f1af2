#!/usr/bin/env bash
# The whole road of one Echo Memo on a real X server: the bar starts with a fresh home,
# the Create EchoMemo drawer records speech fed to the virtual microphone, the recording is
# posted with a description, and the memo file is found with its schedule.
#   echomemo_desktop_test.sh TONEDECK TDTOOL
tonedeck=$1
tdtool=$2
tools="espeak-ng sox"
source "$(dirname "$0")/desktop.bash"

# Speech for the microphone: the virtual input plays the file from its start.
espeak-ng -w "$work/speech.wav" "Remember to water the plants on the balcony" || fail "espeak-ng"
export TONEDECK_VIRTUAL_INPUT=$work/speech.wav

start_desktop
memos=$XDG_DATA_HOME/tonedeck/Users/Ann/ECHOMEMOS

start_bar

# The Create EchoMemo task button.
xdotool mousemove 27 188 click 1
wait_for 'd=$(visible "Create Echo Memos"); [ -n "$d" ]' 100 || fail "the drawer did not open"
still "$d" || fail "the drawer did not settle"
click_in "$d" 12 49   # Record
# The recording has begun once its work file exists.
wait_for 'ls "$XDG_RUNTIME_DIR"/tonedeck/tmp/VG*.WAV >/dev/null 2>&1' 150 || fail "recording did not start"
sleep 2.5
click_in "$d" 37 49   # Stop
sleep 0.5
import -window root "${SHOT_DIR:-$work}/recorded.png" 2>/dev/null; xdotool getwindowgeometry "$d" >"${SHOT_DIR:-$work}/geom.txt" 2>&1
click_in "$d" 12 16   # Post Echo Memo
title="Echo Memo\\(s\\): Description and Scheduled Playback"  # a pattern: the brackets escaped
if wait_for 'w=$(visible "$title"); [ -n "$w" ]' 100; then
    xdotool windowactivate --sync "$w" type --delay 20 "Water the plants"
    for _ in 1 2 3; do
        xdotool windowactivate --sync "$w" key --clearmodifiers Return 2>/dev/null
        wait_for '[ -z "$(visible "$title")" ]' 30 && break
    done
else
    fail "no schedule dialog"
fi
wait_for 'ls "$memos"/SAY*.WAV >/dev/null 2>&1' 100 || fail "no memo file"
memo=$(ls "$memos"/SAY*.WAV 2>/dev/null | head -1)
info=$("$tdtool" info "$memo" 2>&1)
check "memo type and description" '[[ $info == *"type: 5"* ]] && [[ $info == *"description: \"Water the plants\""* ]]'
check "memo schedule" '[[ $info == *"NOTE.frequency: 1"* ]]'
samples=$(sox --i -s "$memo" 2>/dev/null || echo 0)
check "about two seconds recorded" '[ "$samples" -gt 11025 ] && [ "$samples" -lt 80000 ]'
# The speech reached the file: not silence.
rms=$(sox "$memo" -n stat 2>&1 | awk '/RMS +amplitude/{print $3}')
check "speech, not silence" 'awk -v r="$rms" "BEGIN{exit !(r > 0.01)}"'
# The memo list has it, with its next playing time.
wait_for '"$tdtool" memo list 2>/dev/null | grep -q "$(basename "$memo")"' 100
list=$("$tdtool" memo list 2>&1)
check "memo listed" '[[ $list == *"$(basename "$memo")"* ]] && [[ $list == *"nextTime:"* ]]'
# The drawer closed itself after posting, asking nothing.
check "drawer closed" 'wait_for "[ -z \"\$(visible \"Create Echo Memos\")\" ]" 50'
check "no work file left" '[ -z "$(ls "$XDG_RUNTIME_DIR"/tonedeck/tmp/VG*.WAV 2>/dev/null)" ]'
check "bar still running" 'kill -0 $bar_pid'
finish
