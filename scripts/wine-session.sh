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

# Starts Xvfb on a display it picks itself and exports DISPLAY; its pid is in $xvfb_pid.
# Xvfb writes the display's number once it accepts clients, so the read waits for that.
start_virtual_display() {
    local ready number
    ready="$(mktemp -u)"
    mkfifo "$ready"
    Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
    xvfb_pid=$!
    number="$(timeout 60 head -n 1 "$ready" || true)"
    rm -f "$ready"
    if [ -z "$number" ]; then
        echo "no virtual display could be started" >&2
        return 1
    fi
    export DISPLAY=":$number"
}
