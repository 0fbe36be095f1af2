#!/usr/bin/env bash
# tdtool search against find listing the same names, over a tree of FILES files of which
# SOUNDS are sound files (WAV and MIDI), spread over 1,000 directories three levels deep.
#   bench/search_vs_find.sh [BUILD-DIR] [FILES] [SOUNDS]
set -euo pipefail
build=${1:-build}
files=${2:-100000}
sounds=${3:-2000}
tdtool=$(cd "$build/bin" && pwd)/tdtool
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree
python3 - "$tree" "$files" "$sounds" <<'PY'
import os, struct, sys
tree, files, sounds = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
wave = b"RIFF" + struct.pack("<I", 36) + b"WAVEfmt " + struct.pack("<IHHIIHH", 16, 1, 1, 8000, 8000, 1, 8) + b"data" + struct.pack("<I", 0)
step = files // sounds
for i in range(files):
    d = os.path.join(tree, "d%d" % (i % 10), "e%d" % (i // 10 % 10), "f%d" % (i // 100 % 10))
    os.makedirs(d, exist_ok=True)
    if i % step == 0:
        name, body = ("s%d.wav" % i, wave) if i % (2 * step) == 0 else ("m%d.mid" % i, b"MThd")
    else:
        name, body = "x%d.txt" % i, b"x"
    with open(os.path.join(d, name), "wb") as f:
        f.write(body)
PY
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
export TONEDECK_REGISTRY_DIR=$work/registry XDG_DATA_HOME=$work/data HOME=$work \
    XDG_RUNTIME_DIR=$work/runtime TONEDECK_MOUNTINFO=$work/mountinfo TONEDECK_UDEV_DATA=$work/udev
printf '20 1 8:1 / / rw - ext4 /dev/sda1 rw\n21 20 8:2 / %s rw - ext4 /dev/sda2 rw\n' "$tree" \
    >"$work/mountinfo"
"$tdtool" setup --user Bench >/dev/null
best() {  # best of three runs, in seconds
    local b=""
    for _ in 1 2 3; do
        local s e
        s=$(date +%s.%N)
        "$@" >/dev/null
        e=$(date +%s.%N)
        b=$(python3 -c "import sys; t=float(sys.argv[2])-float(sys.argv[1]); print(t if '$b'=='' else min(t, float('$b')))" "$s" "$e")
    done
    echo "$b"
}
find_time=$(best find "$tree" -xdev \( -iname '*.wav' -o -iname '*.mid' -o -iname '*.rmi' \))
search_time=$(best "$tdtool" search --drives D)
echo "records: $("$tdtool" search --drives D)  (find: $(find "$tree" \( -iname '*.wav' -o -iname '*.mid' \) | wc -l))"
python3 -c "import sys; f, s = float(sys.argv[1]), float(sys.argv[2]); print(f'find {f:.3f} s, tdtool search {s:.3f} s, ratio {s/f:.2f}')" "$find_time" "$search_time"
