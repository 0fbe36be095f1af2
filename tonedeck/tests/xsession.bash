# Shared by the tests that run the program on an X server of their own (sourced, not run).
# Sourcing it gives:
#   work        a private folder, removed at exit after every process in pids has ended
#   pids        processes to stop at exit, by id: TERM, then KILL after five seconds
#   passed, failed, ok, fail NAME, check NAME COMMAND, wait_for COMMAND [TENTHS],
#   results     prints "N passed, N failed" and gives the status the test ends with
#   xsession_needs fail|skip TOOL...  ends the test (failed, or skipped with status 0)
#                                     unless every tool is there
#   xsession_home   a fresh home, data, cache and runtime folder in work, virtual sound
#   xsession_no_mail  a registry store in work that says the machine has no mail system
#   xsession_start SCREEN   Xvfb on a free display (DISPLAY exported), then openbox with
#                           the configuration read from stdin; ends the test, failed,
#                           when either does not start
# A test may define xsession_cleanup, run at exit before work is removed.

work=$(mktemp -d)
pids=()
xsession_exit() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
    done
    declare -F xsession_cleanup >/dev/null && xsession_cleanup
    rm -rf "$work"
}
trap xsession_exit EXIT

passed=0 failed=0
ok() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
check() { if eval "$2"; then ok; else fail "$1 ($2)"; fi; }
# Waits up to $2 tenths of a second (default 100) for a command to succeed.
wait_for() { local cmd=$1 tenths=${2:-100}; for _ in $(seq "$tenths"); do eval "$cmd" && return 0; sleep 0.1; done; return 1; }
results() { echo "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; }

xsession_needs() {
    local how=$1 tool
    shift
    for tool in Xvfb openbox xprop "$@"; do
        command -v "$tool" >/dev/null && continue
        if [ "$how" = skip ]; then echo "SKIP: no $tool"; exit 0; fi
        echo "missing $tool"; echo "0 passed, 1 failed"; exit 1
    done
}

xsession_home() {
    export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
    export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/run TONEDECK_AUDIO=virtual
    export QT_QPA_PLATFORM=xcb TONEDECK_VIRTUAL_MIXER=$work/mixer.state
    unset TONEDECK_REGISTRY_DIR XAUTHORITY
    mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
}

# The registry store in work, its machine part saying this machine has no mail system:
# every start then shows the no-mail notice before anything else.
xsession_no_mail() {
    export TONEDECK_REGISTRY_DIR=$work/reg
    mkdir -p "$TONEDECK_REGISTRY_DIR"
    printf '%s\nInstalled=0\n' \
        '[SOFTWARE\Microsoft\Windows\CurrentVersion\Setup\OptionalComponents\MAPI]' \
        >"$TONEDECK_REGISTRY_DIR/machine.ini"
}

xsession_start() {
    local screen=$1 attempt
    cat >"$work/rc.xml"
    # Xvfb picks a free display itself and writes its number to the descriptor.
    exec 3>"$work/display"
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    exec 3>&-
    wait_for '[ -s "$work/display" ]' 100 || { echo "Xvfb did not start"; echo "0 passed, 1 failed"; exit 1; }
    export DISPLAY=:$(head -1 "$work/display")
    # openbox has taken the display once it has set _NET_SUPPORTING_WM_CHECK; a slow
    # machine gets a second try before the test gives up.
    for attempt in 1 2; do
        openbox --config-file "$work/rc.xml" >"$work/openbox.log" 2>&1 &
        pids+=($!)
        wait_for 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' 300 && return 0
        kill "${pids[-1]}" 2>/dev/null
    done
    echo "openbox did not start:"; cat "$work/openbox.log"; echo "0 passed, 1 failed"; exit 1
}
