#!/usr/bin/env bash
# Builds the Debian package of rbfind, the window and rbsim into build-pkg/ (a Release
# build without tests), checks it with lintian (any error or warning fails) and its
# AppStream metainfo with appstreamcli, installs it with dpkg -i and checks what it
# installed: rbfind --version prints the project's version and man finds rbfind(1).
# Needs root or sudo for apt-get and dpkg.
set -euo pipefail

started=$(date +%s)
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/install-deps.sh" package

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

# The same compiler cache as scripts/build.sh.
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/rbfinder-ccache}"
export CCACHE_BASEDIR="$root"
export CCACHE_NOHASHDIR=1
# Files and folders of the package are rw-r--r-- and rwxr-xr-x.
umask 022

# Debian's hardening flags (fortify, stack protector, format checks, relro and bindnow),
# as Debian's own packages are built. No -g, since the package's programs are stripped,
# and no path maps, which would tie the compiler cache to this checkout's folder.
flags() {
    DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=-fixfilepath,-fixdebugpath" \
        dpkg-buildflags --get "$1" | sed -E 's/(^| )-g( |$)/ /g'
}
cxxflags="$(flags CPPFLAGS) $(flags CXXFLAGS)"
ldflags="$(flags LDFLAGS)"

dir="$root/build-pkg"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRBFINDER_BUILD_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr "-DCMAKE_CXX_FLAGS=$cxxflags" \
    "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >/dev/null
cmake --build "$dir" -j "$(nproc)"

rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB)
deb="$(ls "$dir"/*.deb)"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")"

echo "lintian $deb"
lintian --fail-on error,warning --tag-display-limit 0 "$deb"
# The software centres' description, offline (its screenshots are not fetched).
appstreamcli validate --no-net "$dir"/packaging/*.metainfo.xml

$sudo dpkg -i "$deb"
installed="$(dpkg-query -W -f='${Version}' rb-device-finder)"
printed="$(/usr/bin/rbfind --version)"
if [ "$installed" != "$version" ] || [ "$printed" != "rbfind $version" ]; then
    echo "version mismatch: CMake $version, package $installed, rbfind prints '$printed'" >&2
    exit 1
fi
echo "/usr/bin/rbfind --version: $printed"

# Slim Debian images tell dpkg not to unpack man pages (a path-exclude in
# /etc/dpkg/dpkg.cfg.d/). This script does not change that machine-wide setting: there
# it checks the page in the package instead, with man reading the unpacked package.
if grep -hs '^path-exclude' /etc/dpkg/dpkg.cfg.d/* | grep -q '/usr/share/man'; then
    echo "dpkg is set not to install man pages here; checking the page in the package"
    dpkg-deb -c "$deb" | grep -q ' \./usr/share/man/man1/rbfind\.1\.gz$'
    unpacked="$(mktemp -d)"
    trap 'rm -rf "$unpacked"' EXIT
    dpkg-deb -x "$deb" "$unpacked"
    MANPATH="$unpacked/usr/share/man" man -w rbfind
else
    man -w rbfind
fi

echo "package.sh: $deb built, checked and installed in $(($(date +%s) - started)) s"
