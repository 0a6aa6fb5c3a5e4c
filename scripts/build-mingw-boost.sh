#!/usr/bin/env bash
# Builds the Boost libraries the Windows exe links (Log, Thread, Locale, System, Regex) for
# MinGW-w64 from Debian's own boost1.74 source package, once per machine. The result lives
# outside the repository, keyed by the source package's version; a second run only prints
# where it is. Prints the prefix on the last line of standard output.
#   RBFINDER_CACHE  cache folder (default ~/.cache/rbfinder)
set -euo pipefail

cache="${RBFINDER_CACHE:-$HOME/.cache/rbfinder}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

# The sources come from the same suite as the installed system.
if ! apt-cache showsrc boost1.74 >/dev/null 2>&1 || [ -z "$(apt-cache showsrc boost1.74 2>/dev/null)" ]; then
    suite="$(. /etc/os-release && echo "$VERSION_CODENAME")"
    echo "build-mingw-boost: adding a deb-src entry for $suite" >&2
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$suite" "$suite" | $sudo tee /etc/apt/sources.list.d/rbfinder-deb-src.sources >/dev/null
    $sudo apt-get update -qq >&2
fi
version="$(apt-cache showsrc boost1.74 | sed -n 's/^Version: //p' | sort -V | tail -1)"
prefix="$cache/mingw-boost-$version"

if [ -f "$prefix/.complete" ]; then
    echo "build-mingw-boost: cached in $prefix" >&2
    echo "$prefix"
    exit 0
fi

started=$SECONDS
for package in bison dpkg-dev g++-mingw-w64-x86-64-posix; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$package" >&2
    fi
done

work="$cache/mingw-boost-work"
rm -rf "$work" "$prefix"
mkdir -p "$work"
cd "$work"
echo "build-mingw-boost: fetching boost1.74 $version" >&2
apt-get source -qq boost1.74="$version" >/dev/null
source_dir="$(find . -maxdepth 1 -type d -name 'boost1.74-*' | head -1)"
if [ -z "$source_dir" ]; then
    echo "build-mingw-boost: apt-get source left no boost1.74 folder in $work" >&2
    exit 1
fi
cd "$source_dir"

# Debian's repacked tree lacks the b2 engine's generated grammar.
(cd tools/build/src/engine && bison -y -d -o jamgram.cpp jamgram.y)
./bootstrap.sh >/dev/null

cat > "$work/user-config.jam" <<'JAM'
using gcc : mingw : x86_64-w64-mingw32-g++-posix ;
JAM
jobs="$(nproc)"
echo "build-mingw-boost: building with $jobs jobs" >&2
./b2 -q -j"$jobs" --user-config="$work/user-config.jam" --prefix="$prefix" \
    toolset=gcc-mingw target-os=windows threadapi=win32 link=static runtime-link=static \
    variant=release address-model=64 cxxflags=-std=c++17 \
    --with-log --with-thread --with-locale --with-system --with-regex --with-filesystem \
    --with-atomic --with-date_time --with-chrono \
    install >"$work/b2.log" 2>&1 || { tail -40 "$work/b2.log" >&2; exit 1; }

cd /
rm -rf "$work"
touch "$prefix/.complete"
echo "build-mingw-boost: built in $((SECONDS - started)) s into $prefix" >&2
echo "$prefix"
