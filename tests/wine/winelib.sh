# Shared helpers for the Wine test tiers. Source it:
#   . tests/wine/winelib.sh
#   wl_init /tmp/myprefix        # fresh 64-bit prefix, server held
#   wl_xvfb [WxH]                # optional: own X display (1024x768)
#   wl_reg_add 'HKLM\...' Name REG_DWORD 5
#   wl_driver_install OVTouch /path/OVTouch.SYS   # sc create + copy
#   wl_driver_start OVTouch
#   wl_run prog.exe args...
#   wl_cleanup                   # wineserver -k, Xvfb down
# Every function works on the prefix given to wl_init only.

WL_WINE=${WL_WINE:-}
if [ -z "$WL_WINE" ]; then
    if [ -x /usr/lib/wine/wine64 ]; then WL_WINE=/usr/lib/wine/wine64
    else WL_WINE=$(command -v wine64 || command -v wine || true); fi
fi
WL_WINESERVER=${WL_WINESERVER:-$(command -v wineserver || echo /usr/lib/wine/wineserver64)}
WL_XVFB_PID=
WL_HOLD_PID=

wl_log() { echo "[winelib] $*" >&2; }

# Fresh prefix at $1 (removed first). Leaves WINEPREFIX exported and the
# server held until wl_cleanup.
wl_init() {
    local prefix=$1
    [ -n "$prefix" ] || { wl_log "wl_init: no prefix"; return 2; }
    [ -n "$WL_WINE" ] && [ -x "$WL_WINE" ] || { wl_log "no 64-bit wine loader"; return 2; }
    export WINEPREFIX=$prefix
    export WINEARCH=win64
    export WINEDEBUG=${WL_WINEDEBUG:--all}
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export WINELOADER=$WL_WINE
    "$WL_WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    "$WL_WINE" wineboot -i >/dev/null 2>&1 || { wl_log "wineboot failed"; return 1; }
    "$WL_WINESERVER" -w >/dev/null 2>&1 || true
    wl_hold
}

# Keep the server running between commands (it would otherwise exit and
# unload every driver once the last program ends).
wl_hold() {
    "$WL_WINESERVER" -p >/dev/null 2>&1 &
    WL_HOLD_PID=$!
    sleep 0.3
}

wl_stop() { "$WL_WINESERVER" -k >/dev/null 2>&1 || true; }

# Own X display; sets DISPLAY. Programs without windows do not need it.
wl_xvfb() {
    local n
    for n in $(seq 90 140); do
        [ -e /tmp/.X$n-lock ] && continue
        Xvfb ":$n" -screen 0 "${1:-1024x768}x24" -nolisten tcp >/dev/null 2>&1 &
        WL_XVFB_PID=$!
        sleep 1
        if kill -0 "$WL_XVFB_PID" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
    done
    wl_log "no free X display"
    return 1
}

wl_cleanup() {
    wl_stop
    [ -n "$WL_HOLD_PID" ] && { kill "$WL_HOLD_PID" 2>/dev/null; wait "$WL_HOLD_PID" 2>/dev/null; }
    WL_HOLD_PID=
    if [ -n "$WL_XVFB_PID" ]; then
        kill "$WL_XVFB_PID" 2>/dev/null
        wait "$WL_XVFB_PID" 2>/dev/null
        WL_XVFB_PID=
    fi
    return 0
}

# Runs a Windows program (path on the host or in the prefix) with a
# timeout; returns its exit code.
wl_run() {
    timeout "${WL_TIMEOUT:-120}" "$WL_WINE" "$@"
}

# Windows path of a host path.
wl_winpath() { "$WL_WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# System directory of the prefix (host path).
wl_sysdir() { echo "$WINEPREFIX/drive_c/windows/system32"; }

# wl_reg_add KEY NAME TYPE DATA   (e.g. REG_DWORD 5, REG_SZ text)
wl_reg_add() {
    "$WL_WINE" reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1
}

# wl_reg_add_key KEY
wl_reg_add_key() { "$WL_WINE" reg add "$1" /f >/dev/null 2>&1; }

wl_reg_delete() {
    if [ $# -ge 2 ]; then "$WL_WINE" reg delete "$1" /v "$2" /f >/dev/null 2>&1
    else "$WL_WINE" reg delete "$1" /f >/dev/null 2>&1; fi
}

# wl_reg_query KEY NAME -> prints the data (DWORDs as 0x...), fails when absent.
wl_reg_query() {
    local out
    out=$("$WL_WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r') || return 1
    awk -v name="$2" 'BEGIN{IGNORECASE=1} $1==name { $1=""; $2=""; sub(/^  */, ""); print; found=1 } END{ exit !found }' <<<"$out"
}

# wl_driver_install NAME HOST_SYS_PATH: copies the image into
# system32\drivers and creates a demand-start kernel service for it.
wl_driver_install() {
    local name=$1 sys=$2 drivers
    drivers="$(wl_sysdir)/drivers"
    mkdir -p "$drivers"
    cp "$sys" "$drivers/$(basename "$sys")" || return 1
    "$WL_WINE" sc create "$name" type= kernel start= demand \
        binPath= "C:\\windows\\system32\\drivers\\$(basename "$sys")" >/dev/null 2>&1
}

# wl_driver_start NAME: net start; returns its status.
wl_driver_start() {
    timeout "${WL_TIMEOUT:-120}" "$WL_WINE" net start "$1" 2>&1 | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

# Service state as sc prints it (RUNNING, STOPPED, ...).
wl_service_state() {
    "$WL_WINE" sc query "$1" 2>/dev/null | tr -d '\r' | awk '/STATE/ {print $4; exit}'
}
