#!/usr/bin/env bash
# ovtcalib.exe (x86-64) under Wine on its own X display:
#   1. without the driver: the message box "驱动程序没有加载！", then the end;
#   2. with OVTouch.SYS running: the window covers the screen, the prompt
#      and target A are where they belong (pixels of a screenshot), ESC ends
#      the program and the Parameters key is unchanged.
#   run.sh WIN64_BUILD_DIR WORK_DIR ARTIFACT_DIR
# Exit 77 when Wine or the display tools are missing. The driver is never
# unloaded and never asked to beep (BeepMode 0).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?win64 build dir}
work=${2:?work dir}
art=${3:?artifact dir}
exe=$build/out/ovtcalib.exe
sys=$build/out/OVTouch.SYS
probe=$build/tests/ovtprobe.exe
params='HKLM\System\CurrentControlSet\Services\OVTouch\Parameters'

. "$here/../../tests/wine/winelib.sh"
if [ -z "$WL_WINE" ] || [ ! -x "$WL_WINE" ]; then echo "wine64 not installed"; exit 77; fi
for t in Xvfb xdotool convert import; do
    command -v "$t" >/dev/null || { echo "$t not installed"; exit 77; }
done
for f in "$exe" "$sys" "$probe"; do
    [ -f "$f" ] || { echo "missing $f (run ./package.sh win64)"; exit 1; }
done
# The program's narrow strings are GBK: Wine has to run with code page 936.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
    echo "FAIL locale zh_CN.UTF-8 missing (scripts/tier-deps-calib.sh generates it)"
    exit 1
fi
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8

fail=0
ok() { echo "ok   $*"; }
bad() { echo "FAIL $*"; fail=1; }
check() { if [ "$2" = "$3" ]; then ok "$1"; else bad "$1: got '$2', want '$3'"; fi; }

pid=
finish() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    wl_cleanup
}
trap finish EXIT
mkdir -p "$work" "$art"
rm -f "$art"/calib-*.png
wl_init "$work/prefix" || exit 1
wl_xvfb || exit 1

# Waits up to $1 seconds for the background program to end; its exit
# code (or "hung") lands in $rc.
rc=
wait_exit() {
    local i
    for i in $(seq 1 "$1"); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 1
    done
    if kill -0 "$pid" 2>/dev/null; then rc=hung; return; fi
    wait "$pid"
    rc=$?
    pid=
}

shot() { import -window root "$art/calib-$1.png"; }

# Pixels of one colour inside a crop.
count_colour() {
    convert "$1" -crop "$2" +repage -fill black +opaque "$3" -fill white -opaque "$3" \
        -format '%[fx:round(mean*w*h)]' info:
}
# Bounding box "w h x y" of the pixels of one colour (x, y on the screen).
colour_bbox() {
    convert "$1" -crop "$2" -fill black +opaque "$3" -trim -format '%w %h %X %Y' info: 2>/dev/null
}
# Bounding box of the dark pixels (text) inside a crop.
dark_bbox() {
    convert "$1" -crop "$2" -colorspace gray -threshold 50% -negate -trim -format '%w %h %X %Y' info: 2>/dev/null
}

# --- 1. No driver -----------------------------------------------------
"$WL_WINE" "$exe" >/dev/null 2>&1 &
pid=$!
box=$(WL_TIMEOUT=60 wl_run "$probe" calib-msgbox 40 | tr -d '\r')
echo "$box" | sed 's/^/     /'
shot no-driver
check "no driver: message text" "$(sed -n 's/^child Static id=65535 icon=0=//p' <<<"$box")" "驱动程序没有加载！"
check "no driver: no icon" "$(grep -c '^child Static.* icon=1' <<<"$box")" 0
check "no driver: owned by the calibration window" "$(sed -n 's/^owner=//p' <<<"$box")" "OLVA TOUCH Calibration"
check "no driver: one button" "$(grep -c '^child Button' <<<"$box")" 1
wl_run "$probe" calib-msgbox 5 ok >/dev/null
wait_exit 30
check "no driver: program ends after OK" "$rc" 0

# --- 2. Driver loaded ----------------------------------------------------
wl_reg_add "$params" BeepMode REG_DWORD 0
wl_reg_add "$params" XLow REG_DWORD 123
wl_reg_add "$params" XHigh REG_DWORD 1901
wl_reg_add "$params" YLow REG_DWORD 145
wl_reg_add "$params" YHigh REG_DWORD 1888
wl_driver_install OVTouch "$sys" || { bad "sc create"; exit 1; }
wl_driver_start OVTouch >/dev/null
check "driver running" "$(wl_service_state OVTouch)" RUNNING
"$WL_WINE" reg export "$params" "$work/before.reg" /y >/dev/null 2>&1

"$WL_WINE" "$exe" >/dev/null 2>&1 &
pid=$!
win=$(WL_TIMEOUT=60 wl_run "$probe" calib-window 40 | tr -d '\r')
echo "$win" | sed 's/^/     /'
get() { sed -n "s/^$1=//p" <<<"$win"; }
screen=$(get screen)
check "window covers the screen" "$(get window)" "0,0,$screen"
check "client area is the screen" "$(get client)" "$screen"
check "popup, maximised, no caption" "$(get style | cut -c1-2)" 95
check "maximised" "$(get zoomed)" 1
check "no title" "$(get title)" ""
check "class redraws on resize" "$(get classstyle)" 00000003
check "code page" "$(get acp)" 936

W=${screen%,*}
H=${screen#*,}
ax=$((W / 4)); ay=$((H / 4)); bx=$((3 * (W / 4))); by=$((3 * (H / 4)))
IFS=, read -r mr mg mb <<<"$(get menucolor)"
menu="rgb($mr,$mg,$mb)"
xor="rgb($((mr ^ 16)),$((mg ^ 239)),$((mb ^ 239)))"
sleep 2
shot window
img=$art/calib-window.png

# Target A: both circles and both lines, exclusive-or with the menu colour.
n=$(count_colour "$img" "${W}x${H}+0+0" "$xor")
na=$(count_colour "$img" "90x90+$((ax - 45))+$((ay - 45))" "$xor")
echo "     target pixels: $na around A, $n on the screen ($xor on $menu)"
[ "$na" -ge 400 ] && ok "target A drawn" || bad "target A drawn: $na pixels"
check "nothing else in the target colour (no target B)" "$n" "$na"
read -r tw th tx ty <<<"$(colour_bbox "$img" "90x90+$((ax - 45))+$((ay - 45))" "$xor")"
echo "     target A box: ${tw}x${th} at $tx,$ty"
# Lines run from x-40 to x+40 with a 2-pixel pen.
if [ "${tw:-0}" -ge 80 ] && [ "${tw:-0}" -le 83 ] && [ "${th:-0}" -ge 80 ] && [ "${th:-0}" -le 83 ] &&
    [ $((tx + tw / 2 - ax)) -ge -1 ] && [ $((tx + tw / 2 - ax)) -le 1 ] &&
    [ $((ty + th / 2 - ay)) -ge -1 ] && [ $((ty + th / 2 - ay)) -le 1 ]; then
    ok "target A centred at $ax,$ay"
else
    bad "target A box ${tw}x${th}+$tx+$ty for centre $ax,$ay"
fi
# Shapes drawn one by one: the crossing at the centre is inverted twice.
check "target centre shows the background" "$(count_colour "$img" "2x2+$((ax - 1))+$((ay - 1))" "$menu")" 4
# Each circle on its own, away from the lines (45 degrees up right).
[ "$(count_colour "$img" "8x8+$((ax + 10))+$((ay - 18))" "$xor")" -ge 4 ] && ok "inner circle" || bad "inner circle"
[ "$(count_colour "$img" "8x8+$((ax + 17))+$((ay - 25))" "$xor")" -ge 4 ] && ok "outer circle" || bad "outer circle"
check "no target at B" "$(count_colour "$img" "100x100+$((bx - 50))+$((by - 50))" "$xor")" 0

# The prompt: one line at the top edge of the 600x200 box around the centre,
# centred horizontally; nothing else of the box is written.
cx=$((W / 2)); cy=$((H / 2))
read -r pw ph px py <<<"$(dark_bbox "$img" "600x200+$((cx - 300))+$((cy - 100))")"
echo "     prompt box: ${pw}x${ph} at $px,$py"
mid=$((px + pw / 2))
if [ "${pw:-0}" -ge 120 ] && [ "${ph:-99}" -le 24 ] && [ "${py:-0}" -ge $((cy - 100)) ] &&
    [ "${py:-0}" -le $((cy - 92)) ] && [ $((mid - cx)) -ge -4 ] && [ $((mid - cx)) -le 4 ]; then
    ok "prompt on one line at the top of the box, centred"
else
    bad "prompt placement ${pw}x${ph}+$px+$py (box top $((cy - 100)), centre $cx)"
fi
corners=$(( $(count_colour "$img" "20x20+0+0" "$menu") + $(count_colour "$img" "20x20+$((W - 20))+$((H - 20))" "$menu") ))
check "menu colour up to the screen corners" "$corners" 800

# The prompt comes back with every repaint (the target does not: it is
# drawn by the worker only).
wl_run "$probe" calib-repaint >/dev/null || bad "repaint request"
sleep 1
shot repaint
read -r rw rh rx ry <<<"$(dark_bbox "$art/calib-repaint.png" "600x200+$((cx - 300))+$((cy - 100))")"
check "prompt after a repaint" "$rw $rh $rx $ry" "$pw $ph $px $py"
echo "     target pixels after the repaint: $(count_colour "$art/calib-repaint.png" "${W}x${H}+0+0" "$xor")"

# ESC: the program ends at once, the registry stays as it was.
xdotool key Escape
wait_exit 20
check "ESC ends the program" "$rc" 0
shot after-escape
check "window gone" "$(count_colour "$art/calib-after-escape.png" "90x90+$((ax - 45))+$((ay - 45))" "$xor")" 0
"$WL_WINE" reg export "$params" "$work/after.reg" /y >/dev/null 2>&1
if [ -s "$work/before.reg" ] && cmp -s "$work/before.reg" "$work/after.reg"; then
    ok "Parameters unchanged"
else
    bad "Parameters changed"
    diff "$work/before.reg" "$work/after.reg" | head
fi
check "driver still running" "$(wl_service_state OVTouch)" RUNNING

exit $fail
