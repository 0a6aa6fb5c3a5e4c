#!/usr/bin/env bash
# Installs what is missing, builds, and runs the finder. Until the windows exist this is
# rbfinder-info, which shows the host name, the local addresses a search would start
# from and the request it would send, without sending anything.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" plain
exec "$root/build/cli/rbfinder-info" "$@"
