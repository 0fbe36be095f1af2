#!/usr/bin/env bash
# Drives tdtool as a user would: setup, paths, props defaults/show, and its refusals.
set -u
tdtool=$1
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"
export TONEDECK_REGISTRY_DIR=$work/registry XDG_DATA_HOME=$work/data HOME=$work

check "paths before setup" 0 "$tdtool" paths --json
contains "no root yet" "$work/out" '"GetTonedeckRootDirectory": null'
check "setup" 0 "$tdtool" setup --user Ann
contains "setup says where" "$work/out" "$work/data/tonedeck"
check "setup again" 0 "$tdtool" setup --user Zed
contains "kept" "$work/out" "already installed"
check "paths" 0 "$tdtool" paths
contains "memo list" "$work/out" "GetEchoMemosListFilePath: $work/data/tonedeck/Users/Ann/ECHOMEMOS/EMLIST.LST"
[ -d "$work/data/tonedeck/Users/Ann/VOICEGRAM/AOLSend" ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL tree"; }

check "defaults" 0 "$tdtool" props defaults --rect 100,0,156,480 --out "$work/p.prp"
[ "$(stat -c %s "$work/p.prp")" = 2140 ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL size"; }
check "show" 0 "$tdtool" props show "$work/p.prp" --json
contains "rcFloat" "$work/out" '"rcFloat": ['
tr -d ' \n' <"$work/out" >"$work/flat"
contains "rcFloat values" "$work/flat" '"rcFloat":[100,0,212,480]'
contains "sonoscout nested" "$work/flat" '"dwTimeOfDay":28800'
check "show text" 0 "$tdtool" props show "$work/p.prp"
contains "flat names" "$work/out" "SonoscoutProps.wDays: 62"

head -c 2139 "$work/p.prp" >"$work/short.prp"
check "short file refused" 1 "$tdtool" props show "$work/short.prp"
contains "says why" "$work/err" "exactly 2140 bytes"
check "bad rect" 2 "$tdtool" props defaults --rect 1,2,3 --out "$work/x.prp"
check "huge rect" 2 "$tdtool" props defaults --rect 0,0,2000000000,0 --out "$work/x.prp"
contains "huge rect reason" "$work/err" "too wide"
mkfifo "$work/fifo.prp"
check "fifo settings" 1 timeout 10 "$tdtool" props show "$work/fifo.prp"
contains "fifo reason" "$work/err" "not a regular file"
check "unknown command" 2 "$tdtool" frobnicate
check "missing value" 2 "$tdtool" props show

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
