#!/usr/bin/env bash
# The whole package end to end under 64-bit Wine, with touches.
#
#   e2e.sh run BUILD_WIN64 DIST_WIN64 RUNDIR [LAST_STEP]
#       runs the steps in one fresh prefix under RUNDIR, writes
#       RUNDIR/results (one "STEP PASS|FAIL|SKIP reason" line each) and the
#       screenshots artifacts/e2e-<step>-<what>.png; exits 0 when it ran.
#   e2e.sh result STEP RUNDIR
#       exit 0 PASS, 77 SKIP, 1 FAIL or missing: one CTest test per step.
#
# Environment: E2E_VISIBLE=1 uses $DISPLAY (a Wine desktop a person can
# watch) instead of a private Xvfb; E2E_PAUSE=SECONDS waits between actions.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../../.." && pwd)

if [ "${1:-}" = result ]; then
    step=$2 results=$3/results
    [ -f "$results" ] || { echo "no results: the run did not happen"; exit 1; }
    line=$(grep "^$step " "$results" | tail -1)
    [ -n "$line" ] || { echo "step $step did not run"; exit 1; }
    echo "$line"
    grep "^\[$step\] FAIL" "$3/log" 2>/dev/null | head -40
    case "$line" in
        "$step PASS"*) exit 0 ;;
        "$step SKIP"*) exit 77 ;;
        *) exit 1 ;;
    esac
fi

[ "${1:-}" = run ] || { sed -n '2,14p' "$0"; exit 2; }
build64=$2 dist64=$3 rundir=$4 last=${5:-7}
mkdir -p "$rundir"
rundir=$(cd "$rundir" && pwd)
results=$rundir/results log=$rundir/log
artifacts=$repo/artifacts
mkdir -p "$artifacts"
: >"$results"
: >"$log"
rm -f "$artifacts"/e2e-*.png

. "$repo/tests/wine/winelib.sh"

e2e_dir=$build64/e2e
tool_host=$build64/tests/ovtprobe.exe
pause=${E2E_PAUSE:-0}

# ---- bookkeeping ----------------------------------------------------------

current=
step_failed=0
say() { echo "[$current] $*" | tee -a "$log" >&2; }
begin() { current=$1; step_failed=0; say "== $2"; }
pass() { say "PASS $*"; }
fail() { say "FAIL $*"; step_failed=1; }
check() {  # check NAME COMMAND...: PASS when the command succeeds
    local name=$1; shift
    if "$@" >>"$log" 2>&1; then pass "$name"; else fail "$name"; fi
}
finish() {  # finish [SKIP reason]
    if [ "${1:-}" = SKIP ]; then
        shift; echo "$current SKIP $*" >>"$results"; say "SKIP $*"
    elif [ "$step_failed" = 0 ]; then
        echo "$current PASS" >>"$results"
    else
        echo "$current FAIL" >>"$results"
    fi
}
# Lines of ovtprobe checks go to the log under the current step.
report() {
    local line status=0
    while IFS= read -r line; do
        line=${line%$'\r'}
        case "$line" in
            PASS*) say "$line" ;;
            FAIL*) say "$line"; step_failed=1 ;;
            *) echo "[$current] $line" >>"$log" ;;
        esac
    done
    return $status
}
nap() { [ "$pause" != 0 ] && sleep "$pause"; return 0; }

# GBK bytes of a UTF-8 text, as hex: how ovtprobe takes titles.
gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK | od -An -tx1 | tr -d ' \n'; }

# ---- Wine and X ------------------------------------------------------------

prefix=$rundir/prefix
sys32() { echo "$prefix/drive_c/windows/system32"; }
tool=  # the program inside the prefix
holder_pid=

t() {
    local start=$SECONDS rc
    timeout 60 "$WL_WINE" "$tool" "$@" 2>>"$rundir/wine.err" | tr -d '\r'
    rc=${PIPESTATUS[0]}
    [ $((SECONDS - start)) -ge 5 ] && echo "[$current] slow: ovtprobe $* took $((SECONDS - start)) s (rc $rc)" >>"$log"
    return "$rc"
}

start_hold() {
    wl_hold
    "$WL_WINE" "$tool" hold >/dev/null 2>>"$rundir/wine.err" &
    holder_pid=$!
}

stop_prefix() {
    [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null
    wl_stop
    [ -n "$WL_HOLD_PID" ] && { kill "$WL_HOLD_PID" 2>/dev/null; wait "$WL_HOLD_PID" 2>/dev/null; }
    WL_HOLD_PID=
    [ -n "$holder_pid" ] && wait "$holder_pid" 2>/dev/null
    holder_pid=
    desk_xid=
    "$WL_WINESERVER" -w 2>/dev/null
}

# With E2E_VISIBLE the programs run in a Wine desktop: one X window whose
# origin is added to every screen point, and which takes the keys.
desk_xid= ox=0 oy=0
desk() {
    [ "${E2E_VISIBLE:-0}" = 1 ] || return 1
    if [ -z "$desk_xid" ]; then
        desk_xid=$(xdotool search --onlyvisible --classname 'explorer' 2>/dev/null | head -1)
        [ -n "$desk_xid" ] || return 1
        eval "$(xdotool getwindowgeometry --shell "$desk_xid" | sed -n 's/^X=/ox=/p; s/^Y=/oy=/p')"
    fi
    return 0
}

shot() {  # shot NAME: the screen (or the Wine desktop) as artifacts/e2e-NAME.png
    sleep 0.7
    local what=root
    desk && what=$desk_xid
    if import -window "$what" "$artifacts/e2e-$1.png" 2>>"$log"; then
        echo "[$current] screenshot e2e-$1.png" >>"$log"
    else
        fail "screenshot $1"
    fi
}

# Screen point of a window or of its control: sets cx cy.
locate() {
    local out
    out=$(t window "$@") || return 1
    cx=$(sed -n 's/^cx=//p' <<<"$out")
    cy=$(sed -n 's/^cy=//p' <<<"$out")
    [ -n "$cx" ]
}
click_at() { desk; xdotool mousemove --sync $(($1 + ox)) $(($2 + oy)) click "${3:-1}"; nap; }
click() {  # click SELECTOR [ID]
    locate "$@" || { echo "no window $*" >>"$log"; return 1; }
    click_at "$cx" "$cy"
}
key() { desk && xdotool windowfocus --sync "$desk_xid"; xdotool key "$@"; nap; }
wait_window() { t wait-window "$1" "${2:-20000}" >/dev/null; }
wait_gone() { t wait-window "$1" "${2:-20000}" gone >/dev/null; }
msg() { t msg "$@"; }
text_of() { t text "$1" "$2" | xxd -r -p 2>/dev/null || true; }
num_of() { t text "$1" "$2" | sed 's/../\\x&/g' | xargs -0 printf '%b' 2>/dev/null; }
reg_dword() { t reg-dword HKLM 'System\CurrentControlSet\Services\OVTouch\Parameters' "$1"; }

# What the installed driver's key must hold for the tier: a Group shared
# with OVTFake, BeepMode 0 (a beep aborts Wine's driver process).
params='HKLM\System\CurrentControlSet\Services\OVTouch\Parameters'

program() { [ -f "$dist64/$1" ] && echo "$dist64/$1"; }
# True once $1 exists: where setup put it, or the build's $2 copied there
# for a step that runs without setup's.
installed() {
    [ -f "$1" ] || { [ -n "$(program "$2")" ] && mkdir -p "$(dirname "$1")" && cp "$(program "$2")" "$1"; }
    [ -f "$1" ]
}

# ---- set-up ------------------------------------------------------------------

[ -f "$tool_host" ] || { echo "1-setup FAIL ovtprobe.exe not built ($tool_host)" >>"$results"; exit 1; }
command -v xdotool >/dev/null && command -v import >/dev/null && command -v Xvfb >/dev/null ||
    { echo "1-setup FAIL xdotool, ImageMagick and Xvfb are needed" >>"$results"; exit 1; }

export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$' || echo "[setup] no zh_CN.UTF-8 locale: texts fall back" >>"$log"

trap 'stop_prefix; wl_cleanup' EXIT
if [ "${E2E_VISIBLE:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
    echo "[setup] on $DISPLAY" >>"$log"
else
    wl_xvfb || { echo "1-setup FAIL no X display" >>"$results"; exit 1; }
fi

wl_init "$prefix" || { echo "1-setup FAIL wineboot" >>"$results"; exit 1; }
mkdir -p "$prefix/drive_c/e2e"
cp "$tool_host" "$prefix/drive_c/e2e/ovtprobe.exe"
tool='C:\e2e\ovtprobe.exe'
# Wine draws the frames itself (no window manager on the display).
wl_reg_add 'HKCU\Software\Wine\X11 Driver' Decorated REG_SZ N
wl_reg_add 'HKCU\Software\Wine\X11 Driver' Managed REG_SZ N
if [ "${E2E_VISIBLE:-0}" = 1 ]; then
    wl_reg_add 'HKCU\Software\Wine\Explorer' Desktop REG_SZ Default
    wl_reg_add 'HKCU\Software\Wine\Explorer\Desktops' Default REG_SZ 1024x768
fi

# ---- step 1: the real setup -----------------------------------------------------------

step1() {
    begin 1-setup "olvaset1.exe from the x86-64 package, COM2, no restart"
    local setup; setup=$(program olvaset1.exe)
    if [ -z "$setup" ]; then finish SKIP "olvaset1.exe not in $dist64"; return 1; fi
    local pkg=$prefix/drive_c/olvaset
    mkdir -p "$pkg" && cp "$dist64"/* "$pkg/"
    local frame; frame=title:$(gbk "OlvaTouch安装程序")
    (cd "$pkg" && timeout 300 "$WL_WINE" olvaset1.exe >/dev/null 2>>"$rundir/wine.err") &
    local setup_pid=$!
    if ! wait_window "$frame" 30000; then fail "wizard window"; finish; return 1; fi
    shot 1-welcome
    click "$frame" 1001 || fail "Next on the welcome page"
    if wait_window "$frame" 5000 && locate "$frame" 1004; then
        # The first item (COM1), then one down: COM2.
        local out; out=$(t window "$frame" 1004)
        local lx ly; lx=$(sed -n 's/^x=//p' <<<"$out"); ly=$(sed -n 's/^y=//p' <<<"$out")
        click_at $((lx + 20)) $((ly + 6))
        key Down
        [ "$(msg "$frame" 1004 0x188)" = 1 ] && pass "COM2 selected" || fail "COM2 selected"
        shot 1-port
        click "$frame" 1001 || fail "Next on the port page"
    else
        fail "port page"
    fi
    # The installation runs inside that click; the restart page follows.
    local i
    for i in $(seq 1 100); do locate "$frame" 1003 && break; sleep 0.3; done
    if locate "$frame" 1003; then
        click "$frame" 1003
        [ "$(msg "$frame" 1003 0xF0)" = 0 ] && pass "restart cleared" || fail "restart cleared"
        shot 1-restart
        click "$frame" 1001 || fail "finish"
    else
        fail "restart page"
    fi
    wait_gone "$frame" 20000 && pass "wizard closed" || fail "wizard closed"
    wait "$setup_pid" 2>/dev/null

    local d=$prefix/drive_c/windows
    for f in system32/ovtcalib.exe system32/drivers/OVTouch.SYS system32/ovtouch.cpl \
             OVTouch/uninst.exe OVTouch/altclick.exe OVTouch/readme.txt; do
        [ -f "$d/$f" ] && pass "installed $f" || fail "installed $f"
    done
    local svc='System\CurrentControlSet\Services\OVTouch'
    [ "$(t reg-dword HKLM "$svc" Start)" = 0 ] && pass "service Start 0" || fail "service Start 0"
    [ "$(t reg-dword HKLM "$svc" Type)" = 1 ] && pass "service Type 1" || fail "service Type 1"
    t reg-dword HKLM "$svc" ImagePath >/dev/null && fail "no image path" || pass "no image path"
    [ "$(reg_dword Port)" = 2 ] && pass "Port 2" || fail "Port 2 (got $(reg_dword Port))"
    [ "$(reg_dword MouseMode)" = 2 ] && pass "MouseMode 2 at install" || fail "MouseMode 2 at install"

    # The driver may beep only where a speaker exists.
    wl_reg_add "$params" BeepMode REG_DWORD 0
    say "restarting the prefix"
    stop_prefix
    start_hold
    # The setup's run-once entry brings the calibration up at this "logon";
    # Wine's boot waits for it, so it is answered at the X level: ESC.
    local xid=
    for i in $(seq 1 60); do
        if [ "${E2E_VISIBLE:-0}" = 1 ]; then
            desk && { sleep 5; xid=$desk_xid; }
        else
            xid=$(xdotool search --onlyvisible --classname 'ovtcalib' 2>/dev/null | head -1)
        fi
        [ -n "$xid" ] && break
        sleep 0.5
    done
    if [ -n "$xid" ]; then
        pass "run-once starts ovtcalib.exe at the first logon"
        shot 1-runonce-calib
        xdotool windowfocus --sync "$xid" key Escape 2>>"$log"
    else
        fail "run-once starts ovtcalib.exe at the first logon"
    fi
    t reg-dword HKLM 'Software\Microsoft\Windows\CurrentVersion\RunOnce' OVTouch >/dev/null &&
        fail "run-once entry taken" || pass "run-once entry taken"
    if t wait-device ovtouch 30 >>"$log"; then pass "OVTouch.SYS started at boot, \\\\.\\ovtouch answers"
    else fail "OVTouch.SYS started at boot"; fi
    [ "$(wl_service_state OVTouch)" = RUNNING ] && pass "service running" || fail "service running"
    t get >>"$log"
    finish
}

# ---- step 2: the test build of the driver and OVTFake ----------------------------

step2() {
    begin 2-testdriver "test OVTouch.SYS + OVTFake in one driver process"
    if [ ! -f "$e2e_dir/OVTouch.SYS" ] || [ ! -f "$e2e_dir/OVTFake.sys" ]; then
        finish SKIP "test drivers not built in $e2e_dir"; return 1
    fi
    stop_prefix
    local drivers; drivers=$(sys32)/drivers
    mkdir -p "$drivers"
    cp "$e2e_dir/OVTouch.SYS" "$drivers/OVTouch.SYS"
    cp "$e2e_dir/OVTFake.sys" "$drivers/OVTFake.sys"
    wl_hold
    local svc='HKLM\System\CurrentControlSet\Services'
    if ! t reg-dword HKLM 'System\CurrentControlSet\Services\OVTouch' Type >/dev/null; then
        # No setup ran: the service as the setup writes it.
        say "no installed service: writing it as the setup does"
        wl_reg_add "$svc\\OVTouch" ErrorControl REG_DWORD 1
        wl_reg_add "$svc\\OVTouch" Type REG_DWORD 1
        wl_reg_add "$params" Port REG_DWORD 2
        wl_reg_add "$params" MouseMode REG_DWORD 2
        wl_reg_add "$params" ButtonMode REG_DWORD 2
        wl_reg_add "$params" XLow REG_DWORD 1
        wl_reg_add "$params" XHigh REG_DWORD 2048
        wl_reg_add "$params" YLow REG_DWORD 1
        wl_reg_add "$params" YHigh REG_DWORD 2048
    fi
    wl_reg_add "$params" BeepMode REG_DWORD 0
    # Same group: one driver process, where each finds the other's object.
    # Demand start, so the device map key exists before the driver writes.
    for s in OVTouch OVTFake; do
        wl_reg_add "$svc\\$s" Type REG_DWORD 1
        wl_reg_add "$svc\\$s" Start REG_DWORD 3
        wl_reg_add "$svc\\$s" ErrorControl REG_DWORD 1
        wl_reg_add "$svc\\$s" Group REG_SZ "OVTouch E2E"
    done
    stop_prefix
    start_hold
    t devicemap >>"$log" && pass "device map key" || fail "device map key"
    wl_driver_start OVTFake >>"$log" 2>&1
    wl_driver_start OVTouch >>"$log" 2>&1
    check "fake port device" t wait-device OVTFake 20
    check "\\\\.\\ovtouch answers" t wait-device ovtouch 20
    local dm; dm=$(t devicemap | sed -n 's/^PointerPort0=//p')
    case "$dm" in
        *[Ss]ervices\\OVTouch) pass "pointer port registered: $dm" ;;
        *) fail "pointer port registered (got '$dm')" ;;
    esac
    report < <(t connect)
    report < <(t serial '\??\COM2')
    finish
}

# ---- step 3: touches ----------------------------------------------------------

# The chosen geometry of the panel on the 1024x768 screen: raw = a + pixel * b.
raw_x() { echo $((200 + $1 * 1600 / 1024)); }
raw_y() { echo $((300 + $1 * 1400 / 768)); }

# The driver's MapAxis, for bounds read back from the registry.
map_axis() {
    local raw=$1 low=$(($2 & 0xFFFF)) high=$(($3 & 0xFFFF)) span
    span=$((high - low)); [ "$span" = 0 ] && span=2048
    if [ "$low" -lt "$raw" ] && [ "$raw" -lt "$high" ]; then echo $(((raw - low) * 65535 / span))
    elif [ "$raw" -le "$low" ]; then echo 1
    else echo 65520; fi
}

step3_touch() {
    begin 3-touch "a touch session through the serial link into the mouse class"
    if [ "$step2_ok" != 1 ]; then finish SKIP "no test driver running"; return 1; fi
    report < <(t session)
    finish
}

calib_touch() {  # calib_touch PX PY: the touch a finger makes on that pixel
    t wait-capture 102B 10000 >>"$log" || { fail "capture armed for $1,$2"; return 1; }
    t touch "$(raw_x "$1")" "$(raw_y "$2")" >>"$log"
}

step3_calib() {
    begin 3-calib "ovtcalib.exe: two targets, No once, then Yes; ESC run"
    if [ "$step2_ok" != 1 ]; then finish SKIP "no test driver running"; return 1; fi
    local exe=$(sys32)/ovtcalib.exe
    installed "$exe" ovtcalib.exe || { finish SKIP "ovtcalib.exe not built"; return 1; }
    local win=class:"OLVA TOUCH Calibration" ask; ask=title:$(gbk "确认")'*'  # the caption counts down
    local before; before=$(for v in XLow XHigh YLow YHigh XOffset YOffset; do reg_dword $v; done | tr '\n' ' ')
    t reload >/dev/null

    # ESC while target B waits: nothing changes.
    "$WL_WINE" 'C:\windows\system32\ovtcalib.exe' >/dev/null 2>>"$rundir/wine.err" &
    local pid=$!
    if wait_window "$win" 20000; then
        shot 3-calib-target-a
        calib_touch 256 192
        sleep 0.3
        shot 3-calib-target-b
        key Escape
        wait_gone "$win" 10000 && pass "ESC ends the calibration" || fail "ESC ends the calibration"
    else
        fail "calibration window"
    fi
    wait "$pid" 2>/dev/null
    local after; after=$(for v in XLow XHigh YLow YHigh XOffset YOffset; do reg_dword $v; done | tr '\n' ' ')
    [ "$before" = "$after" ] && pass "ESC leaves the registry ($after)" || fail "ESC leaves the registry: $before -> $after"
    # ...and the driver maps with what it had: the stored bounds.
    local rx ry ex ey; rx=$(raw_x 512) ry=$(raw_y 384)
    ex=$(map_axis "$rx" "$(reg_dword XLow)" "$(reg_dword XHigh)")
    ey=$(map_axis "$ry" "$(reg_dword YLow)" "$(reg_dword YHigh)")
    report < <(t touch "$rx" "$ry" "$ex" "$ey" "ESC leaves the driver's bounds")

    # The real run: A, B, No; A, B, Yes.
    "$WL_WINE" 'C:\windows\system32\ovtcalib.exe' >/dev/null 2>>"$rundir/wine.err" &
    pid=$!
    if wait_window "$win" 20000; then
        local round answer
        for round in 1 2; do
            calib_touch 256 192
            sleep 0.2
            calib_touch 768 576
            if wait_window "$ask" 10000; then
                answer=$([ $round = 1 ] && echo 7 || echo 6)
                shot "3-calib-question-$round"
                # Trial values are live while the question is open.
                report < <(t touch "$(raw_x 512)" "$(raw_y 384)" 32767 32767 "trial calibration live (round $round)")
                click "$ask" "$answer" || fail "answer $answer"
            else
                fail "question after round $round"
                break
            fi
        done
        wait_gone "$win" 10000 && pass "Yes ends the calibration" || fail "Yes ends the calibration"
    else
        fail "calibration window"
    fi
    wait "$pid" 2>/dev/null
    local want="XLow=200 XHigh=1800 YLow=300 YHigh=1700 XOffset=0 YOffset=0" got= v
    for v in XLow XHigh YLow YHigh XOffset YOffset; do got="$got $v=$(reg_dword $v)"; done
    [ "${got# }" = "$want" ] && pass "stored $want" || fail "stored:${got} (wanted $want)"
    # After a reload the driver maps with the stored values: the centre
    # pixel lands at the centre, a corner pixel at its corner.
    t reload >/dev/null
    t set-mouse-mode 0 >/dev/null
    report < <(t touch "$(raw_x 512)" "$(raw_y 384)" 32767 32767 "centre touch after calibration")
    report < <(t touch "$(raw_x 256)" "$(raw_y 192)" 16383 16383 "target A touch after calibration")
    t reload >/dev/null
    finish
}

step2_ok=0
[ "$last" -ge 1 ] && step1
[ "$last" -ge 2 ] && step2 && step2_ok=1
if [ "$last" -ge 3 ]; then step3_touch; step3_calib; fi
[ "$last" -ge 4 ] && . "$here/tool_applet_uninstall.sh"

begin 7-screenshots "a screenshot of every window driven"
shots=$(ls "$artifacts"/e2e-*.png 2>/dev/null | wc -l)
if [ "$shots" = 0 ]; then
    finish SKIP "no window was driven"
else
    for f in "$artifacts"/e2e-*.png; do
        # A blank capture has no spread of colours.
        sd=$(convert "$f" -format '%[fx:standard_deviation]' info: 2>/dev/null || echo 0)
        awk -v s="$sd" 'BEGIN{exit !(s > 0.01)}' && pass "$(basename "$f") shows something" ||
            fail "$(basename "$f") is blank"
    done
    finish
fi
cat "$results"
exit 0
