#!/usr/bin/env bash
# The Windows exe under Wine against the Linux rbsim answering on 127.0.0.1 (first
# rbfinder-info.exe and rbfind.exe, which share its engine and host layer): the row
# "RBLK - RB0042 - 127.0.0.1" is read back from the list box, a double click on it opens
# "http://127.0.0.1/", "Show log" from the system menu widens the window, and "Exit"
# ends it with status 0. Screenshots of both forms go to DIR with --screenshots DIR.
# Run by scripts/test-windows.sh, inside its network namespace (loopback only), on its
# virtual display, with the Wine server up.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
shots=""
if [ "${1:-}" = "--screenshots" ]; then
    shots="$(realpath -m "$2")"
    mkdir -p "$shots"
fi
if [ "${RBFINDER_IN_NAMESPACE:-}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
    echo "gui_test: run through scripts/test-windows.sh (network namespace)" >&2
    exit 1
fi
exe="$root/build-win/app/win32/rb-device-finder.exe"
probe="$root/build-win/tests/rbfinder-dialog-probe.exe"
rbsim="$root/build/tools/rbsim"
. "$root/scripts/wine-session.sh"

work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "gui_test: FAILED: $*" >&2
    exit 1
}
[ -x "$rbsim" ] || fail "build rbsim first (scripts/build.sh plain rbsim)"

"$rbsim" --serial RB0042 --quiet >"$work/rbsim.log" 2>&1 &
pids+=($!)

# The Windows host environment (host name, adapters) and the command-line finder.
wine "$root/build-win/cli/rbfinder-info.exe" | tr -d '\r' >"$work/info"
grep -q "(1, 127.0.0.1)" "$work/info" || fail "rbfinder-info.exe: $(cat "$work/info")"
wine "$root/build-win/cli/rbfind.exe" | tr -d '\r' >"$work/rbfind" || true
[ "$(cat "$work/rbfind")" = "RBLK - RB0042 - 127.0.0.1" ] || fail "rbfind.exe: $(cat "$work/rbfind")"
echo "gui_test: rbfinder-info.exe and rbfind.exe see loopback and the instrument"

# The page a double click opens goes to Wine's browser bridge, which starts the first
# program of this list it finds on PATH: here one that only hands the address to the
# test through a named pipe, whose read waits for it.
mkdir -p "$work/bin"
mkfifo "$work/opened"
printf '#!/bin/sh\necho "$1" >"%s"\n' "$work/opened" >"$work/bin/rbfinder-test-browser"
chmod +x "$work/bin/rbfinder-test-browser"
export PATH="$work/bin:$PATH"
wine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d rbfinder-test-browser /f \
    >/dev/null 2>&1

wine "$exe" >"$work/finder.log" 2>&1 &
finder=$!
pids+=("$finder")
probe() { wine "$probe" "$@" 2>>"$work/probe.log"; }
# Reads the window's rectangle into width, height, left and top.
rect() {
    read -r width height left top <<<"$(probe rect | tr -d '\r')" || true
    [ -n "${top:-}" ] || fail "the probe found no window: $(cat "$work/probe.log")"
}

# The first search runs when the window opens; allow two more rounds of 10 s.
probe wait-row "RBLK - RB0042 - 127.0.0.1" 40 || fail "no row for RB0042; rows: $(probe rows || true)"
echo "gui_test: row read back: $(probe rows | tr -d '\r')"
shoot() {
    [ -n "$shots" ] || return 0
    rect
    # The Wine desktop's window on the display holds the dialog at the same position.
    import -window "$(xdotool search --name '^Finder - Wine desktop$' | head -1)" -crop "${width}x${height}+${left}+${top}" +repage "$shots/$1"
}
rect
compact=$width
shoot windows-compact.png

# A double click on the row opens the instrument's page.
desktop="$(xdotool search --name '^Finder - Wine desktop$' | head -1)"
read -r _ _ list_left list_top <<<"$(probe list-rect | tr -d '\r')"
xdotool mousemove --window "$desktop" $((list_left + 30)) $((list_top + 8)) click --repeat 2 1
opened="$(timeout 60 head -n 1 "$work/opened" || true)"
[ "$opened" = "http://127.0.0.1/" ] || fail "the double click opened: '$opened'"
echo "gui_test: a double click on the row opened $opened"

# "Show log" through the system menu, as a user opens it: Alt+Space opens it on its
# first item; Up wraps to the last, Wine's own "About Wine" below "Close", then goes on
# to "Close" and, past our separator, to "Show log".
rect
xdotool windowfocus --sync "$desktop" mousemove --window "$desktop" $((left + 200)) $((top + 8)) \
    click 1
probe wait-active || fail "the dialog did not become active"
xdotool key alt+space
probe wait-menu || fail "Alt+Space opened no system menu"
xdotool key Up Up Up
shoot windows-system-menu.png
xdotool key Return
probe wait-wider "$compact" || true
rect
expanded=$width
[ "$expanded" -gt "$compact" ] || fail "Show log left the width at $expanded (compact $compact)"
echo "gui_test: width $compact -> $expanded with the log shown"
probe log | tr -d '\r' >"$work/log"
grep -q "Searching for devices" "$work/log" || fail "log pane: $(cat "$work/log")"
grep -q "ConsoleCapture successful" "$work/log" || fail "no console capture: $(cat "$work/log")"
grep -q "Doble click on RB0042" "$work/log" || fail "no double-click line: $(cat "$work/log")"
shoot windows-expanded.png

probe exit
status=0
wait "$finder" || status=$?
unset 'pids[-1]' # the finder, started last
[ "$status" = 0 ] || fail "Exit ended the finder with status $status"
echo "gui_test: passed (Exit gave status 0)"
