#!/usr/bin/env bash
# The real bar under Xvfb and openbox: Shift+F10 opens the popup menu at the middle of the
# bar (the bar is a dock, never the active window, so the keyboard focus is put on it the
# way a user's click would), and Ctrl+P opens the settings sheet.
set -u
td=$1
tdtool=$2
source "$(dirname "${BASH_SOURCE[0]}")/xsession.bash"
xsession_needs skip xdotool xwininfo
xsession_home
export TONEDECK_REGISTRY_DIR=$work/reg
xsession_start 1280x800x24 <<'RC'
<?xml version="1.0"?><openbox_config xmlns="http://openbox.org/3.4/rc"><keyboard></keyboard><mouse></mouse></openbox_config>
RC
"$tdtool" setup --user Ann >/dev/null || fail "setup"
# The first start's notices are answered by a settings file written beforehand.
"$tdtool" props defaults --rect 0,0,56,480 --out "$work/home/.local/share/tonedeck/Users/Ann/TDPROP.PRP" >/dev/null
"$td" >"$work/td.log" 2>&1 &
bar_pid=$!
pids+=($bar_pid)
bar=""
for i in $(seq 150); do
    # The splash carries the same title; the bar is the dock.
    for id in $(xdotool search --onlyvisible --name '^Tonedeck$' 2>/dev/null); do
        xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q DOCK && bar=$id
    done
    [ -n "$bar" ] && break
    sleep 0.2
done
[ -n "$bar" ] && ok || { fail "no bar"; cat "$work/td.log"; echo "$passed passed, $failed failed"; exit 1; }
# The mail provider is built beside the bar, so a new user of this machine has mail: the
# start shows the welcome and no no-mail notice.
sleep 2
[ -z "$(xdotool search --onlyvisible --name 'No Mail' 2>/dev/null)" ] && ok ||
    fail "no-mail notice although the mail provider is there"
for n in $(xdotool search --onlyvisible --name 'No Mail|Welcome' 2>/dev/null); do
    xdotool windowactivate --sync "$n" key --clearmodifiers Escape 2>/dev/null
done
sleep 1
eval "$(xdotool getwindowgeometry --shell "$bar")"
midx=$((X + WIDTH / 2)) midy=$((Y + HEIGHT / 2))

# Windows mapped on the root now, to tell the menu from them.
mapped() { xwininfo -root -children | awk '/^ +0x/ {print $1}' | while read -r id; do
    xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && echo "$id"; done | sort; }
before=$(mapped)
xdotool windowfocus --sync "$bar" 2>/dev/null
xdotool key --clearmodifiers shift+F10
menu=""
for i in $(seq 50); do
    menu=$(comm -13 <(echo "$before") <(mapped) | head -1)
    [ -n "$menu" ] && break
    sleep 0.1
done
if [ -n "$menu" ]; then
    ok
    geo=$(xwininfo -id "$menu")
    mx=$(echo "$geo" | awk '/Absolute upper-left X/ {print $4}')
    my=$(echo "$geo" | awk '/Absolute upper-left Y/ {print $4}')
    mh=$(echo "$geo" | awk '/Height:/ {print $2}')
    # Left-aligned at the point: the menu's corner is at the middle of the bar. Qt keeps
    # menus inside the work area, which the docked bar has left, so across the bar the
    # corner may stand at the bar's inner edge instead.
    { [ "$mx" -eq "$midx" ] || [ "$mx" -eq $((X + WIDTH)) ]; } && ok || fail "menu x $mx, bar middle $midx"
    { [ "$my" -eq "$midy" ] || [ $((my + mh)) -le 800 -a "$my" -lt "$midy" ]; } && ok ||
        fail "menu y $my, bar middle $midy"
    [ -n "${SHOT:-}" ] && import -window root "$SHOT-menu.png"
    xdotool key --clearmodifiers Escape
else
    fail "Shift+F10 opened no menu"
fi
sleep 0.5

# Ctrl+P works while a drawer is open: the first task button's drawer first.
before=$(mapped)
xdotool mousemove "$midx" $((Y + 150)) click 1
drawer=""
for i in $(seq 50); do
    drawer=$(comm -13 <(echo "$before") <(mapped) | head -1)
    [ -n "$drawer" ] && break
    sleep 0.1
done
[ -n "$drawer" ] && ok || fail "the first task button opened no drawer"
xdotool windowfocus --sync "$bar" 2>/dev/null
xdotool key --clearmodifiers ctrl+p
sheet=""
for i in $(seq 50); do
    sheet=$(xdotool search --onlyvisible --name '^Tonedeck Properties$' 2>/dev/null | head -1)
    [ -n "$sheet" ] && break
    sleep 0.1
done
[ -n "$sheet" ] && ok || fail "Ctrl+P opened no sheet"
[ -n "${SHOT:-}" ] && sleep 0.5 && import -window root "$SHOT-sheet.png"
[ -n "$sheet" ] && xdotool windowactivate --sync "$sheet" key --clearmodifiers Escape 2>/dev/null
sleep 0.5
xdotool windowfocus --sync "$bar" 2>/dev/null
xdotool key --clearmodifiers alt+F4
for i in $(seq 50); do kill -0 "$bar_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$bar_pid" 2>/dev/null && fail "bar did not end" || ok

results
