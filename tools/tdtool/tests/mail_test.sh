#!/usr/bin/env bash
# Voicegrams over real servers: dovecot (IMAP) and aiosmtpd (SMTP) started on free ports
# of 127.0.0.1 and stopped by process id; send, list, fetch and compare bytes, as an
# attachment and UU-encoded in the text; saving messages into the inbox through the
# provider; a partly failed send; decoding stored messages;
# and two local users over the Maildir store with no server at all.
set -u
tdtool=$1
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"
source "$(dirname "${BASH_SOURCE[0]}")/mailservers/servers.bash"
start_mail_servers "$work" || exit 1
add_mail_user bob bobpw
add_mail_user ann 'ann secret'

export TONEDECK_REGISTRY_DIR=$work/reg XDG_DATA_HOME=$work/data HOME=$work
export XDG_RUNTIME_DIR=$work/run TONEDECK_TRACE=$work/trace
mkdir -m 700 "$work/run"
printf 'ann secret\n' >"$work/pw"
head -c 70001 /dev/urandom >"$work/sound.wav"

# --- the account -------------------------------------------------------------------
check "account needs all three" 2 "$tdtool" mail account --imap imap://127.0.0.1:1
check "account" 0 "$tdtool" mail account --imap "imap://127.0.0.1:$IMAP_PORT" \
    --smtp "smtp://127.0.0.1:$SMTP_PORT" --user ann --from ann@localhost \
    --password-file "$work/pw" --plain-loopback --json
contains "imap store" "$work/out" '"store": "imap"'
contains "remembered" "$work/out" '"passwordRemembered": true'
same "password file private" "$(stat -c %a "$work/reg/mail-password")" 600
lacks "password not in the store" "$work/reg/user.ini" "ann secret"

# --- send, list, fetch: attachment ------------------------------------------------------
check "send" 0 "$tdtool" mail send "$work/sound.wav" --to bob@localhost,ann@localhost \
    --subject "first one" --json
contains "sent" "$work/out" '"sent": true'
contains "subject marked" "$work/out" '"subject": "VOICEGRAM first one"'
check "list" 0 "$tdtool" mail list --json
contains "listed" "$work/out" '"subject": "VOICEGRAM first one"'
contains "from" "$work/out" '"from": "ann@localhost"'
contains "not heard" "$work/out" '"heard": false'
id=$(grep -o '"id": "[0-9]*"' "$work/out" | head -1 | grep -o '[0-9]\{2,\}')
check "fetch" 0 "$tdtool" mail fetch "$id" --out "$work/got"
got=$(cat "$work/out")
same "fetched under its name" "$got" "$work/got/VGRAM.WAV"
cmp -s "$work/sound.wav" "$got" && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL bytes differ"; }
check "fetch again" 0 "$tdtool" mail fetch "$id" --out "$work/got"
same "never overwrites" "$(cat "$work/out")" "$work/got/VGRAM-2.WAV"
check "fetch peeks" 0 "$tdtool" mail list --json
contains "still new" "$work/out" '"heard": false'
check "no such id" 1 "$tdtool" mail fetch 0000099999 --out "$work/got"

# Bob got the same message in his Maildir: decode it as the inbox does.
stored=$(ls "$MAILROOT/bob/Maildir/new/"* | head -1)
check "decode stored MIME" 0 "$tdtool" mail decode "$stored" --out "$work/dec"
cmp -s "$work/sound.wav" "$(cat "$work/out")" && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL MIME decode"; }

# --- the UU text mode -----------------------------------------------------------------
check "send uu" 0 "$tdtool" mail send "$work/sound.wav" --to ann@localhost --subject "uu one" --uu
check "list uu" 0 "$tdtool" mail list
contains "uu listed" "$work/out" "VOICEGRAM uu one"
uuid=$(grep "uu one" "$work/out" | cut -d' ' -f1)
check "fetch uu" 0 "$tdtool" mail fetch "$uuid" --out "$work/uu"
cmp -s "$work/sound.wav" "$(cat "$work/out")" && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL uu bytes"; }
uumsg=$(grep -l "begin 600 VGRAM.WAV" "$MAILROOT/ann/Maildir/"*/* | head -1)
[ -n "$uumsg" ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL no UU text on the server"; }
check "decode stored UU" 0 "$tdtool" mail decode "$uumsg" --out "$work/dec"
cmp -s "$work/sound.wav" "$(cat "$work/out")" && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL UU decode"; }

# --- saving into the server's inbox, as any Simple MAPI client saves -----------------------
mapi=$(dirname "$tdtool")/../lib/libtdmapi.so
# A library built with AddressSanitizer needs its runtime loaded first into a program
# that was not (python's own allocations are not ours to check for leaks).
python=(/usr/bin/python3)
asan=$(ldd "$mapi" | awk '/libasan/{print $3}')
[ -z "$asan" ] || python=(env LD_PRELOAD="$asan" ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" /usr/bin/python3)
check "save mail over IMAP" 0 "${python[@]}" \
    "$(dirname "${BASH_SOURCE[0]}")/mailservers/savemail.py" "$mapi" "$work/sound.wav"
same "one saved message left" "$(grep -l "VOICEGRAM saved" "$MAILROOT/ann/Maildir/"*/* | wc -l)" 1
contains "replaced as read" "$work/out" "ok new one read"

# --- failures ---------------------------------------------------------------------------
check "partly failed send" 1 "$tdtool" mail send "$work/sound.wav" \
    --to nobody@localhost,bob@localhost --subject partial
contains "says which" "$work/err" "nobody@localhost"
lacks "not the one reached" "$work/err" "bob@localhost"
[ -f "$work/sound.wav" ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL recording lost"; }
lacks "no password in the trace" "$work/trace" "ann secret"
printf 'hello\n' >"$work/plain.txt"
check "nothing to decode" 1 "$tdtool" mail decode "$work/plain.txt" --out "$work/dec"
printf 'begin 600 ../../../evil.wav\n#0V%%T\n`\nend\n' >"$work/evil.txt"
check "hostile name" 0 "$tdtool" mail decode "$work/evil.txt" --out "$work/dec"
same "kept in the folder" "$(cat "$work/out")" "$work/dec/evil.wav"
check "missing file" 1 "$tdtool" mail send "$work/none.wav" --to bob@localhost
check "unknown verb" 2 "$tdtool" mail frob
check "send needs --to" 2 "$tdtool" mail send "$work/sound.wav"

# A wrong password fails the log-on; a non-loopback plain server is refused.
printf 'wrong\n' >"$work/badpw"
check "bad password" 0 "$tdtool" mail account --imap "imap://127.0.0.1:$IMAP_PORT" \
    --smtp "smtp://127.0.0.1:$SMTP_PORT" --user ann --password-file "$work/badpw" --plain-loopback
check "log-on fails" 1 "$tdtool" mail list
check "no plain off loopback" 0 "$tdtool" mail account --imap "imap://localhost:$IMAP_PORT" \
    --smtp "smtp://localhost:$SMTP_PORT" --user ann --password-file "$work/pw" --plain-loopback
check "refused" 1 "$tdtool" mail list
check "tls demanded" 0 "$tdtool" mail account --imap "imap://127.0.0.1:$IMAP_PORT" \
    --smtp "smtp://127.0.0.1:$SMTP_PORT" --user ann --password-file "$work/pw"
check "no STARTTLS, no log-on" 1 "$tdtool" mail list

# --- two local users over the Maildir store ------------------------------------------------
export TONEDECK_MAILDIR_USERS=$work/users
as_user() {  # as_user NAME tdtool-args...
    local name=$1
    shift
    TONEDECK_REGISTRY_DIR=$work/users/$name/reg XDG_DATA_HOME=$work/users/$name "$tdtool" "$@"
}
for u in kim lee; do
    check "$u local account" 0 as_user $u mail account --local
    check "$u maildir" 0 as_user $u mail list
done
check "kim sends to lee" 0 as_user kim mail send "$work/sound.wav" --to lee --subject "next door"
check "lee lists" 0 as_user lee mail list --json
contains "lee has it" "$work/out" '"subject": "VOICEGRAM next door"'
lid=$(grep -o '"id": "[^"]*"' "$work/out" | head -1 | cut -d'"' -f4)
check "lee fetches" 0 as_user lee mail fetch "$lid" --out "$work/lee"
cmp -s "$work/sound.wav" "$(cat "$work/out")" && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAIL local bytes"; }
check "kim has nothing" 0 as_user kim mail list
contains "empty" "$work/out" "no voicegrams"
check "unknown local user" 1 as_user kim mail send "$work/sound.wav" --to nosuchuser --subject x
check "remote address refused locally" 1 as_user kim mail send "$work/sound.wav" --to lee@example.org

stop_mail_servers
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
