# Shared by the recorder drawers' desktop tests (sourced, not run): a fresh home and the
# virtual sound device, checks that count what passed and failed, and helpers to start an
# X server with openbox and the bar and to find and click the windows. A test names the
# tools it needs in $tools, sets TONEDECK_VIRTUAL_INPUT, then calls start_desktop and
# start_bar.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../../tonedeck/tests/xsession.bash"
# shellcheck disable=SC2086  # $tools is a list of names
xsession_needs fail xdotool $tools
xsession_home
xsession_no_mail
finish() { results; exit $?; }

# Xvfb and openbox (without key bindings of its own), and the user set up.
start_desktop() {
    xsession_start 1024x768x24 <<'RC'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc"><desktops><number>1</number></desktops>
<keyboard></keyboard></openbox_config>
RC
    "$tdtool" setup --user Ann >/dev/null || fail "setup"
}

visible() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
dismiss() {
    local title=$1 w
    wait_for 'w=$(visible "$title"); [ -n "$w" ]' 150 || return 1
    xdotool windowactivate --sync "$w" key --clearmodifiers Escape 2>/dev/null || xdotool key --window "$w" Escape
    wait_for '[ -z "$(visible "$title")" ]' 50
}
# A window's top-left corner on the screen.
corner() { xdotool getwindowgeometry "$1" | awk '/Position/{split($2, p, ","); print p[1], p[2]}'; }
click_in() {  # window x y
    local x y
    read -r x y < <(corner "$1")
    xdotool mousemove $((x + $2)) $((y + $3)) click 1
}
# Waits until the window stands still (its slide has ended).
still() {
    local last="" now
    for _ in $(seq 50); do
        now=$(corner "$1")
        [ "$now" = "$last" ] && return 0
        last=$now
        sleep 0.3
    done
}

# The bar, past its first start's notices; its process id in $bar_pid.
start_bar() {
    "$tonedeck" >"$work/bar.log" 2>&1 &
    bar_pid=$!
    pids+=($bar_pid)
    wait_for '[ -n "$(visible Tonedeck)" ]' 150 || fail "the bar did not appear"
    dismiss "No Mail System Detected" || fail "no-mail notice"
    dismiss "Welcome to Tonedeck" || fail "welcome"
}
