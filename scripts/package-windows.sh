#!/usr/bin/env bash
# Makes the Windows download: build-win/rb-device-finder-VERSION-windows-x64.zip with the
# stripped, statically linked rb-device-finder.exe and a short README. Fails when the exe
# would need a DLL that Windows does not bring.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh" windows
"$root/scripts/build.sh" windows rb-device-finder
version="$(sed -n 's/^#define RBFINDER_VERSION_STRING "\(.*\)"$/\1/p' \
    "$root/build-win/generated/rbfinder_version.h")"
[ -n "$version" ] || { echo "package-windows: no version in rbfinder_version.h" >&2; exit 1; }
name="rb-device-finder-$version-windows-x64"
stage="$root/build-win/$name"
rm -rf "$stage" "$stage.zip"
mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/rb-device-finder.exe" \
    "$root/build-win/app/win32/rb-device-finder.exe"

# Only the system's own DLLs: everything else is linked in.
system_dlls='^(advapi32|bcrypt|gdi32|iphlpapi|kernel32|msvcrt|mswsock|ole32|shell32|user32|ws2_32)\.dll$'
dlls="$(x86_64-w64-mingw32-objdump -p "$stage/rb-device-finder.exe" | sed -n 's/^\tDLL Name: //p')"
[ -n "$dlls" ] || { echo "package-windows: no imports read from the exe" >&2; exit 1; }
for dll in $dlls; do
    if ! echo "$dll" | tr '[:upper:]' '[:lower:]' | grep -Eq "$system_dlls"; then
        echo "package-windows: rb-device-finder.exe needs $dll" >&2
        exit 1
    fi
done

sed 's/$/\r/' "$root/packaging/windows/README.txt" >"$stage/README.txt"
(cd "$root/build-win" && zip -q -r -X "$name.zip" "$name")
echo "package-windows: $root/build-win/$name.zip" \
    "(exe $(stat -c %s "$stage/rb-device-finder.exe") bytes," \
    "zip $(stat -c %s "$stage.zip") bytes)"
