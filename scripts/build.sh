#!/usr/bin/env bash
# Configures and builds one configuration: build.sh [plain|asan|tsan|fuzz|windows] [TARGET...]
# (default plain, every target). The tsan configuration is meant for the threaded tests.
# The fuzz configuration builds the libFuzzer harnesses with clang 14 (by default only
# them and what they link); the optimised build keeps assertions on. The windows
# configuration cross-compiles with MinGW-w64 against the Boost that
# scripts/build-mingw-boost.sh builds once per machine.
# The compiler cache lives outside the repository so that clean clones reuse it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
config="${1:-plain}"
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/rbfinder-ccache}"
export CCACHE_BASEDIR="$root"
# Debug information would otherwise tie cache entries to the checkout's path.
export CCACHE_NOHASHDIR=1

case "$config" in
    plain) dir="$root/build"; extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    asan) dir="$root/build-asan"; extra=(-DCMAKE_BUILD_TYPE=Debug -DRBFINDER_SANITIZE=ON) ;;
    tsan) dir="$root/build-tsan"; extra=(-DCMAKE_BUILD_TYPE=Debug -DRBFINDER_SANITIZE_THREAD=ON) ;;
    fuzz)
        dir="$root/build-fuzz"
        export CC=clang-14 CXX=clang++-14
        extra=(-DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo
            "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g" -DRBFINDER_FUZZ=ON
            -DRBFINDER_BUILD_TESTS=OFF -DRBFINDER_BUILD_WINDOW=OFF)
        ;;
    windows)
        dir="$root/build-win"
        boost="$("$root/scripts/build-mingw-boost.sh" | tail -n 1)"
        extra=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
            -DRBFINDER_MINGW_BOOST="$boost" -DBoost_DIR="$boost/lib/cmake/Boost-1.74.0"
            -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG")
        ;;
    *) echo "usage: build.sh [plain|asan|tsan|fuzz|windows] [TARGET...]" >&2; exit 2 ;;
esac
shift || true
targets=()
for target in "$@"; do
    targets+=(--target "$target")
done
if [ "$config" = fuzz ] && [ ${#targets[@]} -eq 0 ]; then
    targets=(--target rbfinder_fuzzers)
fi

cmake -S "$root" -B "$dir" -G Ninja -DRBFINDER_WERROR=ON "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
