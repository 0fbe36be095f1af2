#!/usr/bin/env bash
# Drives tdtool convert on speech spoken by espeak-ng and files written by sox, and checks
# the results with sox; failures leave no output behind.
set -u
tdtool=$1
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"

espeak-ng -w "$work/raw.wav" "Convert this sound, and then convert it back again."
speech=$work/speech.wav
sox "$work/raw.wav" -r 8000 -b 16 "$speech"
length=$(sox --i -D "$speech")
near() {  # near NAME GOT WANTED TOLERANCE
    if awk -v a="$2" -v b="$3" -v t="$4" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'; then
        passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL $1: $2 not near $3"; fi
}

check "to adpcm" 0 "$tdtool" convert "$speech" "$work/a.wav" --format adpcm
contains "adpcm line" "$work/out" "Microsoft ADPCM (2), 8000 Hz, 1 channel(s)"
same "sox sees adpcm" "$(sox --i -e "$work/a.wav")" "MS ADPCM"
near "adpcm length" "$(sox --i -D "$work/a.wav")" "$length" 0.001

check "to gsm" 0 "$tdtool" convert "$speech" "$work/g.wav" --format gsm --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "gsm json tag" "$work/flat" '"to":{"avgBytesPerSec":1625,"bits":0,"blockAlign":65,"channels":1,"name":"GSM6.10","rate":8000,"tag":49}'
contains "gsm json from" "$work/flat" '"name":"PCM"'
same "sox sees gsm" "$(sox --i -e "$work/g.wav")" "GSM"

# Back to PCM in another shape: two steps through a temporary file.
check "gsm to radio" 0 "$tdtool" convert "$work/g.wav" "$work/r.wav" --format pcm --rate 11025 --bits 8 --channels 2
same "radio rate" "$(sox --i -r "$work/r.wav")" 11025
same "radio bits" "$(sox --i -b "$work/r.wav")" 8
same "radio channels" "$(sox --i -c "$work/r.wav")" 2
near "radio length" "$(sox --i -D "$work/r.wav")" "$(sox --i -D "$work/g.wav")" 0.001

# Files written by sox, and one compressed format to the other.
sox "$speech" -r 22050 -c 2 -e ms-adpcm "$work/sa.wav"
check "sox adpcm to gsm" 0 "$tdtool" convert "$work/sa.wav" "$work/sg.wav" --format gsm
near "sox adpcm to gsm length" "$(sox --i -D "$work/sg.wav")" "$length" 0.05
check "info of gsm" 0 "$tdtool" info "$work/sg.wav"
contains "info tag" "$work/out" "format.tag: 49"
contains "info name" "$work/out" 'format.name: "GSM 6.10"'

# TrueSpeech: written when the program has its encoder, else refused with the reason.
"$tdtool" convert "$speech" "$work/t.wav" --format truespeech >"$work/out" 2>"$work/err"
status=$?
if [ $status -eq 0 ]; then
    "$tdtool" info "$work/t.wav" >"$work/out"
    contains "truespeech tag" "$work/out" "format.tag: 34"
else
    same "truespeech exit" "$status" 1
    contains "truespeech reason" "$work/err" "TrueSpeech"
    same "no truespeech output" "$(ls "$work" | grep -c '^t.wav\|\.part$')" 0
fi

# Failures: exit 1 with the reason, and no output left behind.
sox "$speech" -e ima-adpcm "$work/ima.wav"
check "ima refused" 1 "$tdtool" convert "$work/ima.wav" "$work/x.wav" --format pcm
contains "ima reason" "$work/err" "IMA ADPCM (17) is not supported"
check "not wav" 1 "$tdtool" convert "$work/out" "$work/x.wav" --format pcm
mkfifo "$work/fifo.wav"
check "fifo refused" 1 timeout 10 "$tdtool" convert "$work/fifo.wav" "$work/x.wav" --format pcm
check "directory refused" 1 "$tdtool" convert "$work" "$work/x.wav" --format pcm
cp "$speech" "$work/Same.wav"
check "same file" 1 "$tdtool" convert "$work/Same.wav" "$work/SAME.WAV" --format gsm
contains "same reason" "$work/err" "same file"
cmp -s "$speech" "$work/Same.wav" && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL same file touched"; }
check "no folder" 1 "$tdtool" convert "$speech" "$work/none/x.wav" --format pcm
same "nothing left" "$(ls -A "$work" | grep -c '^x.wav$\|\.part$\|^\.')" 0

# Usage errors.
check "no format" 2 "$tdtool" convert "$speech" "$work/x.wav"
check "bad format" 2 "$tdtool" convert "$speech" "$work/x.wav" --format mp3
check "bits for gsm" 2 "$tdtool" convert "$speech" "$work/x.wav" --format gsm --bits 8
check "stereo gsm" 2 "$tdtool" convert "$speech" "$work/x.wav" --format gsm --channels 2
check "rate too high" 2 "$tdtool" convert "$speech" "$work/x.wav" --format pcm --rate 200000
check "odd bits" 2 "$tdtool" convert "$speech" "$work/x.wav" --format pcm --bits 12
check "truespeech rate" 2 "$tdtool" convert "$speech" "$work/x.wav" --format truespeech --rate 11025
check "one file" 2 "$tdtool" convert "$speech" --format pcm
same "no output after usage errors" "$(ls "$work" | grep -c '^x.wav$')" 0

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
