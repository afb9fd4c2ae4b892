#!/usr/bin/env bash
# Installs every Debian package that Norvane's build, tests and application need.
# Idempotent and non-interactive: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev
  juce-modules-source juce-tools
  libfluidsynth-dev fluid-soundfont-gm timgm6mb-soundfont mda-lv2
  libasound2-dev libjack-jackd2-dev libcurl4-gnutls-dev
  libfreetype-dev libfontconfig1-dev libx11-dev libxext-dev libxinerama-dev
  libxrandr-dev libxcursor-dev libgl-dev
  libflac-dev libvorbis-dev libogg-dev
  xvfb xauth fonts-dejavu-core fontconfig
  # A JACK server with a dummy driver, for the real-time tests and benchmarks; FluidSynth's
  # own JACK driver, the peer the latency benchmark measures beside the program.
  jackd2 jack-capture alsa-utils python3 fluidsynth
  # Validating and packaging the installed files.
  desktop-file-utils appstream groff-base dpkg-dev
  # Plug-ins a musician's machine has: the suite must pass beside them, since it looks for
  # plug-ins only in a folder of its own.
  x42-plugins calf-plugins guitarix-lv2
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
