#!/usr/bin/env bash
# Compiles the Windows sources for syntax with MinGW-w64 against Debian's Boost headers,
# so that the Windows-only files keep building until the full cross-build exists.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
compiler=x86_64-w64-mingw32-g++-posix
if ! command -v "$compiler" >/dev/null; then
    echo "check-windows-sources: $compiler not installed" >&2
    exit 1
fi

# Only Boost from /usr/include: the rest of it is glibc's and would shadow MinGW's.
headers="$(mktemp -d)"
trap 'rm -rf "$headers"' EXIT
ln -s /usr/include/boost "$headers/boost"

cd "$root"
mapfile -t sources < <(ls kvThread/src/main/cpp/*.cpp protocol/*.cpp net/*.cpp net/win32/*.cpp \
    discovery/*.cpp cli/*.cpp; ls app/*.cpp | grep -v _posix)
for source in "${sources[@]}"; do
    "$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Wshadow -Wconversion \
        -Wsign-conversion -Wold-style-cast -Werror -DBOOST_BIND_GLOBAL_PLACEHOLDERS \
        -DWIN32_LEAN_AND_MEAN -DNOMINMAX -DRBFIND_VERSION=\"check\" -isystem "$headers" -I. \
        -IkvThread/src/main/include "$source"
done
echo "check-windows-sources: ${#sources[@]} files compile for Windows"
