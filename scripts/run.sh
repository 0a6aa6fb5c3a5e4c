#!/usr/bin/env bash
# Installs what is missing, builds, and starts the finder's window. Without a display it
# says so and runs rbfind once instead: one search of the machine's networks, arguments
# passed to rbfind.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" plain rb-device-finder rbfind

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$root/build/app/qt/rb-device-finder"
fi
echo "run.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); running rbfind once instead" >&2
exec "$root/build/cli/rbfind" "$@"
