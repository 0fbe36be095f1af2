#!/usr/bin/env bash
# Records and plays through the virtual sound device, checking the files with sox.
set -u
tdtool=$1
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"
export TONEDECK_REGISTRY_DIR=$work/registry HOME=$work
export TONEDECK_AUDIO=virtual TONEDECK_VIRTUAL_SPEED=0 TONEDECK_VIRTUAL_INPUT=tone:440:12000

check "record CD" 0 "$tdtool" record "$work/cd.wav" --format 3 --seconds 2
same "CD rate" "$(sox --i -r "$work/cd.wav")" 44100
same "CD width" "$(sox --i -b "$work/cd.wav")" 16
same "CD length" "$(sox --i -s "$work/cd.wav")" 88200
check "record phone" 0 "$tdtool" record "$work/phone.wav" --format 0 --seconds 3 --json
grep -q '"samples": 24000' "$work/out" && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL json"; cat "$work/out"; }
same "phone rate" "$(sox --i -r "$work/phone.wav")" 8000
same "phone width" "$(sox --i -b "$work/phone.wav")" 8
# Rates whose quarter-second buffers do not divide a second evenly still give the length
# asked for, to the frame.
check "record 11 kHz" 0 "$tdtool" record "$work/r11.wav" --format 1 --seconds 30
same "11 kHz length" "$(sox --i -s "$work/r11.wav")" 330750
check "record 22 kHz" 0 "$tdtool" record "$work/r22.wav" --format 2 --seconds 7
same "22 kHz length" "$(sox --i -s "$work/r22.wav")" 154350

# Silence with VOX: the buffer that completes 5 s of quiet suspends the recording and
# the last 4 s are cut: 21 buffers of 2756 frames less 44100 frames stay.
TONEDECK_VIRTUAL_INPUT=silence check "vox" 0 "$tdtool" record "$work/vox.wav" --format 1 --seconds 9 --vox
same "vox keeps about a second" "$(sox --i -s "$work/vox.wav")" 13776

# A full disk (here a file-size limit, its signal ignored) stops the recording, says so,
# and fails; what was recorded before stays a readable WAV file.
check "full disk" 1 bash -c "trap '' XFSZ; ulimit -f 16; exec \"\$0\" record \"\$1\" --format 3 --seconds 5" \
    "$tdtool" "$work/full.wav"
contains "full disk says so" "$work/err" "could not be written"
check "full disk file reads" 0 sox "$work/full.wav" -n

check "bad format" 2 "$tdtool" record "$work/x.wav" --format 4 --seconds 1
check "no seconds" 2 "$tdtool" record "$work/x.wav" --format 1
check "bad dir" 1 "$tdtool" record "$work/no/such/dir.wav" --seconds 1

TONEDECK_VIRTUAL_OUTPUT=$work/played.wav check "play" 0 "$tdtool" play "$work/cd.wav"
cmp -s "$work/cd.wav" "$work/played.wav" && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL played bytes differ"; }
check "play missing" 1 "$tdtool" play "$work/none.wav"
echo "not a wave" >"$work/text.wav"
check "play junk" 1 "$tdtool" play "$work/text.wav"
# A read-only file plays (the superuser may write anyway; the play is what counts).
cp "$work/phone.wav" "$work/readonly.wav"
chmod 0444 "$work/readonly.wav"
check "play read-only" 0 "$tdtool" play "$work/readonly.wav"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
