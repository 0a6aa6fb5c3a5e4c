# Sourced by the scripts that run Windows programs under Wine: a 64-bit prefix kept
# outside the repository (made once, in about 15 s), Wine's own messages off, and no
# Mono or Gecko installer prompts.
export WINEPREFIX="${RBFINDER_CACHE:-$HOME/.cache/rbfinder}/wine-prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Brings the prefix and a wine server up on the display in $DISPLAY, before any test
# program starts (a program that starts the server hands it its output pipes, and the
# desktop keeps the display it was started with). Windows open on a Wine desktop of
# their own, 1440 x 560, so that dialogs have their title bar and system menu without a
# window manager.
wine_start() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1 </dev/null
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Finder /f >/dev/null 2>&1 </dev/null
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Finder /d 1440x560 /f \
        >/dev/null 2>&1 </dev/null
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    wineserver -p >/dev/null 2>&1 </dev/null
    # The first program brings up Wine's services and desktop, which inherit its output:
    # this one, so that no test's output pipe stays open behind it.
    wine cmd /c exit >/dev/null 2>&1 </dev/null
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
}

# Starts Xvfb on a free display and exports DISPLAY; its pid is in $xvfb_pid.
start_virtual_display() {
    local number
    for number in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] && continue
        Xvfb ":$number" -screen 0 1600x900x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=":$number"
        for _ in $(seq 100); do
            xdpyinfo >/dev/null 2>&1 && return 0
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
    done
    echo "no virtual display could be started" >&2
    return 1
}
