# Shared by the recorder drawers' desktop tests (sourced, not run): a fresh home and the
# virtual sound device, checks that count what passed and failed, and helpers to start an
# X server with openbox and the bar and to find and click the windows. A test names the
# tools it needs in $tools, sets TONEDECK_VIRTUAL_INPUT, then calls start_desktop and
# start_bar.
set -u
for tool in Xvfb openbox xdotool xprop $tools; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; echo "0 passed, 1 failed"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/run TONEDECK_AUDIO=virtual QT_QPA_PLATFORM=xcb
export TONEDECK_VIRTUAL_MIXER=$work/mixer.state
unset XAUTHORITY
# The registry store lives in the test's folder; its machine part says this machine has no
# mail system, so every start shows the no-mail notice before anything else.
export TONEDECK_REGISTRY_DIR=$work/reg
mkdir -p "$TONEDECK_REGISTRY_DIR"
printf '%s\nInstalled=0\n' '[SOFTWARE\Microsoft\Windows\CurrentVersion\Setup\OptionalComponents\MAPI]' \
    >"$TONEDECK_REGISTRY_DIR/machine.ini"
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

passed=0 failed=0
ok() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
check() { if eval "$2"; then ok; else fail "$1 ($2)"; fi; }
wait_for() { local cmd=$1 tenths=${2:-100}; for _ in $(seq "$tenths"); do eval "$cmd" && return 0; sleep 0.1; done; return 1; }
finish() { echo "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; exit $?; }

# Xvfb and openbox (without key bindings of its own), and the user set up.
start_desktop() {
    exec 3>"$work/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    exec 3>&-
    wait_for '[ -s "$work/display" ]' 100 || { echo "Xvfb did not start"; echo "0 passed, 1 failed"; exit 1; }
    export DISPLAY=:$(head -1 "$work/display")
    cat >"$work/rc.xml" <<'RC'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc"><desktops><number>1</number></desktops>
<keyboard></keyboard></openbox_config>
RC
    openbox --config-file "$work/rc.xml" >"$work/openbox.log" 2>&1 &
    pids+=($!)
    wait_for 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' 300 ||
        { echo "openbox did not start"; echo "0 passed, 1 failed"; exit 1; }
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
