#!/usr/bin/env bash
# Installs the Debian packages that building and testing Ostravex need. Idempotent: it says
# nothing and changes nothing when everything is already there.
# Usage: scripts/deps.sh [screenshots]   (screenshots: the X tools docs/make_screenshots.sh
# drives the window with, instead of the build packages)
set -euo pipefail

packages=(
    build-essential
    cmake
    ninja-build
    pkg-config
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    zlib1g-dev
    # DATs: XML read with expat, SHA-1 from OpenSSL's libcrypto.
    libexpat1-dev
    libssl-dev
    libarchive-dev
    7zip
    qt6-base-dev
    libgl-dev
    libcurl4-openssl-dev
    libarchive-tools
    nlohmann-json3-dev
    # The fuzz targets (scripts/fuzz.sh): clang, and its runtime libraries with libFuzzer.
    clang
    libclang-rt-dev
    # The installed files and the Debian package (packaging/, scripts/package.sh): man pages
    # from --help, the shells whose completions are tested, the desktop entry's and the
    # metainfo's validators, dpkg-shlibdeps and lintian.
    help2man
    man-db
    bash-completion
    zsh
    fish
    desktop-file-utils
    appstream
    dpkg-dev
    lintian
    # Crash tests: kills at chosen system calls (strace), and roms on an exFAT memory card
    # mounted from an image file through FUSE (the tests skip where FUSE is not usable).
    strace
    exfatprogs
    exfat-fuse
)
if [ "${1:-}" = screenshots ]; then
    packages=(xvfb xauth xdotool imagemagick python3 fonts-dejavu-core openbox)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
