# A private PipeWire sound server for tests and benchmarks (sourced, not run): its own
# XDG_RUNTIME_DIR and session bus under $1, pipewire, wireplumber and pipewire-pulse, and a
# null sink "tdnull" as the default sink (its monitor the default source), so ALSA's
# "default" device plays into PipeWire as on a desktop. Every process it starts is stopped
# by its id when pipewire_stop runs.
#   pipewire_start DIR   0 when the server answers; 1 when it cannot be started
#   pipewire_stop

pipewire_pids=()

pipewire_start() {
    local dir=$1
    local tool
    for tool in pipewire wireplumber pipewire-pulse pactl dbus-daemon; do
        command -v "$tool" >/dev/null 2>&1 || { echo "pipewire_start: $tool is missing"; return 1; }
    done
    mkdir -p "$dir/run" "$dir/config" "$dir/state"
    chmod 700 "$dir/run"
    export XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/config XDG_STATE_HOME=$dir/state
    export PULSE_RUNTIME_PATH=$dir/run/pulse
    unset PULSE_SERVER PIPEWIRE_REMOTE
    local address="unix:path=$dir/run/bus"
    dbus-daemon --session --nofork --nopidfile --address="$address" >"$dir/dbus.log" 2>&1 &
    pipewire_pids+=($!)
    export DBUS_SESSION_BUS_ADDRESS=$address
    local i
    for i in $(seq 100); do [ -S "$dir/run/bus" ] && break; sleep 0.05; done
    pipewire >"$dir/pipewire.log" 2>&1 &
    pipewire_pids+=($!)
    for i in $(seq 100); do [ -S "$dir/run/pipewire-0" ] && break; sleep 0.05; done
    wireplumber >"$dir/wireplumber.log" 2>&1 &
    pipewire_pids+=($!)
    pipewire-pulse >"$dir/pipewire-pulse.log" 2>&1 &
    pipewire_pids+=($!)
    for i in $(seq 200); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
    pactl info >/dev/null 2>&1 || { echo "pipewire_start: the server does not answer"; return 1; }
    pactl load-module module-null-sink sink_name=tdnull \
        sink_properties=device.description=tdnull >/dev/null || return 1
    for i in $(seq 100); do
        pactl set-default-sink tdnull 2>/dev/null && pactl set-default-source tdnull.monitor 2>/dev/null && break
        sleep 0.05
    done
    [ "$(pactl get-default-sink 2>/dev/null)" = tdnull ]
}

pipewire_stop() {
    local pid
    for pid in "${pipewire_pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pipewire_pids[@]}"; do wait "$pid" 2>/dev/null; done
    pipewire_pids=()
}
