#!/usr/bin/env bash
# Installs the Debian packages Sorvelin needs to build, test and run.
# A second run finds everything present and installs nothing.
set -euo pipefail

packages=(
    g++ cmake ninja-build make pkg-config
    qt6-base-dev
    libasound2-dev
    libfluidsynth-dev timgm6mb-soundfont fluid-soundfont-gm libsndfile1-dev
    libjack-jackd2-dev jackd2 pulseaudio pulseaudio-utils fluidsynth
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth
    dbus at-spi2-core python3-pyatspi
    clang libclang-rt-14-dev
    lv2-dev liblilv-dev lilv-utils sordi jalv
    musescore3 libxml2-utils
    desktop-file-utils appstream lintian file dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
