#!/usr/bin/env bash
# Drives tdtool mixer on the virtual card (full, without bass, without a mixer) and, when
# the fake ALSA card of the platform tests is built, on ALSA through it.
set -u
tdtool=$1
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"
export TONEDECK_REGISTRY_DIR=$work/registry HOME=$work
export TONEDECK_AUDIO=virtual TONEDECK_VIRTUAL_MIXER=$work/mixer.state

check "show" 0 "$tdtool" mixer
contains "device" "$work/out" "device: Tonedeck Virtual Mixer (version 1.0, virtual backend)"
contains "master" "$work/out" "OverallPlaybackVolume: 49152,49152"
contains "meter" "$work/out" "WaveOutPlaybackMeter: 0,0"

check "set pair" 0 "$tdtool" mixer set OverallPlaybackVolume 1000,2000
contains "set answers" "$work/out" "OverallPlaybackVolume: 1000,2000"
check "set one for both" 0 "$tdtool" mixer set cdplaybackvolume 300
check "set bass" 0 "$tdtool" mixer set OverallPlaybackBass 4096
check "set mute" 0 "$tdtool" mixer set OverallPlaybackMute 1
check "set mic mute" 0 "$tdtool" mixer set MicRecordMute 1
check "json" 0 "$tdtool" mixer --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "kept pair" "$work/flat" '"OverallPlaybackVolume":{"valid":true,"value":[1000,2000]}'
contains "kept both" "$work/flat" '"CDPlaybackVolume":{"valid":true,"value":[300,300]}'
contains "kept bass" "$work/flat" '"OverallPlaybackBass":{"valid":true,"value":4096}'
contains "kept mute" "$work/flat" '"OverallPlaybackMute":{"valid":true,"value":true}'
contains "kept mic mute" "$work/flat" '"MicRecordMute":{"valid":true,"value":true}'
contains "backend" "$work/flat" '"backend":"virtual"'

check "level too high" 2 "$tdtool" mixer set MicRecordVolume 65536
contains "says the range" "$work/err" "a level from 0 to 65535"
check "flag not 0/1" 2 "$tdtool" mixer set OverallPlaybackMute 2
check "three channels" 2 "$tdtool" mixer set OverallPlaybackVolume 1,2,3
check "meter" 2 "$tdtool" mixer set WaveOutPlaybackMeter 5
check "unknown control" 2 "$tdtool" mixer set Loudness 5
check "missing value" 2 "$tdtool" mixer set OverallPlaybackVolume
check "unknown word" 2 "$tdtool" mixer get

TONEDECK_VIRTUAL_CARD=nobass check "no bass" 0 "$tdtool" mixer
contains "bass missing" "$work/out" "OverallPlaybackBass: not available"
contains "treble there" "$work/out" "OverallPlaybackTreble: 32768"
TONEDECK_VIRTUAL_CARD=nobass check "set missing bass" 1 "$tdtool" mixer set OverallPlaybackBass 5
contains "says why" "$work/err" "OverallPlaybackBass is not available on this mixer"
TONEDECK_VIRTUAL_CARD=none check "no mixer" 0 "$tdtool" mixer
contains "no device" "$work/out" "device: no mixer (virtual backend)"
TONEDECK_VIRTUAL_CARD=none check "set without mixer" 1 "$tdtool" mixer set OverallPlaybackMute 0

# Without a state file nothing is kept between runs.
TONEDECK_VIRTUAL_MIXER= check "set unkept" 0 "$tdtool" mixer set OverallPlaybackBass 7
TONEDECK_VIRTUAL_MIXER= check "fresh card" 0 "$tdtool" mixer
contains "default bass" "$work/out" "OverallPlaybackBass: 32768"

plugin=$(cd "$(dirname "$tdtool")/../testlib" 2>/dev/null && pwd)/libtdfakectl.so
if [ -f "$plugin" ]; then  # alsa-lib loads plugins by absolute path
    cat >"$work/asound.conf" <<CONF
ctl_type.tdfake { lib "$plugin" }
ctl.!default { type tdfake state "$work/card.state" layout full }
CONF
    # The system configuration is left out: its conf.d hooks (a sound server's ALSA plugin,
    # for one) would route "default" elsewhere after this file has been read.
    export ALSA_CONFIG_PATH=$work/asound.conf
    TONEDECK_AUDIO=alsa check "alsa show" 0 "$tdtool" mixer
    contains "alsa device" "$work/out" "device: Tonedeck Test Mixer"
    contains "alsa master" "$work/out" "OverallPlaybackVolume: 52428,52428"
    contains "alsa no synth" "$work/out" "SynthPlaybackVolume: not available"
    TONEDECK_AUDIO=alsa check "alsa set treble" 0 "$tdtool" mixer set OverallPlaybackTreble 65535
    contains "alsa wrote" "$work/card.state" "Tone Control - Treble=40"
    unset TONEDECK_AUDIO
    check "alsa chosen unasked" 0 "$tdtool" mixer
    contains "alsa backend" "$work/out" "alsa backend"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
