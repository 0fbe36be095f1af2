#!/usr/bin/env bash
# Drives tdtool memo: listing a memo list file record by record, and its refusals.
set -u
tdtool=$1
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"
export TONEDECK_REGISTRY_DIR=$work/registry XDG_DATA_HOME=$work/data HOME=$work TZ=Europe/Berlin
# record PATH DESCRIPTION FREQUENCY NEXT: one 600-byte list record on stdout.
record() {
    python3 -c 'import struct, sys
p, d, f, n = sys.argv[1].encode(), sys.argv[2].encode(), int(sys.argv[3]), int(sys.argv[4])
memo = struct.pack("<iiI", 0, f, 0) + bytes(56)
sys.stdout.buffer.write(p.ljust(260, b"\0") + d.ljust(260, b"\0") + struct.pack("<i", 7) + memo + struct.pack("<Ii", n, 1))' "$@"
}

# memo FILE FREQUENCY PLAYED DAILYTIME [DESCRIPTION]: a 1-second WAV file with "DESC" and a
# "NOTE" schedule.
memo() {
    python3 -c 'import struct, sys
f, p, t = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
text = sys.argv[5].encode() if len(sys.argv) > 5 else b"Stretch"
wave = b"WAVEfmt " + struct.pack("<IHHIIHH", 16, 1, 1, 8000, 8000, 1, 8) + b"data" + struct.pack("<I", 8000) + bytes(8000)
note = struct.pack("<iiIiHHiiiH", p, f, 0, t, 6, 1, 2025, 0, t, 127).ljust(68, b"\0")
desc = struct.pack("<i", 5) + text + b"\0"
desc += b"\0" * (len(desc) & 1)
open(sys.argv[1], "wb").write(b"RIFF" + struct.pack("<I", len(wave)) + wave + b"DESC" + struct.pack("<I", len(desc)) + desc + b"NOTE" + struct.pack("<I", 68) + note)' "$@"
}

memo "$work/daily.wav" 3 0 36030
check "next" 0 "$tdtool" memo next "$work/daily.wav" --now "2025-06-04 10:00:00"
contains "seconds of the time do not make it due again" "$work/out" "next: 2025-06-05 10:00:00"
contains "seconds since 1970" "$work/out" "seconds: 1749110400"
contains "scheduled" "$work/out" "scheduled: 1"
memo "$work/once.wav" 1 1 36000
check "played once" 0 "$tdtool" memo next "$work/once.wav" --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "never again" "$work/flat" '"next":"2037-12-3123:59:59","scheduled":0,"seconds":2145913199'
check "not a memo" 1 "$tdtool" memo next "$work/none.wav"
# An older writer's description longer than the field: still a memo.
memo "$work/long.wav" 3 0 36030 "$(printf 'w%.0s' $(seq 400))"
check "overlong description" 0 "$tdtool" memo next "$work/long.wav"
contains "overlong description, schedule read" "$work/out" "scheduled: 1"
check "bad now" 2 "$tdtool" memo next "$work/daily.wav" --now "2025-13-01 10:00:00"
check "no user yet" 1 "$tdtool" memo list
contains "says why" "$work/err" "not set up"
check "setup" 0 "$tdtool" setup --user Ann
list=$work/data/tonedeck/Users/Ann/ECHOMEMOS/EMLIST.LST
{ record "$work/a.WAV" "Call home" 3 1749110400; record "" "gone" 3 1; record "$work/c.RMI" "" 0 2145913199
  head -c 300 /dev/zero; } >"$list"
check "default list" 0 "$tdtool" memo list
contains "first path" "$work/out" "0.path: \"$work/a.WAV\""
contains "description" "$work/out" '0.description: "Call home"'
contains "next time local" "$work/out" "0.nextTime: 1749110400 (2025-06-05 10:00:00)"
contains "empty path skipped, third keeps its index" "$work/out" "2.memo.frequency: 0"
check "json" 0 "$tdtool" memo list "$list" --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "json fields" "$work/flat" '"description":"Callhome","fileType":1,"index":0,"length":7'
# Streamed record by record, the output is still one indented JSON array.
reformat='import json, sys; print(json.dumps(json.load(sys.stdin), indent=4, sort_keys=True, ensure_ascii=False))'
same "json is whole" "$(python3 -c "$reformat" <"$work/out")" "$(cat "$work/out")"
same "json records" "$(python3 -c 'import json, sys; print([r["index"] for r in json.load(sys.stdin)])' <"$work/out")" "[0, 2]"
: >"$work/empty.LST"
check "json empty" 0 "$tdtool" memo list "$work/empty.LST" --json
same "empty array" "$(python3 -c 'import json, sys; print(json.load(sys.stdin))' <"$work/out")" "[]"

check "missing file" 1 "$tdtool" memo list "$work/none.LST"
mkfifo "$work/fifo.LST" "$work/fifo.wav"
check "fifo list" 1 timeout 10 "$tdtool" memo list "$work/fifo.LST"
contains "fifo list reason" "$work/err" "not a regular file"
check "fifo memo" 1 timeout 10 "$tdtool" memo next "$work/fifo.wav"

# Without a runtime folder the lock lives in TMPDIR; one planted there by someone else
# is refused, and the message says what is wrong and where instead of "busy".
mkdir -p "$work/t" "$work/elsewhere"
ln -s "$work/elsewhere" "$work/t/tonedeck-$(id -u)"
XDG_RUNTIME_DIR= TMPDIR=$work/t check "planted lock folder" 1 "$tdtool" memo list "$list"
contains "planted folder named" "$work/err" "$work/t/tonedeck-$(id -u) cannot be used"
lacks "not busy" "$work/err" "busy"
check "unknown verb" 2 "$tdtool" memo fly

# Playing a memo through the virtual device: the whole sound reaches it.
export TONEDECK_AUDIO=virtual TONEDECK_VIRTUAL_SPEED=0
TONEDECK_VIRTUAL_OUTPUT=$work/heard.wav check "play" 0 "$tdtool" memo play "$work/daily.wav" --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "play reports the memo" "$work/flat" '"description":"Stretch","file":"'"$work/daily.wav"'","played":true'
same "all samples reached the device" "$(sox --i -s "$work/heard.wav")" 8000
check "play not a memo" 1 "$tdtool" memo play "$work/a.WAV"
check "play no file" 2 "$tdtool" memo play
check "play two files" 2 "$tdtool" memo play "$work/daily.wav" "$work/once.wav"

# The player's pass over a list of memo files in the memo directory.
dir=$work/data/tonedeck/Users/Ann/ECHOMEMOS
# listed PATH FREQUENCY NEXT: the list record of a memo file, its schedule from the file.
listed() {
    python3 -c 'import struct, sys
p, f, n = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
b = open(p, "rb").read()
memo = b[b.index(b"NOTE") + 8:][:68]
memo = memo[:4] + struct.pack("<i", f) + memo[8:]
sys.stdout.buffer.write(p.encode().ljust(260, b"\0") + b"Stretch".ljust(260, b"\0") + struct.pack("<i", 1) + memo + struct.pack("<Ii", n, 1))' "$@"
}
memo "$dir/once.wav" 1 0 36000
memo "$dir/daily.wav" 3 0 36030
memo "$dir/later.wav" 3 0 36030
memo "$dir/user.wav" 0 0 0
now=1749117600  # 2025-06-05 12:00:00 in Berlin
fill() {
    { listed "$dir/once.wav" 1 $((now - 60)); listed "$dir/daily.wav" 3 $now
      listed "$dir/later.wav" 3 $((now + 60)); listed "$dir/user.wav" 0 1; } >"$list"
}
fill
check "run two due" 0 "$tdtool" memo run --minutes 0 --now "2025-06-05 12:00:00" --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "once memo played first" "$work/flat" '"description":"Stretch","nextTime":2145913199,"nextTimeLocal":"2037-12-3123:59:59","path":"'"$dir/once.wav"'","played":true'
contains "daily memo played next, due tomorrow" "$work/flat" '"nextTimeLocal":"2025-06-0610:00:00","path":"'"$dir/daily.wav"'","played":true'
same "only the due memos played" "$(grep -o '"path"' "$work/out" | wc -l)" 2
check "list after the pass" 0 "$tdtool" memo list --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "once memo marked in the list" "$work/flat" '"lastPlayed":1749117600,"monthlyDay":0,"monthlyTime":0,"notify":0,"onceDay":1,"onceMonth":6,"onceTime":36000,"onceYear":2025,"played":1'
contains "the later memo keeps its time" "$work/flat" '"nextTime":1749117660'
check "once memo marked in its file" 0 "$tdtool" memo next "$dir/once.wav"
contains "never again" "$work/out" "scheduled: 0"
check "run again" 0 "$tdtool" memo run --minutes 0 --now "2025-06-05 12:00:30"
same "a once memo plays once" "$(cat "$work/out")" ""
check "a minute later" 0 "$tdtool" memo run --minutes 0 --now "2025-06-05 12:01:00"
contains "the later memo" "$work/out" "played: $dir/later.wav (Stretch), next 2025-06-06 10:00:00"

# "Hold All Scheduled Playback" keeps the pass from playing or marking anything.
fill
check "settings" 0 "$tdtool" props defaults --out "$dir/../TDPROP.PRP"
printf '\001' | dd of="$dir/../TDPROP.PRP" bs=1 seek=$((2016 + 12)) conv=notrunc status=none
cp "$list" "$work/before.LST"
check "held" 0 "$tdtool" memo run --minutes 0 --now "2025-06-05 12:00:00"
contains "says held" "$work/out" "held"
cmp -s "$list" "$work/before.LST" && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL held pass changed the list"; }

check "run without minutes" 2 "$tdtool" memo run
check "run bad minutes" 2 "$tdtool" memo run --minutes -1
check "now needs a single pass" 2 "$tdtool" memo run --minutes 1 --now "2025-06-05 12:00:00"
rm "$list"
check "run without a list" 1 "$tdtool" memo run --minutes 0

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
