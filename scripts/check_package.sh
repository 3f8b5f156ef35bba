#!/usr/bin/env bash
# Installs the Debian package as a user would (apt-get install ./FILE.deb), uses the
# installed programs, then purges the package and checks that none of its files is left.
#
#   scripts/check_package.sh dist/ostravex_VERSION_ARCH.deb
#
# Needs root (or sudo). Refuses to run when ostravex is installed already, so that it never
# removes a package somebody installed on purpose.
set -euo pipefail
deb=$(realpath "$1")
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if dpkg-query -W -f='${Status}' ostravex 2>/dev/null | grep -q "install ok installed"; then
    echo "ostravex is installed already: remove it first (apt-get purge ostravex)" >&2
    exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

export DEBIAN_FRONTEND=noninteractive
if ! $sudo apt-get install -y -qq "$deb" >"$scratch/apt.log" 2>&1; then
    cat "$scratch/apt.log" >&2
    echo "apt-get install $deb failed" >&2
    exit 1
fi
dpkg -L ostravex >"$scratch/files"
version=$(dpkg-query -W -f='${Version}' ostravex)

# The installed programs, from the directories of PATH as a user would call them.
[ "$(command -v ostravex-cli)" = /usr/bin/ostravex-cli ] || fail "ostravex-cli is not /usr/bin/ostravex-cli"
[ "$(ostravex-cli --version | head -n 1)" = "ostravex-cli $version" ] ||
    fail "ostravex-cli --version says \"$(ostravex-cli --version)\", the package is $version"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY ostravex --version | head -n 1)" = "ostravex $version" ] ||
    fail "ostravex --version"
[ "$(man -w ostravex-cli)" = /usr/share/man/man1/ostravex-cli.1.gz ] || fail "man -w ostravex-cli"
[ "$(man -w ostravex)" = /usr/share/man/man1/ostravex.1.gz ] || fail "man -w ostravex"
for file in /usr/share/applications/org.ostravex.Ostravex.desktop \
    /usr/share/metainfo/org.ostravex.Ostravex.metainfo.xml \
    /usr/share/icons/hicolor/scalable/apps/ostravex.svg \
    /usr/share/bash-completion/completions/ostravex-cli \
    /usr/share/zsh/vendor-completions/_ostravex-cli \
    /usr/share/fish/vendor_completions.d/ostravex-cli.fish \
    /usr/share/doc/ostravex/copyright \
    /usr/share/doc/ostravex/README.md; do
    [ -f "$file" ] || fail "the package does not install $file"
done

# One NDS image of 1 MiB whose header says 589824 bytes are used, with its header checksum
# (CRC-16/MODBUS of bytes 0x000-0x15D at 0x15E); the rest is 0xFF filler.
header=()
for ((i = 0; i < 0x160; i++)); do header[i]=0; done
title="PACKAGETEST1"
for ((i = 0; i < ${#title}; i++)); do header[i]=$(printf '%d' "'${title:i:1}"); done
used=589824
for ((i = 0; i < 4; i++)); do header[0x80 + i]=$(((used >> (8 * i)) & 0xFF)); done
crc=0xFFFF
for ((i = 0; i < 0x15E; i++)); do
    crc=$((crc ^ header[i]))
    for ((bit = 0; bit < 8; bit++)); do
        if ((crc & 1)); then crc=$(((crc >> 1) ^ 0xA001)); else crc=$((crc >> 1)); fi
    done
done
header[0x15E]=$((crc & 0xFF))
header[0x15F]=$((crc >> 8))
image="$scratch/Package Test.nds"
for byte in "${header[@]}"; do printf "\\$(printf '%03o' "$byte")"; done >"$image"
head -c $((used - 0x160)) /dev/zero >>"$image"
head -c $((1048576 - used)) /dev/zero | tr '\0' '\377' >>"$image"
if ! ostravex-cli "$image" >"$scratch/trim.log" 2>&1; then
    cat "$scratch/trim.log" >&2
    fail "ostravex-cli could not trim $image"
fi
grep -qx "Package Test.nds: $((1048576 - used))" "$scratch/trim.log" ||
    fail "the trim's log: $(cat "$scratch/trim.log")"
[ "$(stat -c %s "$image")" -eq "$used" ] || fail "the trimmed image has $(stat -c %s "$image") bytes"

# Purged, nothing of the package is left: no file it installed, no folder of its own.
if ! $sudo apt-get purge -y -qq ostravex >"$scratch/apt.log" 2>&1; then
    cat "$scratch/apt.log" >&2
    fail "apt-get purge ostravex failed"
fi
if dpkg-query -W -f='${Status}' ostravex 2>/dev/null | grep -q "installed"; then
    fail "ostravex is still installed after the purge"
fi
while read -r path; do
    if [ -f "$path" ] || [ -L "$path" ]; then
        fail "left behind: $path"
    fi
done <"$scratch/files"
for folder in /usr/share/doc/ostravex; do
    [ -e "$folder" ] && fail "left behind: $folder"
done

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "The package installs, works and purges cleanly: $(basename "$deb")"
