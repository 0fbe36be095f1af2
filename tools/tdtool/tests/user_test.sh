#!/usr/bin/env bash
# Drives tdtool user: adding, listing, switching, renaming and removing users, and the
# refusals that keep a user's files safe.
set -u
tdtool=$1
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"
export TONEDECK_REGISTRY_DIR=$work/registry XDG_DATA_HOME=$work/data HOME=$work
users=$work/data/tonedeck/Users

check "list before setup" 1 "$tdtool" user list
check "setup" 0 "$tdtool" setup --user Ann

# Ann's settings carry an America Online name and password; a new user gets neither.
check "defaults" 0 "$tdtool" props defaults --rect 0,0,56,480 --out "$users/Ann/TDPROP.PRP"
printf 'annscreen' | dd of="$users/Ann/TDPROP.PRP" bs=1 seek=2068 conv=notrunc status=none
printf 'secret' | dd of="$users/Ann/TDPROP.PRP" bs=1 seek=2098 conv=notrunc status=none
check "add Bob" 0 "$tdtool" user add Bob
for d in "" /ECHOMEMOS /VOICEGRAM /VOICEGRAM/AOLSend; do
    [ -d "$users/Bob$d" ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL tree $d"; }
done
check "Bob's settings" 0 "$tdtool" props show "$users/Bob/TDPROP.PRP" --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "no screen name" "$work/flat" '"szAOLScreenName":""'
contains "no password" "$work/flat" '"szAOLPassword":""'
contains "creator's dock kept" "$work/flat" '"rcFloat":[0,0,112,480]'
same "the rest is Ann's" "$(cmp -l "$users/Ann/TDPROP.PRP" "$users/Bob/TDPROP.PRP" | awk '$1 < 2069 || $1 > 2128' | wc -l)" 0

check "list" 0 "$tdtool" user list --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "Bob current after add" "$work/flat" '"current":"Bob"'
contains "both listed" "$work/flat" '"name":"Ann"'
check "list text" 0 "$tdtool" user list
contains "current marked" "$work/out" "* Bob"

# Names: taken in any letter case, or not a file name.
check "duplicate" 1 "$tdtool" user add bob
contains "says taken" "$work/err" "A user name of Bob already exists"
check "slash" 1 "$tdtool" user add "a/b"
check "dot dot" 1 "$tdtool" user add ".."
check "empty" 1 "$tdtool" user add ""
check "control char" 1 "$tdtool" user add "$(printf 'a\tb')"
check "leading space" 1 "$tdtool" user add " Cy"
check "too long" 1 "$tdtool" user add "$(printf 'x%.0s' $(seq 1 256))"
long=$(printf 'y%.0s' $(seq 1 $((259 - ${#users} - 1 - 31))))
check "longest that fits" 0 "$tdtool" user add "$long"
check "one byte more" 1 "$tdtool" user add "${long}y"
contains "path too long" "$work/err" "too long"
[ ! -e "$users/${long}y" ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL long left"; }
check "switch to Ann" 0 "$tdtool" user switch Ann
check "remove long" 0 "$tdtool" user remove "$long" --yes

# Rename: refused onto another user in any case; a case change of the same user is fine;
# the current user follows.
check "rename onto other" 1 "$tdtool" user rename Bob ANN
[ -d "$users/Bob" ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL Bob gone"; }
check "rename to bad" 1 "$tdtool" user rename Bob "x/y"
check "rename missing" 1 "$tdtool" user rename Nobody Zed
check "rename current" 0 "$tdtool" user rename Ann Anna
check "current followed" 0 "$tdtool" user list --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "Anna current" "$work/flat" '"current":"Anna"'
check "case change" 0 "$tdtool" user rename Bob BOB
[ -d "$users/BOB" ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL BOB"; }

# Remove: never the current user; everything the user owns goes, folders made later
# included, after a question that names them.
check "remove current" 1 "$tdtool" user remove Anna --yes
contains "current refused" "$work/err" "current user"
mkdir -p "$users/BOB/ECHOMEMOS/later/deeper" "$users/BOB/extra"
echo x >"$users/BOB/ECHOMEMOS/later/deeper/memo.wav"
echo x >"$users/BOB/extra/notes.txt"
ln -s "$users/Anna" "$users/BOB/link-to-anna"
echo n | "$tdtool" user remove BOB >"$work/out" 2>"$work/err"
same "no keeps" "$?" 1
[ -d "$users/BOB/extra" ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL removed on no"; }
contains "names later folder" "$work/err" "ECHOMEMOS/later/deeper/memo.wav"
contains "names extra" "$work/err" "extra/notes.txt"
"$tdtool" user remove BOB </dev/null >"$work/out" 2>"$work/err"
same "no answer keeps" "$?" 1
echo y | "$tdtool" user remove BOB >"$work/out" 2>"$work/err"
same "yes removes" "$?" 0
[ ! -e "$users/BOB" ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL BOB left"; }
[ -d "$users/Anna/VOICEGRAM" ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL link followed"; }
check "remove missing" 1 "$tdtool" user remove BOB --yes
check "switch missing" 1 "$tdtool" user switch Nobody
check "switch wrong case" 1 "$tdtool" user switch anna

check "no verb" 2 "$tdtool" user
check "bad verb" 2 "$tdtool" user frob
check "extra word" 2 "$tdtool" user add A B
check "yes elsewhere" 2 "$tdtool" user add A --yes

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
