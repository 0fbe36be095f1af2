#!/usr/bin/env bash
# Plays, records and sets the mixer through a PipeWire server of the test's own on a null
# sink, with ALSA's default device routed to it as on most desktops. The server, its
# session manager and its session bus are started here and stopped by their ids.
set -u
tdtool=$1
here=$(dirname "${BASH_SOURCE[0]}")
source "$here/checks.bash"
source "$here/pipewire_session.bash"
if ! command -v pipewire >/dev/null || [ ! -e /usr/share/alsa/alsa.conf.d/50-pipewire.conf ]; then
    echo "PipeWire or its ALSA plugin is not installed (scripts/setup.sh installs them)"
    echo "0 passed, 1 failed"
    exit 1
fi
trap 'pipewire_stop; rm -rf "$work"' EXIT
export TONEDECK_REGISTRY_DIR=$work/registry HOME=$work TONEDECK_AUDIO=alsa
if ! pipewire_start "$work/pw"; then
    echo "FAIL the PipeWire server did not start"; tail -n 20 "$work"/pw/*.log
    echo "0 passed, 1 failed"
    exit 1
fi

# Playback ends once the sink has played the last frame, at the common rates and at one
# shorter than a device period.
for rate in 44100 48000 22050; do
    sox -n -r $rate -c 2 -b 16 "$work/tone$rate.wav" synth 3 sine 440 gain -6
    check "play at $rate Hz" 0 "$tdtool" play "$work/tone$rate.wav" --json
    contains "played at $rate Hz" "$work/out" '"seconds": 3'
done
sox -n -r 44100 -c 1 -b 16 "$work/blip.wav" synth 0.01 sine 880
check "play a blip" 0 "$tdtool" play "$work/blip.wav"

# Recording while something plays: the sink's monitor hears the tone, and the file holds
# exactly the length asked for.
sox -n -r 44100 -c 2 -b 16 "$work/long.wav" synth 8 sine 440 gain -3
"$tdtool" play "$work/long.wav" >"$work/long.out" 2>&1 &
player=$!
for _ in $(seq 200); do [ -n "$(pactl list short sink-inputs)" ] && break; sleep 0.05; done
check "record while playing" 0 "$tdtool" record "$work/rec.wav" --format 3 --seconds 2
same "recorded length" "$(sox --i -s "$work/rec.wav")" 88200
peak=$(sox "$work/rec.wav" -n stat 2>&1 | awk '/Maximum amplitude/ { print $3 }')
same "the recording hears the tone" "$(awk -v p="$peak" 'BEGIN { print (p > 0.1) ? "yes" : "no (" p ")" }')" yes
wait "$player"
same "the long play ends well" "$?" 0

# The mixer both ways: tdtool moves the sink, and the sink's changes show in tdtool.
check "mixer set" 0 "$tdtool" mixer set OverallPlaybackVolume 32768
same "the sink follows" "$(pactl get-sink-volume tdnull | grep -o '[0-9]*%' | head -n 1)" "50%"
pactl set-sink-volume tdnull 25%
check "mixer read" 0 "$tdtool" mixer --json
tr -d ' \n' <"$work/out" >"$work/flat"
volume=$(grep -o '"OverallPlaybackVolume":{"valid":true,"value":\[[0-9]*' "$work/flat" | grep -o '[0-9]*$')
same "tdtool follows the sink" "$(awk -v v="${volume:-0}" 'BEGIN { print (v >= 16000 && v <= 16800) ? "yes" : "no (" v ")" }')" yes

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
