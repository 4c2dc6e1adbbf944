#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need (only what is missing).
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config git
    libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev zlib1g-dev
    libasound2-dev libjack-jackd2-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core xvfb xauth
    jackd2 jack-tools alsa-utils sox imagemagick
    lsp-plugins-vst dragonfly-reverb-vst
    timgm6mb-soundfont fluidsynth
)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
