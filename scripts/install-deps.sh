#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing need, skipping what is there;
# "install-deps.sh screenshots" installs what the demo's screenshots need instead, and
# "install-deps.sh package" what scripts/package.sh needs beside the build, and
# "install-deps.sh windows" what the Windows cross build and its runs under Wine need.
set -euo pipefail

if [ "${1:-}" = "screenshots" ]; then
    packages=(xvfb xdotool imagemagick x11-utils)
elif [ "${1:-}" = "windows" ]; then
    packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 fonts-wine xvfb xauth
        xdotool imagemagick x11-utils bison dpkg-dev zip)
elif [ "${1:-}" = "package" ]; then
    packages=(lintian dpkg-dev man-db file appstream)
else
    packages=(
    g++ cmake ninja-build ccache pkg-config clang-format
    libboost-dev libboost-log-dev libboost-thread-dev libboost-locale-dev
    libboost-regex-dev libboost-system-dev
    libgtest-dev libgmock-dev
    iproute2 g++-mingw-w64-x86-64-posix
    qt6-base-dev
    clang-14 libclang-rt-14-dev
)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
