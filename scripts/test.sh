#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: plainly and under
# AddressSanitizer with UndefinedBehaviorSanitizer, where any report fails the run.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"

"$root/scripts/check-windows-sources.sh"

"$root/scripts/build.sh" plain
ctest --test-dir "$root/build" --output-on-failure -j "$(nproc)"

"$root/scripts/build.sh" asan
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    ctest --test-dir "$root/build-asan" --output-on-failure -j "$(nproc)"
