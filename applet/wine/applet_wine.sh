#!/usr/bin/env bash
# Wine tier of ovtouch.cpl (x86-64 build): the item in Wine's Control
# Panel, the driver-missing message, every page shown whole, a change by
# real input saved with OK, and a Cancel that writes nothing.
#   applet_wine.sh WIN64_OUT_DIR WORK_DIR ARTIFACTS_DIR
# Exit 77 when Wine or the X tools are missing. The sound test button is
# never pressed: Wine's speaker routine ends the driver's process.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?win64 out dir}
work=${2:?work dir}
art=${3:?artifacts dir}
cpl=$out/ovtouch.cpl
sys=$out/OVTouch.SYS
cplhost=$out/../tests/cplhost.exe
probe=$out/../tests/ovtprobe.exe
find_colour="/usr/bin/python3 $here/find_colour.py"

. "$here/../../tests/wine/winelib.sh"
if [ -z "$WL_WINE" ] || [ ! -x "$WL_WINE" ]; then echo "wine64 not installed"; exit 77; fi
for t in xdotool import Xvfb; do command -v $t >/dev/null || { echo "$t missing"; exit 77; }; done
for f in "$cpl" "$sys" "$cplhost" "$probe"; do
    [ -f "$f" ] || { echo "missing $f (run ./package.sh win64)"; exit 1; }
done

# Wine takes its ANSI code page from the locale: 936 needs a Chinese one.
. "$here/../../scripts/deps.sh"
ovt_zh_locale || { echo "no zh_CN.UTF-8 locale"; exit 1; }
export LANG=zh_CN.UTF-8
unset LC_ALL

mkdir -p "$work" "$art"
rm -f "$art"/applet-*.png
trap wl_cleanup EXIT
wl_init "$work/prefix" || exit 1
# 640 x 480, the work area ending 28 pixels above the screen's bottom as a
# bottom taskbar leaves it (Wine draws none here; the probe and the host
# take it from OVT_WORK_AREA): every fit check below wants the sheet, OK
# and Cancel inside it, where a finger reaches them.
wl_xvfb 640x480 || exit 1
export OVT_WORK_AREA=0,0,640,452
echo "display $DISPLAY, prefix $WINEPREFIX"

fail=0
ok()   { echo "ok   $*"; }
bad()  { echo "FAIL $*"; fail=1; }
expect() {  # expect WHAT ACTUAL WANTED
    if [ "$2" = "$3" ]; then ok "$1 = $3"; else bad "$1: got '$2', want '$3'"; fi
}
shot() { import -window root "$art/applet-$1.png" && echo "     screenshot artifacts/applet-$1.png"; }

params='HKLM\System\CurrentControlSet\Services\OVTouch\Parameters'
mouse='HKCU\Control Panel\Mouse'
wl_reg_add "$params" BeepMode REG_DWORD 1
wl_reg_add "$params" BeepFreq REG_DWORD 3000
wl_reg_add "$params" BeepTime REG_DWORD 100
wl_reg_add "$params" Port REG_DWORD 1
wl_reg_add "$params" MouseMode REG_DWORD 0
wl_reg_add "$params" ButtonMode REG_DWORD 1
wl_reg_add "$mouse" DoubleClickHeight REG_SZ 4
wl_reg_add "$mouse" DoubleClickWidth REG_SZ 4
wl_reg_add "$mouse" DoubleClickSpeed REG_SZ 500

# Where the setup program puts it.
cp "$cpl" "$(wl_sysdir)/ovtouch.cpl"
cp "$cplhost" "$WINEPREFIX/drive_c/cplhost.exe"
cp "$probe" "$WINEPREFIX/drive_c/ovtprobe.exe"

snapshot() {
    local key
    for key in "$params" "$mouse"; do "$WL_WINE" reg query "$key" 2>/dev/null || echo "no answer for $key"; done |
        tr -d '\r' | sort
}
value() { wl_reg_query "$1" "$2"; }

# Waits up to $2 seconds for a visible window whose name matches $1.
wait_window() {
    local i w
    for i in $(seq "${2:-60}"); do
        w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 1
    done
    return 1
}
wait_gone() {
    local i
    for i in $(seq "${2:-30}"); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 1
    done
    return 1
}
origin() {  # prints "X Y" of a window
    xdotool getwindowgeometry "$1" | awk '/Position/ { split($2, p, ","); print p[1], p[2] }'
}
click_at() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-1}"; }
probe() { "$WL_WINE" 'C:\ovtprobe.exe' "$@" 2>/dev/null | tr -d '\r'; }
# The settings window's title as ovtprobe takes it: GBK, in hex.
dialog_sel=title:$(printf '%s' "OlvaTouch控制面板设置程序" | iconv -f UTF-8 -t GBK | od -An -tx1 | tr -d ' \n')
# fit PAGE: every control of the page shown is whole (inside the page, the
# sheet and the window's client area), the window's buttons and the sheet
# do not overlap and lie inside the work area.
fit() {
    local out; out=$(probe host-fit "$dialog_sel")
    sed -n 's/^host /     host /p' <<<"$out"
    grep -q '^host work=0,0,640,452 ' <<<"$out" || bad "$1: work area not as a bottom taskbar leaves it"
    if grep -q '^PASS host-fit' <<<"$out"; then ok "$1: whole sheet and buttons inside the window and the work area"
    else bad "$1: cut off, overlapping or off the work area"; grep '^FAIL' <<<"$out" | sed 's/^/     /'; fi
}
# Screen centre of a control of the settings window.
centre() { probe window "$dialog_sel" "$1" | awk -F= '$1 == "cx" { x = $2 } $1 == "cy" { y = $2 } END { print x, y }'; }

# 1. The item as Wine's Control Panel lists it: our name and icon.
"$WL_WINE" control.exe >"$work/control.log" 2>&1 &
control=$!
if panel=$(wait_window 'Wine' 90); then
    sleep 3
    shot panel
    import -window root -depth 8 "$work/panel.ppm"
    if $find_colour "$work/panel.ppm" 208 24 24 >/dev/null; then ok "icon 4001 shown in the Control Panel"
    else bad "icon 4001 not in the Control Panel"; fi
else
    bad "Wine's Control Panel did not open"
fi
# Closing its X window leaves the process running with our applet loaded;
# it goes before the next step compares the registry.
kill $control 2>/dev/null
wait_gone $control 30 || bad "Wine's Control Panel still running"
sleep 2

# 2. Driver not installed: the message and nothing else.
before=$(snapshot)
"$WL_WINE" 'C:\cplhost.exe' 'C:\windows\system32\ovtouch.cpl' >"$work/missing.out" 2>&1 &
host=$!
# The message box has the platform's default caption.
if box=$(wait_window '^(错误|Error)$' 90); then
    sleep 2
    shot driver-missing
    [ -z "$(xdotool search --onlyvisible --name 'OlvaTouch' 2>/dev/null)" ] && ok "no settings dialog without the driver" \
        || bad "settings dialog shown without the driver"
    xdotool windowfocus "$box" 2>/dev/null; xdotool key Return
else
    bad "no message box without the driver"
fi
wait_gone $host 30 || { bad "cplhost still running"; kill $host; }
tr -d '\r' <"$work/missing.out" >"$work/missing.txt"
cat "$work/missing.txt"
grep -q '^dblclk=0$' "$work/missing.txt" && ok "CPL_DBLCLK answered 0" || bad "CPL_DBLCLK answer"
grep -q '^startwparms=1$' "$work/missing.txt" && ok "message 10 answered 1 (not ours)" || bad "message 10 answer"
# OLVATouch 设置程序 and OLVA控制面板设置程序 in GBK
grep -q '^name=4f4c5641546f75636820c9e8d6c3b3ccd0f2$' "$work/missing.txt" && ok "item name in GBK" || bad "item name"
grep -q '^info=4f4c5641bfd8d6c6c3e6b0e5c9e8d6c3b3ccd0f2$' "$work/missing.txt" && ok "item information in GBK" || bad "item information"
after=$(snapshot)
if [ "$after" = "$before" ]; then ok "driver missing: registry untouched"; else
    bad "driver missing: registry changed"; diff <(echo "$before") <(echo "$after") | sed 's/^/     /'
fi

# 3. The driver.
wl_driver_install OVTouch "$sys" || { echo "FAIL sc create"; exit 1; }
wl_driver_start OVTouch >/dev/null
state=$(wl_service_state OVTouch)
[ "$state" = RUNNING ] || { echo "FAIL driver not running: $state"; exit 1; }
ok "driver running"

# Offsets inside the dialog's client area (Xvfb, no window manager, the
# fonts of the prefix): tabs, the mouse mode list, the area slider, the
# port list.
TAB_Y=27
TAB_X=(60 120 180 243 309)
MODE_X=260 MODE_Y=118
AREA_X=314 AREA_Y=188
PORT_X=231 PORT_Y=124
open_dialog() {
    "$WL_WINE" 'C:\cplhost.exe' 'C:\windows\system32\ovtouch.cpl' >"$work/$1.out" 2>&1 &
    host=$!
    dialog=$(wait_window 'OlvaTouch' 90) || { bad "$1: settings dialog did not open"; return 1; }
    sleep 2
    read -r DX DY < <(origin "$dialog")
    return 0
}
tab() { click_at $((DX + TAB_X[$1 - 1])) $((DY + TAB_Y)) 1.5; }

# 4. Every page, then mouse mode, area slider and port changed, and OK.
if open_dialog ok; then
    shot page1-calibration; fit page1
    tab 2; shot page2-sound; fit page2
    tab 3; shot page3-mouse; fit page3
    tab 4; shot page4-port; fit page4
    tab 5; shot page5-version; fit page5

    tab 3
    click_at $((DX + MODE_X)) $((DY + MODE_Y)) 1   # open the mouse mode list
    xdotool key Down Down; sleep 0.5; xdotool key Return; sleep 1
    click_at $((DX + AREA_X)) $((DY + AREA_Y)) 1   # the area slider
    xdotool key End; sleep 1
    shot page3-mouse-changed
    tab 4
    click_at $((DX + PORT_X)) $((DY + PORT_Y)) 1   # the port list
    xdotool key Down; sleep 0.5; xdotool key Return; sleep 1
    shot page4-port-changed
    click_at $(centre 1) 2                         # " 确定 "
    wait_gone $host 60 || { bad "OK did not close the dialog"; kill $host; }
    expect MouseMode "$(value "$params" MouseMode)" 0x2
    expect Port "$(value "$params" Port)" 0x2
    expect ButtonMode "$(value "$params" ButtonMode)" 0x0
    expect BeepMode "$(value "$params" BeepMode)" 0x1
    expect BeepFreq "$(value "$params" BeepFreq)" 0xbb8
    expect BeepTime "$(value "$params" BeepTime)" 0x64
    expect DoubleClickHeight "$(value "$mouse" DoubleClickHeight)" 200
    expect DoubleClickWidth "$(value "$mouse" DoubleClickWidth)" 200
    expect DoubleClickSpeed "$(value "$mouse" DoubleClickSpeed)" 500
fi

# 5. Cancel writes nothing.
before=$(snapshot)
if open_dialog cancel; then
    tab 4
    click_at $((DX + PORT_X)) $((DY + PORT_Y)) 1
    xdotool key Up; sleep 0.5; xdotool key Return; sleep 1
    shot cancel-port-changed
    click_at $(centre 2) 2                             # " 取消 "
    wait_gone $host 60 || { bad "Cancel did not close the dialog"; kill $host; }
    [ "$(snapshot)" = "$before" ] && ok "Cancel wrote nothing" || { bad "Cancel changed the registry"; diff <(echo "$before") <(snapshot); }
fi

state=$(wl_service_state OVTouch)
[ "$state" = RUNNING ] && ok "driver still running after the reload requests" || bad "driver gone: $state"
exit $fail
