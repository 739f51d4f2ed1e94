#!/usr/bin/env bash
# altclick.exe under 64-bit Wine with OVTouch.SYS loaded, on its own X
# display: placement and looks, switching by mouse clicks (title, picture,
# the driver's ButtonMode), single instance, the two ways to end.
#   altclick_wine.sh WIN64_BUILD_DIR SOURCE_DIR
# Exit 77 when Wine is missing. The driver is never unloaded or asked to beep.
set -uo pipefail
build=${1:?win64 build dir}
src=${2:?source dir}
exe=$build/out/altclick.exe
sys=$build/out/OVTouch.SYS
probe=$build/tests/ovtprobe.exe
art=$src/artifacts
work=$src/build/wine-altclick

. "$src/tests/wine/winelib.sh"
if [ -z "$WL_WINE" ] || [ ! -x "$WL_WINE" ]; then echo "wine64 not installed"; exit 77; fi
command -v xdotool >/dev/null && command -v convert >/dev/null || { echo "xdotool/imagemagick missing"; exit 1; }
for f in "$exe" "$sys" "$probe"; do
    [ -f "$f" ] || { echo "missing $f (run ./package.sh win64)"; exit 1; }
done

LEFT=$'\xe5\xb7\xa6\xe9\x94\xae'   # 左键 (X window names are UTF-8)
RIGHT=$'\xe5\x8f\xb3\xe9\x94\xae'  # 右键
# The titles are GBK narrow strings: the programs need code page 936.
export LANG=zh_CN.UTF-8

fail=0
ok() { echo "ok   $*"; }
bad() { echo "FAIL $*"; fail=1; }
check() { if [ "$2" = "$3" ]; then ok "$1: $2"; else bad "$1: got '$2', want '$3'"; fi; }

mkdir -p "$art" "$work"
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    wl_cleanup
}
trap cleanup EXIT
wl_init "$work/prefix" || exit 1
wl_xvfb || exit 1
# Wine draws the caption itself: there is no window manager on Xvfb.
wl_reg_add 'HKCU\Software\Wine\X11 Driver' Decorated REG_SZ N
wl_reg_add 'HKLM\System\CurrentControlSet\Services\OVTouch\Parameters' BeepMode REG_DWORD 0
wl_driver_install OVTouch "$sys" || { echo "FAIL sc create"; exit 1; }
wl_driver_start OVTouch >/dev/null
[ "$(wl_service_state OVTouch)" = RUNNING ] || { echo "FAIL driver not running"; exit 1; }

mode() { WL_TIMEOUT=30 wl_run "$probe" button-mode 2>/dev/null | tr -d '\r'; }
capture() { WL_TIMEOUT=30 wl_run "$probe" capture-state 2>/dev/null | tr -d '\r'; }

# window TITLE: prints the X window id once it exists (30 s at most).
window() {
    local i w
    for i in $(seq 1 150); do
        w=$(xdotool search --name "^$1\$" 2>/dev/null | head -1)
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 0.2
    done
    return 1
}
count_windows() { xdotool search --name "^$1\$" 2>/dev/null | wc -l; }
# until_mode N: the driver's mode reaches N (5 s at most); prints the last read.
until_mode() {
    local i m
    for i in $(seq 1 25); do
        m=$(mode)
        [ "$m" = "$1" ] && break
        sleep 0.2
    done
    echo "$m"
}
# wait_exit PID SECONDS: 0 when the process ended in time.
wait_exit() {
    local i
    for i in $(seq 1 $(($2 * 5))); do
        kill -0 "$1" 2>/dev/null || { wait "$1" 2>/dev/null; return 0; }
        sleep 0.2
    done
    return 1
}
start_app() {
    "$WL_WINE" "$exe" >>"$work/app.log" 2>&1 &
    app_pid=$!
}
# shot NAME: whole screen and the window enlarged; sets GREY_L and GREY_R,
# the grey pixels over the left and the right mouse button.
shot() {
    sleep 0.5
    import -window root "$art/altclick-$1.png"
    convert "$art/altclick-$1.png" -crop 64x64+500+100 +repage -scale 400% "$art/altclick-$1-window.png"
    local px
    px=$(convert "$art/altclick-$1.png" -crop 64x64+500+100 +repage txt:-)
    # Client rows below the caption; columns either side of the divider.
    GREY_L=$(awk -F'[,: ]+' '/#808080/ && $2>=25 && $2<=45 && $1>=10 && $1<=28' <<<"$px" | wc -l)
    GREY_R=$(awk -F'[,: ]+' '/#808080/ && $2>=25 && $2<=45 && $1>=36 && $1<=54' <<<"$px" | wc -l)
}
looks() {  # looks STEP left|right
    if [ "$2" = left ] && [ "$GREY_L" -gt 20 ] && [ "$GREY_R" = 0 ]; then ok "$1: left button shaded"
    elif [ "$2" = right ] && [ "$GREY_R" -gt 20 ] && [ "$GREY_L" = 0 ]; then ok "$1: right button shaded"
    else bad "$1: picture (grey left $GREY_L, right $GREY_R), want $2"; fi
}

check "driver's mode before" "$(mode)" 0

# --- Start-up: place, size, title, picture.
start_app
w=$(window "$LEFT") || { bad "no window titled left"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$w")"
check "position" "$X,$Y" "500,100"
check "outer size" "${WIDTH}x$HEIGHT" "64x64"
shot start
looks start left
info=$(WL_TIMEOUT=30 wl_run "$probe" altclick-info l | tr -d '\r')
echo "     $info"
eval "$(sed -E 's/class=(.*) classstyle/class="\1" classstyle/' <<<"$info")"
check "class" "$class" "OLVATOUCH ALTCLICK"
check "class styles (redraw, no close)" "$((classstyle & 0x203))" $((0x203))
check "tool window, topmost" "$((exstyle & 0x88))" $((0x88))
check "caption, no system menu, no min/max box" "$((style & 0x00CB0000))" $((0x00C00000))
check "capture before any click" "$(capture)" 0x0

# --- Left click on the client area: right button, armed.
xdotool mousemove --sync 532 140 click 1
window "$RIGHT" >/dev/null && ok "title after left click" || bad "title after left click"
check "driver's mode after left click" "$(until_mode 1)" 1
for i in $(seq 1 25); do [ "$(capture)" = 0x102b ] && break; sleep 0.2; done
check "worker armed the capture" "$(capture)" 0x102b
shot right
looks right right

# --- A second copy while the first shows the right button.
WL_TIMEOUT=30 wl_run "$exe" >/dev/null 2>&1
check "second copy (right) exit code" "$?" 0
check "windows titled right" "$(count_windows "$RIGHT")" 1
check "driver's mode after second copy" "$(mode)" 1

# --- Right click: back to the left button at once.
xdotool mousemove --sync 532 140 click 3
window "$LEFT" >/dev/null && ok "title after right click" || bad "title after right click"
check "driver's mode after right click" "$(until_mode 0)" 0
shot left-again
looks left-again left

WL_TIMEOUT=30 wl_run "$exe" >/dev/null 2>&1
check "second copy (left) exit code" "$?" 0
check "windows titled left" "$(count_windows "$LEFT")" 1

# --- Title-bar double-click ends it, armed and on the right button:
# the driver keeps the right button.
xdotool mousemove --sync 532 140 click 1
window "$RIGHT" >/dev/null || bad "title before ending"
xdotool mousemove --sync 520 108 click --repeat 2 --delay 60 1
if wait_exit "$app_pid" 15; then ok "title-bar double-click ends the tool"; else bad "still running after the double-click"; fi
app_pid=
check "driver's mode after ending" "$(mode)" 1
check "windows left over" "$(count_windows "$RIGHT")" 0

# --- Started with the driver on the right button; then the window is
# destroyed by another program: the tool must end, not hang.
start_app
w=$(window "$RIGHT") && ok "start-up with the driver at 1 shows the right button" || bad "no window titled right"
shot start-right
looks start-right right
WL_TIMEOUT=30 wl_run "$probe" altclick-close r
if wait_exit "$app_pid" 15; then ok "ends when its window is destroyed"; else bad "hangs after its window was destroyed"; fi
app_pid=
check "driver's mode untouched" "$(mode)" 1

[ "$(wl_service_state OVTouch)" = RUNNING ] || bad "driver gone"
exit $fail
