#!/usr/bin/env bash
# Installs every Debian package Tonedeck needs to build and test, but only the ones
# that are missing, then configures and builds the project.
#   scripts/setup.sh            install what is missing and build
#   scripts/setup.sh --no-build only install
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages=(
  # build
  cmake ninja-build g++ ccache pkg-config clang libclang-rt-14-dev
  qt6-base-dev libgl-dev libxcb1-dev
  libasound2-dev libavcodec-dev libavutil-dev libsoxr-dev
  libfluidsynth-dev timgm6mb-soundfont
  libcdio-dev libcdio-paranoia-dev libcurl4-openssl-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # tests: X server, window manager and X tools (imagemagick: screen grabs of the bar)
  xvfb xauth openbox xdotool x11-utils imagemagick
  # tests: speech as microphone input, an independent WAV checker
  espeak-ng sox tzdata python3
  # tests: real IMAP and SMTP servers on loopback
  dovecot-imapd python3-aiosmtpd
  # tests: a PipeWire sound server on a null sink, ALSA's default routed to it
  pipewire pipewire-bin pipewire-pulse pipewire-alsa wireplumber pulseaudio-utils dbus
  # benchmarks: the peers the engine is measured against
  alsa-utils tint2
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  # dovecot starts itself as a system service when installed; tests run their own.
  if command -v systemctl >/dev/null 2>&1; then "${sudo_cmd[@]}" systemctl disable --now dovecot >/dev/null 2>&1 || true; fi
fi

[ "${1:-}" = "--no-build" ] && exit 0

build="$here/build"
if [ ! -f "$build/build.ninja" ]; then
  launcher=()
  command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
fi
cmake --build "$build" -j 2
