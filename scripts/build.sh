#!/usr/bin/env bash
# Configures and builds one configuration: build.sh [plain|asan|tsan] [TARGET...]
# (default plain, every target). The tsan configuration is meant for the threaded tests.
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
    *) echo "usage: build.sh [plain|asan|tsan] [TARGET...]" >&2; exit 2 ;;
esac
shift || true
targets=()
for target in "$@"; do
    targets+=(--target "$target")
done

cmake -S "$root" -B "$dir" -G Ninja -DRBFINDER_WERROR=ON "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
