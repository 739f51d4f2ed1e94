#!/usr/bin/env bash
# The setup end to end under 64-bit Wine: install through the wizard (a
# first run with readme.txt missing, then a full one over it choosing COM2
# and no restart), check files, registry and links, restart the prefix and
# find the driver running, get the already-installed message, uninstall and
# restart again. Then ovtouch.inf in a fresh prefix: its install and removal
# compared with the wizard's and the uninstaller's, value by value.
# Screenshots of every page land in artifacts/setup-*.png.
#   setup_wine.sh DIST_WIN64 BUILD_WIN64 WORK_DIR
# Exit 77 when Wine is missing.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
dist=${1:?dist dir}
build=${2:?win64 build dir}
work=${3:?work dir}
probe=$build/tests/ovtprobe.exe
art=$root/artifacts
wt() { python3 "$here/wt.py" "$@"; }

. "$root/tests/wine/winelib.sh"
if [ -z "$WL_WINE" ] || [ ! -x "$WL_WINE" ]; then echo "wine64 not installed"; exit 77; fi
for f in $("$root/package.sh" --files); do
    [ -f "$dist/$f" ] || { echo "missing $dist/$f (run ./package.sh win64)"; exit 1; }
done
[ -f "$probe" ] || { echo "missing $probe (run ./package.sh win64)"; exit 1; }

# Narrow GBK texts need an ANSI code page of 936: a Chinese (PRC) locale.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
    localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 2>/dev/null || { echo "no zh_CN.UTF-8 locale"; exit 1; }
fi
export LC_ALL=zh_CN.UTF-8
export LANG=zh_CN.UTF-8

passed=0
failed=0
check() {  # check WHAT COMMAND...
    local what=$1; shift
    if "$@"; then echo "ok   $what"; passed=$((passed + 1))
    else echo "FAIL $what"; failed=$((failed + 1)); fi
}
eq() { [ "$1" = "$2" ] || { echo "     got [$1] want [$2]"; return 1; }; }

mkdir -p "$work" "$art"
rm -f "$art"/setup-*.png
trap 'wl_cleanup; kill $(jobs -p) 2>/dev/null' EXIT
wl_init "$work/prefix" || exit 1
wl_xvfb || exit 1
# A virtual desktop draws the captions, which the screenshots then show.
wl_reg_add 'HKCU\Software\Wine\Explorer' Desktop REG_SZ Default
wl_reg_add 'HKCU\Software\Wine\Explorer\Desktops' Default REG_SZ 1024x768
c=$WINEPREFIX/drive_c
t0=$(date +%s)
stage() { echo "== $* (+$(($(date +%s) - t0)) s)"; }
sys32=$c/windows/system32

dump=$work/windows.txt
snap() { timeout 20 "$WL_WINE" "$probe" dump-windows >"$dump" 2>/dev/null; }
# wait_for TITLE [SECONDS]: until a top window of that title shows.
wait_for() {
    local i
    for i in $(seq 1 $((${2:-30} * 2))); do
        snap
        wt has "$dump" "$1" && return 0
        sleep 0.5
    done
    echo "     no window \"$1\""
    cat "$dump"
    return 1
}
wait_gone() {
    local i
    for i in $(seq 1 $((${2:-30} * 2))); do
        snap
        wt has "$dump" "$1" || return 0
        sleep 0.5
    done
    return 1
}
# click TITLE ID [item1]
click() {
    local pos
    snap
    pos=$(wt pos "$dump" "$@") || { echo "     no control $2 in \"$1\""; return 1; }
    # shellcheck disable=SC2086
    xdotool mousemove $pos click 1
    sleep 0.7
    snap
}
field() { snap; wt get "$dump" "$@"; }
shot() { sleep 0.5; import -window root "$art/setup-$1.png" 2>/dev/null; }

FRAME="OlvaTouch安装程序"
NEXT=1001; BACK=1000; CANCEL=2

# The package as shipped, and a copy without the read-me for the first run.
rm -rf "$work/pkg" "$work/pkg-partial"
cp -r "$dist" "$work/pkg"
cp -r "$dist" "$work/pkg-partial"
rm "$work/pkg-partial/readme.txt"

stage "first installation (readme.txt missing, COM1)"
(cd / && "$WL_WINE" "$work/pkg-partial/olvaset1.exe" >/dev/null 2>&1) &
setup_pid=$!
check "wizard frame shows" wait_for "$FRAME" 60
shot welcome
snap
check "welcome texts" eq "$(wt texts "$dump" "$FRAME" | tr '\n' '|')" \
    "欢迎使用Olva Touch声表面波触摸屏|按“下一步”开始安装|按“取消”放弃安装|"
check "welcome: Back off, Next and Cancel on" eq "$(field "$FRAME" $BACK en)$(field "$FRAME" $NEXT en)$(field "$FRAME" $CANCEL en)" "011"
check "button texts" eq "$(field "$FRAME" $BACK text)/$(field "$FRAME" $NEXT text)/$(field "$FRAME" $CANCEL text)" "上一步/下一步/取消"
click "$FRAME" $NEXT
check "port page texts" eq "$(wt texts "$dump" "$FRAME" | tr '\n' '|')" \
    "请选择控制卡所安装的端口|注意：用控制面板应用程序可以修改端口设置|"
check "port list holds COM1 and COM2, COM1 selected" eq "$(field "$FRAME" 1004 count)/$(field "$FRAME" 1004 sel)" "2/0"
check "port page: Back on" eq "$(field "$FRAME" $BACK en)" 1
shot port
click "$FRAME" $BACK
check "Back returns to the welcome page" eq "$(wt texts "$dump" "$FRAME" | sed -n 1p)/$(field "$FRAME" $BACK en)" \
    "欢迎使用Olva Touch声表面波触摸屏/0"
click "$FRAME" $NEXT
check "the list is filled once" eq "$(field "$FRAME" 1004 count)" 2
click "$FRAME" $NEXT
check "a missing readme.txt is reported by its destination" wait_for "copy readme.txt fail" 60
check "message text is the destination path" eq "$(wt texts "$dump" "copy readme.txt fail")" 'C:\windows\OVTouch\readme.txt'
check "progress lines" eq "$(field "$FRAME" 1006 text)/$(field "$FRAME" 1007 text)" "正在复制系统文件/readme.txt"
check "all buttons off while installing" eq "$(field "$FRAME" $BACK en)$(field "$FRAME" $NEXT en)$(field "$FRAME" $CANCEL en)" "000"
shot progress
click "copy readme.txt fail" 1 || click "copy readme.txt fail" 2
check "restart page shows" wait_gone "copy readme.txt fail" 20
snap
check "restart page texts" eq "$(wt texts "$dump" "$FRAME" | tr '\n' '|')" "驱动程序需要重新启动|"
check "restart box set, Next reads 完成, Back and Cancel off" \
    eq "$(field "$FRAME" 1003 chk)/$(field "$FRAME" 1003 text)/$(field "$FRAME" $NEXT text)/$(field "$FRAME" $BACK en)$(field "$FRAME" $CANCEL en)" \
    "1/请立即重新启动/完成/00"
shot restart
click "$FRAME" 1003
check "restart box cleared" eq "$(field "$FRAME" 1003 chk)" 0
shot restart-cleared
click "$FRAME" $NEXT
check "wizard closes" wait_gone "$FRAME" 20
wait "$setup_pid" 2>/dev/null
check "first run left no readme.txt" test ! -e "$c/windows/OVTouch/readme.txt"

stage "second installation over the first (COM2, no restart)"
(cd / && "$WL_WINE" "$work/pkg/olvaset1.exe" >/dev/null 2>&1) &
setup_pid=$!
check "wizard frame shows again" wait_for "$FRAME" 60
click "$FRAME" $NEXT
snap
# shellcheck disable=SC2046
xdotool mousemove $(wt pos "$dump" "$FRAME" 1004 item1) click 1
sleep 0.7
check "COM2 selected" eq "$(field "$FRAME" 1004 sel)" 1
shot port-com2
click "$FRAME" $NEXT
for i in $(seq 1 60); do
    snap
    [ "$(wt get "$dump" "$FRAME" $NEXT text 2>/dev/null)" = "完成" ] && break
    [ "$(grep -c '^top ' "$dump")" -gt 1 ] && break
    sleep 0.5
done
check "no failure message in a full installation" eq "$(grep -c '^top ' "$dump")" 1
click "$FRAME" 1003
check "restart box cleared" eq "$(field "$FRAME" 1003 chk)" 0
click "$FRAME" $NEXT
check "wizard closes" wait_gone "$FRAME" 20
wait "$setup_pid" 2>/dev/null

stage "what the installation left"
same() { cmp -s "$1" "$2" || { echo "     $2 differs from $1"; return 1; }; }
check "ovtcalib.exe in system32" same "$dist/ovtcalib.exe" "$sys32/ovtcalib.exe"
check "ovtouch.cpl in system32" same "$dist/ovtouch.cpl" "$sys32/ovtouch.cpl"
check "OVTouch.SYS in system32\\drivers" same "$dist/OVTouch.SYS" "$sys32/drivers/OVTouch.SYS"
check "no OVTouch.SYS in system32 itself" test ! -e "$sys32/OVTouch.SYS"
for f in uninst.exe altclick.exe readme.txt; do
    check "$f in windows\\OVTouch" same "$dist/$f" "$c/windows/OVTouch/$f"
done

# Values exactly as stored (type, trailing blanks), from regedit exports.
q() {  # q KEY NAME -> sz:TEXT or dword:N, empty when absent
    local long=${1/#HKLM/HKEY_LOCAL_MACHINE}
    long=${long/#HKCU/HKEY_CURRENT_USER}
    rm -f "$work/export.reg"
    "$WL_WINE" regedit /E "$(wl_winpath "$work/export.reg")" "$long" >/dev/null 2>&1
    [ -f "$work/export.reg" ] && wt reg "$work/export.reg" "$long" "$2"
}
svc='HKLM\System\CurrentControlSet\Services\OVTouch'
check "service default value" eq "$(q "$svc" @)" "sz:OLVATouch AcousticWave TouchScreen "
check "DisplayName" eq "$(q "$svc" DisplayName)" "sz:OVTouch Driver"
check "ErrorControl" eq "$(q "$svc" ErrorControl)" "dword:1"
check "Provider" eq "$(q "$svc" Provider)" "sz:OlvaTouch Co. Ltd. "
check "Start (boot)" eq "$(q "$svc" Start)" "dword:0"
check "Type (kernel driver)" eq "$(q "$svc" Type)" "dword:1"
check "no ImagePath" eq "$(q "$svc" ImagePath)" ""
params=$svc'\Parameters'
for pair in BeepMode=1 BeepFreq=2000 BeepTime=20 BeepFreq2=2000 BeepTime2=20 DblClkRegion=25 \
            ButtonMode=2 MouseMode=2 Port=2 XHigh=2048 XLow=1 XOffset=1 YHigh=2048 YLow=1 YOffset=1; do
    check "Parameters ${pair%%=*}" eq "$(q "$params" "${pair%%=*}")" "dword:${pair#*=}"
done
mouse='HKCU\Control Panel\Mouse'
check "DoubleClickHeight" eq "$(q "$mouse" DoubleClickHeight)" "sz:30"
check "DoubleClickSpeed" eq "$(q "$mouse" DoubleClickSpeed)" "sz:800"
check "DoubleClickWidth" eq "$(q "$mouse" DoubleClickWidth)" "sz:30"
runonce='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
check "run-once entry" eq "$(q "$runonce" OVTouch)" 'sz:C:\windows\system32\ovtcalib.exe'
programs=$(q 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' Programs | sed 's/^sz://')
programs_unix=$("$WL_WINE" winepath -u "$programs" 2>/dev/null | tr -d '\r')
links=$programs_unix/OVTouch
# A link holds its target's name and its description (as UTF-16 when saved by Wine).
link_has() { python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
want = sys.argv[2]
sys.exit(0 if want.encode("gbk") in data or want.encode("utf-16-le") in data else 1)
PY
}
for row in "OVTCalib.lnk|ovtcalib.exe|屏幕校准" "AltClick.lnk|altclick.exe|切换左右键" \
           "Uninst.lnk|uninst.exe|卸载驱动" "readme.lnk|readme.txt|驱动说明"; do
    IFS='|' read -r name target desc <<<"$row"
    check "$name exists" test -f "$links/$name"
    check "$name targets $target" link_has "$links/$name" "$target"
    check "$name describes $desc" link_has "$links/$name" "$desc"
done

state() {  # state FILE: files, folders, links and every value of the package's keys
    local k i=0
    for k in "$svc" "$mouse" "$runonce" 'HKLM\System\CurrentControlSet\Services\EventLog\System\OVTouch'; do
        i=$((i + 1)) && k=${k/#HKLM/HKEY_LOCAL_MACHINE} && rm -f "$work/state-$i.reg"
        "$WL_WINE" regedit /E "$(wl_winpath "$work/state-$i.reg")" "${k/#HKCU/HKEY_CURRENT_USER}" >/dev/null 2>&1
    done
    python3 "$here/state.py" "$WINEPREFIX" "$work"/state-*.reg >"$1"
}
state "$work/wizard-installed.txt"

stage "restart: the driver starts at boot and the calibration runs once"
# The PC speaker routine ends a Wine driver process: no beeps here.
wl_reg_add "$params" BeepMode REG_DWORD 0
wl_stop
[ -n "$WL_HOLD_PID" ] && { kill "$WL_HOLD_PID" 2>/dev/null; wait "$WL_HOLD_PID" 2>/dev/null; }
"$WL_WINESERVER" -w 2>/dev/null
stage "server down"
wl_hold
("$WL_WINE" wineboot -r >/dev/null 2>&1) &
boot_pid=$!
# The calibration window is not asked anything through Win32 here: while
# it waits for the driver a message to it could hang. Found by process.
calib_pid() {
    local p
    for p in /proc/[0-9]*; do
        grep -qzx "WINEPREFIX=$WINEPREFIX" "$p/environ" 2>/dev/null || continue
        grep -qa 'ovtcalib.exe' "$p/cmdline" 2>/dev/null && { echo "${p#/proc/}"; return 0; }
    done
    return 1
}
pid=
for i in $(seq 1 120); do
    pid=$(calib_pid) && break
    kill -0 "$boot_pid" 2>/dev/null || break
    sleep 0.5
done
check "the run-once entry starts the calibration program" test -n "$pid"
if [ -n "$pid" ]; then
    sleep 3
    shot calibration
    # ESC abandons the calibration; the boot waits for it.
    xdotool mousemove 512 384 key Escape
    for i in $(seq 1 40); do [ -d "/proc/$pid" ] || break; sleep 0.5; done
    check "ESC ends the calibration" test ! -d "/proc/$pid"
    [ -d "/proc/$pid" ] && kill "$pid" 2>/dev/null
fi
stage "calibration handled"
for i in $(seq 1 60); do kill -0 "$boot_pid" 2>/dev/null || break; sleep 0.5; done
check "the run-once entry is gone" eq "$(q "$runonce" OVTouch)" ""
wait "$boot_pid" 2>/dev/null
stage "boot done"
sleep 2
check "OVTouch service running" eq "$(wl_service_state OVTouch)" RUNNING
answer=$(timeout 60 "$WL_WINE" "$probe" device-answers 2>/dev/null | tr -d '\r')
echo "     device: $answer"
check "\\\\.\\ovtouch answers with the installed parameters" eq "$answer" "open ok mousemode=2(1) beep=0,2000,40(1)"

stage "setup over a running driver"
(cd / && "$WL_WINE" "$work/pkg/olvaset1.exe" >/dev/null 2>&1) &
setup_pid=$!
check "already-installed message" wait_for "错误" 60
check "its text" eq "$(wt texts "$dump" "错误")" 'OlvaTouch已经安装！\n请先卸载'
check "no wizard behind it" eq "$(wt has "$dump" "$FRAME" && echo yes || echo no)" no
shot already-installed
click "错误" 1 || click "错误" 2
check "setup ends" wait_gone "错误" 20
wait "$setup_pid" 2>/dev/null

stage "uninstall"
UNTITLE="OlvaTouch卸载程序"
("$WL_WINE" "$c/windows/OVTouch/uninst.exe" >/dev/null 2>&1) &
un_pid=$!
check "confirmation" wait_for "$UNTITLE" 60
check "its text" eq "$(wt texts "$dump" "$UNTITLE")" "确实要卸载OlvaTouch触摸屏驱动程序吗？"
shot uninst-confirm
click "$UNTITLE" 6
check "final message" wait_for "$UNTITLE" 30
shot uninst-done
final=$(wt texts "$dump" "$UNTITLE" | tr '\n' '|')
echo "     $final"
check "final message names the restart" eq "${final%%|*}" 'OlvaTouch已经卸载。\n请重新启动计算机以完成卸载'
click "$UNTITLE" 1 || click "$UNTITLE" 2
wait_gone "$UNTITLE" 20
wait "$un_pid" 2>/dev/null

check "links and their folder gone" test ! -e "$links"
check "run-once entry gone" eq "$(q "$runonce" OVTouch)" ""
check "service key gone" eq "$("$WL_WINE" reg query "$svc" >/dev/null 2>&1 && echo there || echo gone)" gone
pending=$("$WL_WINE" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null | tr -d '\r')
gone_or_pending() { [ ! -e "$1" ] || grep -qi "$(basename "$1")" <<<"$pending"; }
for f in "$sys32/ovtcalib.exe" "$sys32/ovtouch.cpl" "$sys32/drivers/OVTouch.SYS" "$c/windows/OVTouch/altclick.exe" \
         "$c/windows/OVTouch/readme.txt" "$c/windows/OVTouch/uninst.exe"; do
    check "$(basename "$f") removed or left to the restart" gone_or_pending "$f"
done
check "user's double-click settings kept" eq "$(q "$mouse" DoubleClickSpeed)" "sz:800"

stage "restart after the removal"
wl_stop
[ -n "$WL_HOLD_PID" ] && { kill "$WL_HOLD_PID" 2>/dev/null; wait "$WL_HOLD_PID" 2>/dev/null; }
"$WL_WINESERVER" -w 2>/dev/null
wl_hold
timeout 120 "$WL_WINE" wineboot -r >/dev/null 2>&1
sleep 2
check "package folder gone" test ! -e "$c/windows/OVTouch"
check "driver file gone" test ! -e "$sys32/drivers/OVTouch.SYS"
check "driver no longer loaded" eq "$(timeout 60 "$WL_WINE" "$probe" device-answers 2>/dev/null | tr -d '\r' | cut -c1-11)" "open failed"
state "$work/wizard-removed.txt"

stage "ovtouch.inf in a fresh prefix, its Port string set to 2 as the wizard's COM2 above"
wl_init "$work/prefix-inf" || exit 1
rm -rf "$work/pkg-inf" && cp -r "$dist" "$work/pkg-inf"
sed -i 's/^Port=1\r$/Port=2\r/' "$work/pkg-inf/ovtouch.inf"
hinf() { "$WL_WINE" rundll32.exe setupapi,InstallHinfSection "$1" 128 "$(wl_winpath "$work/pkg-inf/ovtouch.inf")"; }
# The differences that must exist: Wine 8's setupapi ignores
# FLG_PROFITEM_CURRENTUSER (its "unhandled attributes: 1") and Infotip, so the
# INF's links land in All Users' Programs without a description (ReactOS's
# puts them in the user's, where its tier finds them).
known() { sed -E 's/^link (common|user) /link /' "$1"; }
same_state() { diff <(known "$1") <(known "$2") >"$work/diff.txt" || { sed 's/^/     /' "$work/diff.txt"; return 1; }; }
hinf DefaultInstall
state "$work/inf-installed.txt"
check "DefaultInstall leaves files, folders, links and values as the wizard" \
    same_state "$work/wizard-installed.txt" "$work/inf-installed.txt"
hinf DefaultUninstall
wl_stop; kill "$WL_HOLD_PID" 2>/dev/null && wait "$WL_HOLD_PID" 2>/dev/null; "$WL_WINESERVER" -w 2>/dev/null
wl_hold && timeout 120 "$WL_WINE" wineboot -r >/dev/null 2>&1 && sleep 2
state "$work/inf-removed.txt"
check "DefaultUninstall and a restart leave what the uninstaller leaves" \
    same_state "$work/wizard-removed.txt" "$work/inf-removed.txt"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
