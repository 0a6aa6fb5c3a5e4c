#!/usr/bin/env bash
# Shows the finder's window finding three simulated instruments, for people without
# instruments: demo.sh [--screenshots DIR]
#
# Everything runs in a private network namespace: a bridge 10.77.0.1/24 for the finder
# and, behind it, one namespace per instrument running rbsim. RB0101 and RB0102 answer
# from the start; RB0103 is switched on after 13 s and appears with the search at 20 s;
# RB0102 is switched off after 33 s and leaves the list with the search at 40 s. Close
# the window to end the demo. No discovery traffic reaches this machine's real networks.
#
# With --screenshots DIR the window runs on a virtual display (Xvfb) and the demo takes
# DIR/window-compact.png at 27 s and DIR/window-log.png (log shown) at 46 s, then ends.
# Without it the window needs a display reached through a socket file (a local X server
# or Wayland); a display forwarded over TCP is not reachable from the namespace.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
window="$root/build/app/qt/rb-device-finder"
rbsim="$root/build/tools/rbsim"

shots=""
if [ "${1:-}" = "--screenshots" ]; then
    shots="$(mkdir -p "${2:?usage: demo.sh [--screenshots DIR]}" && cd "$2" && pwd)"
elif [ $# -gt 0 ]; then
    echo "usage: demo.sh [--screenshots DIR]" >&2
    exit 2
fi

if [ -z "${RBFINDER_DEMO_NAMESPACE:-}" ]; then
    "$root/scripts/install-deps.sh"
    if [ -n "$shots" ]; then
        "$root/scripts/install-deps.sh" screenshots
    fi
    "$root/scripts/build.sh" plain rb-device-finder rbsim
    export RBFINDER_DEMO_NAMESPACE=1
    if [ "$(id -u)" -eq 0 ]; then
        exec unshare --net "$0" "$@"
    fi
    # An unprivileged user gets the same through a user namespace of its own.
    exec unshare --map-root-user --net "$0" "$@"
fi

# From here on: inside the private namespace.
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap cleanup EXIT

say() { echo "demo $(date +%T): $*"; }

ip link set lo up
# A fixed address: a bridge otherwise takes the lowest of its ports' addresses, so when
# an instrument leaves, the others' neighbour entries for the finder go stale.
ip link add rbdemo0 address 02:00:0a:4d:00:01 type bridge
# Without snooping the bridge floods the group to every instrument at once.
ip link set rbdemo0 type bridge mcast_snooping 0
ip addr add 10.77.0.1/24 dev rbdemo0
ip link set rbdemo0 up

ourNamespace="$(readlink /proc/self/ns/net)"
declare -A instruments

# Starts instrument N (10.77.0.1N) with serial S in a namespace of its own behind the bridge.
switchOn() {
    local n="$1" serial="$2"
    unshare --net sh -c "
        until ip link show eth0 >/dev/null 2>&1; do sleep 0.1; done
        ip link set lo up
        ip addr add 10.77.0.1$n/24 dev eth0
        ip link set eth0 up
        exec '$rbsim' --serial $serial --quiet" >/dev/null &
    local pid=$!
    while [ "$(readlink "/proc/$pid/ns/net")" = "$ourNamespace" ]; do
        sleep 0.05
    done
    ip link add "rbdemo$n" type veth peer name eth0 netns "$pid"
    ip link set "rbdemo$n" master rbdemo0 up
    instruments[$serial]=$pid
    pids+=("$pid")
    say "$serial switched on at 10.77.0.1$n"
}

switchOff() {
    kill "${instruments[$1]}"
    say "$1 switched off"
}

if [ -n "$shots" ]; then
    display=":$((90 + RANDOM % 100))"
    Xvfb "$display" -screen 0 1600x900x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=("$!")
    export DISPLAY="$display"
    until xdpyinfo >/dev/null 2>&1; do sleep 0.1; done
    unset WAYLAND_DISPLAY
fi

switchOn 1 RB0101
switchOn 2 RB0102
"$window" &
windowPid=$!
pids+=("$windowPid")
say "window started; the list follows the instruments every 10 s"

shoot() {
    local id
    id="$(xdotool search --sync --name '^RB Device Finder$' | head -1)"
    if [ "$2" = log ]; then
        xdotool windowfocus --sync "$id" key ctrl+l
        sleep 1
    fi
    import -window root -crop "$(xwininfo -id "$id" | awk '/Width:/{w=$2} /Height:/{h=$2} /Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4} END{printf "%dx%d+%d+%d", w, h, x, y}')" "$shots/$1"
    say "screenshot $shots/$1"
}

# The late instrument is started in this background shell, which ends it as well.
(
    sleeper=""
    pause() {
        sleep "$1" &
        sleeper=$!
        wait "$sleeper"
    }
    trap 'kill $sleeper "${instruments[RB0103]:-}" 2>/dev/null; exit 0' TERM EXIT
    pause 13
    switchOn 3 RB0103
    pause 20
    switchOff RB0102
    pause infinity
) &
timeline=$!
pids+=("$timeline")

if [ -n "$shots" ]; then
    sleep 27
    shoot window-compact.png compact
    sleep 18
    shoot window-log.png log
    kill "$windowPid"
else
    wait "$windowPid" || true
fi
say "done"
