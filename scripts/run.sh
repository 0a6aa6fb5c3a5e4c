#!/usr/bin/env bash
# Installs what is missing, builds, and runs the finder on the command line (the windows
# are not built yet): one search of the machine's networks, arguments passed to rbfind.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" plain
exec "$root/build/cli/rbfind" "$@"
