#!/usr/bin/env bash
# Drives tdtool info and note on WAV files made by sox and RMI files made by hand, and
# checks that sox still reads the files after their metadata is written.
set -u
tdtool=$1
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"

wav=$work/f.wav
sox -n -r 11025 -b 8 -c 1 "$wav" trim 0 2
samples=$(sox --i -s "$wav")
check "plain info" 0 "$tdtool" info "$wav"
contains "plain type" "$work/out" "type: 1"
contains "plain description" "$work/out" 'description: ""'
contains "plain length" "$work/out" "seconds: 2"

check "note" 0 "$tdtool" note "$wav" --type 5 --desc "Water the plants" --frequency 3 \
    --dailyTime 28800 --dailyDays 127 --notify 1
check "info json" 0 "$tdtool" info "$wav" --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "json description" "$work/flat" '"description":"Watertheplants"'
contains "json schedule" "$work/flat" '"dailyDays":127,"dailyTime":28800'
contains "json notify" "$work/flat" '"notify":1'
contains "json type" "$work/flat" '"type":5'
same "sox length after note" "$(sox --i -s "$wav")" "$samples"

# Longer, then shorter descriptions: the schedule stays and sox still reads the file.
check "longer" 0 "$tdtool" note "$wav" --type 5 --desc "Water the plants on the balcony and the hall"
check "shorter" 0 "$tdtool" note "$wav" --type 5 --desc "Plants" --dailyTime 30000
check "info text" 0 "$tdtool" info "$wav"
contains "short description" "$work/out" 'description: "Plants"'
contains "kept days" "$work/out" "NOTE.dailyDays: 127"
contains "new time" "$work/out" "NOTE.dailyTime: 30000"
same "sox length after rewrites" "$(sox --i -s "$wav")" "$samples"
check "sox decodes" 0 sox "$wav" -n
# 44-byte header, 22050 samples, DESC with "Plants" (8 + 4 + 7 + pad), NOTE (8 + 68).
same "file ends after NOTE" "$(stat -c %s "$wav")" $((44 + 22050 + 20 + 76))

# A hand-made voicegram record with every text null and heard 1.
printf 'MAIL\x24\0\0\0' >>"$wav"
printf '\0\0\0\0\x07\0\0\0' >>"$wav"
head -c 24 /dev/zero >>"$wav"
printf '\x01\0\0\0' >>"$wav"
check "mail" 0 "$tdtool" info "$wav"
contains "mail value" "$work/out" "MAIL.value2: 7"
contains "mail null text" "$work/out" "MAIL.text1: (none)"
contains "mail heard" "$work/out" "MAIL.heard: 1"

# An RMI file: a RIFF "RMID" form holding one "data" chunk.
rmi=$work/t.rmi
printf 'RIFF\x12\0\0\0RMIDdata\x06\0\0\0MThd\0\0' >"$rmi"
check "rmi needs --rmi" 1 "$tdtool" note "$rmi" --type 5 --desc tune
check "rmi note" 0 "$tdtool" note "$rmi" --type 5 --desc tune --rmi --frequency once \
    --onceTime 3600 --onceMonth 12 --onceDay 24 --onceYear 2030
check "rmi info" 0 "$tdtool" info "$rmi"
contains "rmi form" "$work/out" 'form: "RMID"'
contains "rmi once" "$work/out" "NOTE.onceYear: 2030"
contains "rmi length" "$work/out" "seconds: 0"

# Damaged files fail cleanly.
head -c 30 "$wav" >"$work/cut.wav"
check "truncated" 1 "$tdtool" info "$work/cut.wav"
{ printf 'RIFF\x28\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x11\x2b\0\0\x11\x2b\0\0\x01\0\x08\0data\x04\0\0\0abcd'
  printf 'DESC\xf0\xff\xff\xff\x05\0\0\0abc'; } >"$work/huge.wav"
check "huge desc size ignored" 0 "$tdtool" info "$work/huge.wav"
contains "huge reads as plain" "$work/out" "type: 1"
{ printf 'RIFF\x28\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x11\x2b\0\0\0\0\0\0\0\0\x08\0data\x04\0\0\0abcd'; } >"$work/zero.wav"
check "zero block alignment" 0 "$tdtool" info "$work/zero.wav"
contains "no length" "$work/out" "seconds: 0"
check "missing file" 1 "$tdtool" info "$work/none.wav"
check "bad field" 2 "$tdtool" note "$wav" --type 5 --desc x --weeklyDay 8
check "unknown field" 2 "$tdtool" note "$wav" --type 5 --desc x --fortnightly 1
check "needs desc" 2 "$tdtool" note "$wav" --type 5

# Writing a description never loses bytes: a form whose size covers half its sound is
# refused and left as it was; an unpadded foreign chunk, the chunk after it and a
# trailing tag of another program are carried over.
sox -n -r 11025 -b 8 -c 1 "$work/half.wav" trim 0 2
size=$(stat -c %s "$work/half.wav")
printf "$(printf '\\x%02x\\x%02x' $(((size / 2) & 255)) $(((size / 2) >> 8)))" |
    dd of="$work/half.wav" bs=1 seek=4 conv=notrunc 2>/dev/null
cp "$work/half.wav" "$work/half.orig"
check "half form refused" 1 "$tdtool" note "$work/half.wav" --type 5 --desc x
contains "half form reason" "$work/err" "do not agree"
check "half form unchanged" 0 cmp "$work/half.wav" "$work/half.orig"
sox -n -r 11025 -b 8 -c 1 "$work/odd.wav" trim 0 1
cp "$work/odd.wav" "$work/odd.sound"
{ printf 'abcd\x05\0\0\0' ; printf '12345'; printf 'LIST\x0c\0\0\0INFOICMT\0\0\0\0'; } >"$work/odd.extra"
printf 'TAG%0125d' 0 >>"$work/odd.extra"
cat "$work/odd.extra" >>"$work/odd.wav"
check "odd chunk note" 0 "$tdtool" note "$work/odd.wav" --type 5 --desc kept
extra=$(stat -c %s "$work/odd.extra")
tail -c "$extra" "$work/odd.wav" >"$work/odd.tail"
check "odd chunk and tag kept" 0 cmp "$work/odd.tail" "$work/odd.extra"
check "sound kept" 0 cmp -n "$(stat -c %s "$work/odd.sound")" "$work/odd.wav" "$work/odd.sound"

# A description longer than the memo list's field is refused before anything is written.
long=$(printf 'x%.0s' $(seq 256))
check "long description" 2 "$tdtool" note "$wav" --type 5 --desc "$long"
contains "long description reason" "$work/err" "at most 255 bytes"
check "longest description" 0 "$tdtool" note "$wav" --type 5 --desc "${long:1}"

# On a full disk the note fails and the file is as it was.
sox -n -r 11025 -b 8 -c 1 "$work/full.wav" trim 0 3
cp "$work/full.wav" "$work/full.orig"
check "full disk" 1 bash -c "trap '' XFSZ; ulimit -f 16; exec \"\$0\" note \"\$1\" --type 5 --desc x" \
    "$tdtool" "$work/full.wav"
contains "full disk reason" "$work/err" "cannot be written"
check "full disk unchanged" 0 cmp "$work/full.wav" "$work/full.orig"

# A file that someone reads is busy for a writer; readers share it.
check "reader shares" 0 flock -s "$wav" "$tdtool" info "$wav"
check "writer waits" 1 flock -s "$wav" "$tdtool" note "$wav" --type 5 --desc y
contains "busy reason" "$work/err" "in use"

# A FIFO named like a sound file does not block any command.
mkfifo "$work/fifo.wav"
check "fifo info" 1 timeout 10 "$tdtool" info "$work/fifo.wav"
contains "fifo reason" "$work/err" "not a regular file"
check "fifo note" 1 timeout 10 "$tdtool" note "$work/fifo.wav" --type 5 --desc x
# A zero-filled file is no sound file.
head -c 1048576 /dev/zero >"$work/zero.bin"
check "zeros" 1 "$tdtool" info "$work/zero.bin"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
