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
finish() { [ "$failed" -eq 0 ] || bar_log; results; exit $?; }

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
# Waits until the drawer has slid all the way out. A drawer grows out of the bar, so its
# corner may not move at all during the slide: the whole geometry is watched, and it must
# be more than a sliver and unchanged for a second and a half, longer than a slide lasts.
# False (and the geometry seen printed) when it never settles within fifteen seconds.
still() {
    local last="" now same=0
    for _ in $(seq 50); do
        now=$(xdotool getwindowgeometry "$1" 2>/dev/null | awk '/Position|Geometry/{printf "%s ", $2}')
        if [ -n "$now" ] && [ "$now" = "$last" ]; then
            same=$((same + 1))
            local size=${now#* } width
            width=${size%%x*}
            [ "$same" -ge 5 ] && [ "${width:-0}" -gt 40 ] && return 0
        else
            same=0
        fi
        last=$now
        sleep 0.3
    done
    echo "window $1 never settled: $now"
    return 1
}

# What the bar printed, for a failed test's output.
bar_log() { echo "--- the bar's output:"; tail -n 40 "$work/bar.log" 2>/dev/null; }

# The bar, past its first start's notices; its process id in $bar_pid.
start_bar() {
    "$tonedeck" >"$work/bar.log" 2>&1 &
    bar_pid=$!
    pids+=($bar_pid)
    wait_for '[ -n "$(visible Tonedeck)" ]' 150 || fail "the bar did not appear"
    dismiss "No Mail System Detected" || fail "no-mail notice"
    dismiss "Welcome to Tonedeck" || fail "welcome"
}
