#!/usr/bin/env bash
# Drives tdtool search over a drive of our own: record order and types, the folders a
# search never enters, keep-old, the records shown, and a drive mounted inside another.
set -u
tdtool=$1
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"
tree=$work/tree
mkdir -p "$tree" "$work/runtime" "$work/udev"
chmod 700 "$work/runtime"
export TONEDECK_REGISTRY_DIR=$work/registry XDG_DATA_HOME=$tree/data HOME=$tree \
    XDG_RUNTIME_DIR=$work/runtime TONEDECK_MOUNTINFO=$work/mountinfo TONEDECK_UDEV_DATA=$work/udev
printf '20 1 8:1 / / rw - ext4 /dev/sda1 rw\n21 20 8:2 / %s rw - ext4 /dev/sda2 rw\n' "$tree" \
    >"$work/mountinfo"

# wave FILE [DESCRIPTION]: a short WAV file, with a "DESC" chunk after the form when a
# description is given.
wave() {
    python3 -c 'import struct, sys
wave = b"WAVEfmt " + struct.pack("<IHHIIHH", 16, 1, 1, 8000, 8000, 1, 8) + b"data" + struct.pack("<I", 800) + bytes(800)
desc = b""
if len(sys.argv) > 2:
    d = struct.pack("<i", 5) + sys.argv[2].encode() + b"\0"
    desc = b"DESC" + struct.pack("<I", len(d)) + d + bytes(len(d) % 2)
open(sys.argv[1], "wb").write(b"RIFF" + struct.pack("<I", len(wave)) + wave + desc)' "$@"
}

check "no user yet" 1 "$tdtool" search --drives D
check "setup" 0 "$tdtool" setup --user Ann
data=$tree/data/tonedeck/TDSEARCH.PRP
memos=$tree/data/tonedeck/Users/Ann/ECHOMEMOS
mkdir -p "$tree/a/b" "$tree/.local/share/Trash/files" "$memos"
wave "$tree/a/one.WAV" "Call Bob"
printf 'MThd' >"$tree/a/song.mid"
printf 'RIFF' >"$tree/a/tune.RMI"
printf 'text' >"$tree/a/notes.txt"
wave "$tree/a/b/three.wav"
wave "$tree/.local/share/Trash/files/gone.wav"
wave "$memos/SAY1.WAV"
ln -s "$tree" "$tree/a/loop"  # a symbolic link back to the top is not followed

check "search" 0 "$tdtool" search --drives D
same "record count" "$(cat "$work/out")" 4
check "show" 0 "$tdtool" search show
same "order and types" "$(cut -f1,3 "$work/out" | tr '\t\n' ' |')" \
    "1 $tree/a/one.WAV|2 $tree/a/song.mid|2 $tree/a/tune.RMI|1 $tree/a/b/three.wav|"
contains "size and description" "$work/out" "$(printf '1\t%s\t%s\tCall Bob' "$(stat -c %s "$tree/a/one.WAV")" "$tree/a/one.WAV")"
lacks "trash never searched" "$work/out" "gone.wav"
lacks "memos never searched" "$work/out" "SAY1.WAV"
same "file is whole records" "$(($(stat -c %s "$data") % 792))" 0

check "wave only" 0 "$tdtool" search --drives d: --wav
same "wave count" "$(cat "$work/out")" 2
check "show wave only" 0 "$tdtool" search show "$data"
same "wave types" "$(cut -f1 "$work/out" | sort -u)" 1
check "midi only" 0 "$tdtool" search --drives D --midi --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "json count" "$work/flat" '"published":true,"records":2'
check "show midi only" 0 "$tdtool" search show --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "json record" "$work/flat" "\"description\":\"\",\"index\":0,\"lastWrite\":"
contains "json type" "$work/flat" "\"name\":\"song.mid\",\"path\":\"$tree/a/song.mid\",\"size\":4,\"type\":2"
lacks "json wave" "$work/flat" "one.WAV"

cp "$data" "$work/before"
wave "$tree/a/b/four.wav"
check "keep old" 0 "$tdtool" search --drives D --keep-old
same "keep-old still counts" "$(cat "$work/out")" 5
if cmp -s "$data" "$work/before"; then same "old file byte for byte" 1 1; else same "old file byte for byte" changed same; fi

# A record whose file was deleted has an empty path: skipped, the others keep their index.
check "search again" 0 "$tdtool" search --drives D
python3 -c 'import sys
b = bytearray(open(sys.argv[1], "rb").read()); b[532] = 0
open(sys.argv[1], "wb").write(b)' "$data"
check "show cleared" 0 "$tdtool" search show --json
tr -d ' \n' <"$work/out" >"$work/flat"
lacks "cleared record" "$work/flat" '"index":0'
contains "second keeps its index" "$work/flat" '"index":1'

# The settings' drives when none are named (the defaults search C:, the whole root here,
# so they are narrowed to D: first: the drive flags lie at offset 1864 of TDPROP.PRP).
props=$tree/data/tonedeck/Users/Ann/TDPROP.PRP
check "settings file" 0 "$tdtool" props defaults --out "$props"
python3 -c 'import struct, sys
p = sys.argv[1]; b = bytearray(open(p, "rb").read())
b[1864:1864 + 104] = b"".join(struct.pack("<i", 1 if i == 3 else 0) for i in range(26))
open(p, "wb").write(b)' "$props"
check "settings' drives" 0 "$tdtool" search
same "settings' drives count" "$(cat "$work/out")" 5

check "missing data file" 1 "$tdtool" search show "$work/none.PRP"
check "bad drive" 2 "$tdtool" search --drives 1
check "drive A" 2 "$tdtool" search --drives A
check "unknown option" 2 "$tdtool" search --drive D
check "show extra" 2 "$tdtool" search show a b

# A drive mounted inside the searched one, without a letter chosen of its own, is entered
# (a /home of its own under C:); chosen too, it is searched once, at its own turn. The
# inner drive is a file system mounted in a private namespace, where the system allows.
mkdir -p "$tree/home"
printf '20 1 8:1 / / rw - ext4 /dev/sda1 rw\n21 20 8:2 / %s rw - ext4 /dev/sda2 rw\n22 21 8:3 / %s rw - ext4 /dev/sda3 rw\n' \
    "$tree" "$tree/home" >"$work/mountinfo"
export tdtool tree work
if unshare -rm true 2>/dev/null; then
    unshare -rm bash -c '
        mount -t tmpfs none "$tree/home" || exit 3
        python3 -c "open(\"$tree/home/nested.wav\", \"wb\").write(b\"RIFF\")"
        "$tdtool" drives >"$work/drives"
        "$tdtool" search --drives D --wav >"$work/n1" 2>&1 && "$tdtool" search show >"$work/nested1"
        "$tdtool" search --drives D,E --wav >"$work/n2" 2>&1 && "$tdtool" search show >"$work/nested2"
        "$tdtool" search --drives E --wav >"$work/n3" 2>&1 && "$tdtool" search show >"$work/nested3"'
    same "namespace ran" $? 0
    contains "E: is the inner drive" "$work/drives" "E:  fixed     $tree/home "
    contains "inner drive entered from D:" "$work/nested1" "$tree/home/nested.wav"
    same "searched once with both" "$(grep -c "$tree/home/nested.wav" "$work/nested2")" 1
    same "inner drive alone" "$(cut -f3 "$work/nested3")" "$tree/home/nested.wav"
else
    echo "skipped the inner drive: no private mount namespace here"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
