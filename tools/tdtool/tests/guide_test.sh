#!/usr/bin/env bash
# Drives tdtool guide: compiling the guide's text sources, dumping and checking archives.
set -u
tdtool=$1
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"
src=$TONEDECK_SOURCE_DIR/tdmend/resources/guide

check "build the shipped sources" 0 "$tdtool" guide build "$src" "$work/guide.tdd"
contains "counts" "$work/out" "143 frames, 11 control configurations"
check "check the shipped guide" 0 "$tdtool" guide check "$work/guide.tdd"
contains "clean" "$work/out" "ok: "
check "dump" 0 "$tdtool" guide dump "$work/guide.tdd"
contains "first frame" "$work/out" 'frame 1 title=1 buttons=48 prompt=1 config=1 reserved=0 picture="res 1" yes="" "nnnn" no="" "nnnn" next="Next ->" "%frame 17"'
contains "a control configuration" "$work/out" 'control 44 show=103 enable=110 device=3 label="Mic Sensitivity" play="%play mem" record="%rec"'
same "records in order: prompts, frames, controls" "$(cut -d' ' -f1 "$work/out" | uniq | tr '\n' ' ')" "prompt frame control "
check "dump as JSON" 0 "$tdtool" guide dump "$work/guide.tdd" --json
same "JSON counts" "$(python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(len(d["frames"]), len(d["controls"]), d["frames"][1]["prompt"])' "$work/out")" "143 11 -5"

# CRLF sources make the same archive.
mkdir -p "$work/crlf"
for f in DWControl DWFrames DWPrompts; do sed 's/$/\r/' "$src/$f" >"$work/crlf/$f"; done
check "build CRLF sources" 0 "$tdtool" guide build "$work/crlf" "$work/crlf.tdd"
same "CRLF archive" "$(cmp "$work/guide.tdd" "$work/crlf.tdd" && echo same)" "same"

# A truncated archive: dump shows what it read and fails; check lists the fault.
head -c 20000 "$work/guide.tdd" >"$work/cut.tdd"
check "dump a truncated archive" 1 "$tdtool" guide dump "$work/cut.tdd"
contains "where it stopped" "$work/err" "cut.tdd: at byte"
contains "records before the cut" "$work/out" "prompt 1 "
check "check a truncated archive" 1 "$tdtool" guide check "$work/cut.tdd"
contains "the archive fault" "$work/out" "cut.tdd: at byte"

# A guide with a broken reference builds, and check lists it.
mkdir -p "$work/broken"
cp "$src"/DW* "$work/broken/"
sed -i 's/%frame 1010\t/%frame 1011\t/' "$work/broken/DWFrames"
sed -i '/^2110 /d' "$work/broken/DWFrames"
check "build a broken guide" 0 "$tdtool" guide build "$work/broken" "$work/broken.tdd"
check "check a broken guide" 1 "$tdtool" guide check "$work/broken.tdd"
contains "missing target" "$work/out" "leads to frame 1011, which does not exist"
contains "lost frame" "$work/out" "frame 1010 cannot be reached from frame 1"
contains "frames leading to a removed frame" "$work/out" "leads to frame 2110, which does not exist"

# Sources with a bad line fail to build and write nothing.
printf '1 2 x 0 1 48\tres 1\n' >>"$work/broken/DWFrames"
check "build bad sources" 1 "$tdtool" guide build "$work/broken" "$work/bad.tdd"
contains "the bad line" "$work/err" "DWFrames:"
same "nothing written" "$(test -e "$work/bad.tdd" && echo yes || echo no)" "no"
check "build from a missing folder" 1 "$tdtool" guide build "$work/none" "$work/none.tdd"
check "missing archive" 1 "$tdtool" guide dump "$work/none.tdd"

check "no verb" 2 "$tdtool" guide
check "unknown verb" 2 "$tdtool" guide show "$work/guide.tdd"
check "build without OUT" 2 "$tdtool" guide build "$src"
check "check with --json" 2 "$tdtool" guide check "$work/guide.tdd" --json
check "dump with two archives" 2 "$tdtool" guide dump "$work/guide.tdd" "$work/guide.tdd"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
