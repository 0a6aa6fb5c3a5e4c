#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: plainly and under
# AddressSanitizer with UndefinedBehaviorSanitizer, where any report fails the run; the
# Windows build's tests run under Wine between the two. The
# shell's threaded tests (worker, console capture, the search on a worker thread) run a
# third time under ThreadSanitizer. Last, every libFuzzer harness runs 15 seconds on its
# corpus under ASan and UBSan (scripts/fuzz.sh runs them for longer).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"

"$root/scripts/build.sh" plain
ctest --test-dir "$root/build" --output-on-failure -j "$(nproc)"

# The Windows exe and the unit tests cross-compiled, run under Wine against the Linux
# rbsim just built.
"$root/scripts/test-windows.sh"

"$root/scripts/build.sh" asan
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
LSAN_OPTIONS="suppressions=$root/tests/lsan-suppressions.txt" \
    ctest --test-dir "$root/build-asan" --output-on-failure -j "$(nproc)"

"$root/scripts/build.sh" tsan rbfinder_app_tests rbsim
# The namespace tests fork and start threads in the child, which TSan allows with this.
TSAN_OPTIONS="halt_on_error=1:die_after_fork=0:second_deadlock_stack=1" \
    "$root/build-tsan/tests/rbfinder_app_tests" --gtest_brief=1

"$root/scripts/fuzz.sh" 15
