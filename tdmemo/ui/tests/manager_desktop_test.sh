#!/usr/bin/env bash
# The Echo Memos manager on a real X server: three memos due at different times are listed,
# a click on the Next Playback heading sorts them by the time they play, and the first of
# them is deleted after the question, into the desktop's trash.
#   manager_desktop_test.sh TONEDECK TDTOOL DESKTOP_HELPERS
tonedeck=$1
tdtool=$2
tools="sox"
source "$3"

start_desktop
memos=$XDG_DATA_HOME/tonedeck/Users/Ann/ECHOMEMOS
# Names in one order, playing times in another: Bravo plays first, then Charlie, Alpha.
for memo in ALPHA:2031 BRAVO:2029 CHARLIE:2030; do
    name=${memo%%:*} year=${memo##*:}
    sox -n -r 11025 -b 16 -c 1 "$memos/$name.WAV" synth 0.5 sine 440 || fail "sox $name"
    "$tdtool" note "$memos/$name.WAV" --type 5 --desc "$name memo" --frequency once \
        --onceTime 3600 --onceMonth 6 --onceDay 1 --onceYear "$year" >/dev/null || fail "note $name"
done

start_bar
# The Echo Memos Manager task button (the third; there is no Send Voicegram without mail).
xdotool mousemove 27 226 click 1
wait_for 'd=$(visible "Echo Memos Manager"); [ -n "$d" ]' 100 || fail "the manager did not open"
still "$d" || fail "the drawer did not settle"
sleep 1               # the list is read in the background; give it time to fill
click_in "$d" 240 51  # the Next Playback heading
sleep 0.5
click_in "$d" 80 69   # the first row
sleep 0.5
xdotool key --clearmodifiers ctrl+d
if wait_for 'q=$(visible "Please Confirm"); [ -n "$q" ]' 50; then
    xdotool windowactivate --sync "$q" key --clearmodifiers Return 2>/dev/null
else
    fail "no question before deleting"
fi
trash=$XDG_DATA_HOME/Trash
check "the first to play went to the trash" 'wait_for "[ -f \"$trash/files/BRAVO.WAV\" ]" 50'
[ -f "$trash/files/BRAVO.WAV" ] || { echo "in the trash: $(ls "$trash/files" 2>&1)"; import -window root "$work/shot.png" 2>/dev/null && cp "$work/shot.png" /tmp/manager_desktop_fail.png; }
check "with its trash record" '[ -f "$trash/info/BRAVO.WAV.trashinfo" ]'
check "the others stay" '[ -f "$memos/ALPHA.WAV" ] && [ -f "$memos/CHARLIE.WAV" ] && [ ! -e "$memos/BRAVO.WAV" ]'
wait_for '! "$tdtool" memo list 2>/dev/null | grep -q BRAVO' 50
list=$("$tdtool" memo list 2>&1)
check "the list forgets it" '[[ $list != *BRAVO* ]] && [[ $list == *ALPHA* ]] && [[ $list == *CHARLIE* ]]'
check "bar still running" 'kill -0 $bar_pid'
finish
