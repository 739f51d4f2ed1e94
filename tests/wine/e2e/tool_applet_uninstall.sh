# Steps 4 to 6 of the end-to-end tier: the right-button tool, the applet and
# the uninstaller. Sourced by e2e.sh, in its prefix, with the test driver
# running; uses e2e.sh's helpers.

drv_get() { t get | sed -n "s/^$1=//p"; }
title_hex() { t window "$1" | sed -n 's/^title=//p'; }
wait_value() {  # wait_value NAME WANT SECONDS: the driver's setting reaches WANT
    local i
    for i in $(seq 1 $(($3 * 4))); do [ "$(drv_get "$1")" = "$2" ] && return 0; sleep 0.25; done
    return 1
}

# ---- step 4: altclick.exe ---------------------------------------------------------

step4() {
    begin 4-altclick "altclick.exe: click it, touch, back to the left button"
    if [ "$step2_ok" != 1 ]; then finish SKIP "no test driver running"; return 1; fi
    local exe=$prefix/drive_c/windows/OVTouch/altclick.exe
    installed "$exe" altclick.exe || { finish SKIP "altclick.exe not built"; return 1; }
    local win='class:OLVATOUCH ALTCLICK' left right
    left=$(gbk "左键") right=$(gbk "右键")
    t reload >/dev/null
    "$WL_WINE" 'C:\windows\OVTouch\altclick.exe' >/dev/null 2>>"$rundir/wine.err" &
    local pid=$!
    if ! wait_window "$win" 20000; then fail "tool window"; finish; return 1; fi
    sleep 0.5
    [ "$(title_hex "$win")" = "$left" ] && pass "title 左键 at start" || fail "title 左键 at start"
    shot 4-altclick-left
    # A left click on the picture.
    local out x y w h; out=$(t window "$win")
    x=$(sed -n 's/^x=//p' <<<"$out") y=$(sed -n 's/^y=//p' <<<"$out")
    w=$(sed -n 's/^w=//p' <<<"$out") h=$(sed -n 's/^h=//p' <<<"$out")
    click_at $((x + w / 2)) $((y + h - 16))
    wait_value ButtonMode 1 5 && pass "ButtonMode 1 after the click" || fail "ButtonMode 1 after the click"
    sleep 0.3
    [ "$(title_hex "$win")" = "$right" ] && pass "title 右键" || fail "title 右键"
    shot 4-altclick-right
    # The next touch anywhere is a right-button one; its lift-off ends it.
    t wait-capture 102B 5000 >>"$log" || fail "capture armed by the tool"
    local rx ry ex ey; rx=$(raw_x 700) ry=$(raw_y 600)
    ex=$(map_axis "$rx" "$(reg_dword XLow)" "$(reg_dword XHigh)")
    ey=$(map_axis "$ry" "$(reg_dword YLow)" "$(reg_dword YHigh)")
    report < <(t touch "$rx" "$ry" "$ex" "$ey" "touch delivered with the right button" 0xC)
    wait_value ButtonMode 0 5 && pass "ButtonMode back to 0 after the lift-off" ||
        fail "ButtonMode back to 0 after the lift-off"
    sleep 0.3
    [ "$(title_hex "$win")" = "$left" ] && pass "title back to 左键" || fail "title back to 左键"
    shot 4-altclick-back-left
    report < <(t touch "$rx" "$ry" "$ex" "$ey" "next touch is a left one again" 0x3)
    # A second copy ends at once and leaves the first alone.
    if timeout 30 "$WL_WINE" 'C:\windows\OVTouch\altclick.exe' >/dev/null 2>>"$rundir/wine.err"; then
        pass "second copy exits"
    else
        fail "second copy exits (rc $?)"
    fi
    [ "$(t window "$win" | sed -n 's/^count=//p')" = 1 ] && pass "one tool window" || fail "one tool window"
    # Ending it: a double-click on its title bar.
    xdotool mousemove --sync $((x + w / 2)) $((y + 6)) click --repeat 2 --delay 80 1
    wait_gone "$win" 10000 && pass "title-bar double-click ends it" || fail "title-bar double-click ends it"
    wait "$pid" 2>/dev/null
    finish
}

# ---- step 5: the applet through the control panel runner --------------------------

# Wine 8's own runner (control.exe NAME.cpl) asks CPL_STARTWPARMSW before
# CPL_DBLCLK, which this applet answers as handled without a dialog; the
# applet tier's host talks to the library the way the Windows 2000 Control
# Panel does.
cplhost=$build64/tests/cplhost.exe

applet_open() {
    "$WL_WINE" 'C:\e2e\cplhost.exe' 'C:\windows\system32\ovtouch.cpl' >>"$log" 2>>"$rundir/wine.err" &
    applet_pid=$!
    wait_window "$sheet" 20000
}

next_page() {  # back to the tab strip with Shift+Tab, then one tab right
    local i
    if [ "${tabs_focused:-0}" = 0 ]; then
        locate "$sheet" 12320 || return 1
        if [ "${tabs_clicked:-0}" = 0 ]; then
            # Page 1 is selected at the start: a click on its tab only focuses.
            local out x y; out=$(t window "$sheet" 12320)
            x=$(sed -n 's/^x=//p' <<<"$out") y=$(sed -n 's/^y=//p' <<<"$out")
            click_at $((x + 12)) $((y + 8))
            tabs_clicked=1
        fi
        for i in 1 2 3 4 5 6 7 8; do
            [ "$(t focus "$sheet")" = 12320 ] && break
            key shift+Tab
        done
        tabs_focused=1
    fi
    key Right
    sleep 0.4
}

slider_right() {  # slider_right ID: a click right of the thumb, one page up
    local out x y w h; out=$(t window "$sheet" "$1") || return 1
    x=$(sed -n 's/^x=//p' <<<"$out") y=$(sed -n 's/^y=//p' <<<"$out")
    w=$(sed -n 's/^w=//p' <<<"$out") h=$(sed -n 's/^h=//p' <<<"$out")
    click_at $((x + w * 2 / 3)) $((y + h / 2))
    tabs_focused=0
}

combo_pick() {  # combo_pick ID KEY: open the list, move, take it
    click "$sheet" "$1" || return 1
    sleep 0.3
    key "$2"
    key Return
    tabs_focused=0
}

label() { text_of "$sheet" "$1"; }
user_mouse() { t reg-dword HKCU 'Control Panel\Mouse' "$1"; }

step5() {
    begin 5-applet "ovtouch.cpl through control.exe: every page, OK; Cancel"
    if [ "$step2_ok" != 1 ]; then finish SKIP "no test driver running"; return 1; fi
    local cpl=$(sys32)/ovtouch.cpl
    installed "$cpl" ovtouch.cpl || { finish SKIP "ovtouch.cpl not built"; return 1; }
    if [ ! -f "$cplhost" ]; then finish SKIP "no Control Panel host ($cplhost)"; return 1; fi
    cp "$cplhost" "$prefix/drive_c/e2e/cplhost.exe"
    sheet=title:$(gbk "OlvaTouch控制面板设置程序")
    t reload >/dev/null
    # A switch only in the driver's memory, which the reload must undo.
    t set-button-mode 1 >/dev/null
    local mm0; mm0=$(reg_dword MouseMode)

    if ! applet_open; then fail "settings dialog"; finish; return 1; fi
    tabs_focused=0 tabs_clicked=0
    shot 5-applet-page1
    next_page; shot 5-applet-page2
    # Sound: moment 0 -> 1 and both sliders one page up.
    combo_pick 4006 Down
    slider_right 4003
    slider_right 4004
    local freq time bmode; freq=$(label 4011) time=$(label 4012)
    bmode=$(msg "$sheet" 4006 0x147)
    shot 5-applet-sound-changed
    next_page; shot 5-applet-page3
    local mmode area speed
    combo_pick 4008 Up
    slider_right 4003
    slider_right 4004
    mmode=$(msg "$sheet" 4008 0x147) area=$(label 4016) speed=$(label 4017)
    shot 5-applet-mouse-changed
    next_page; shot 5-applet-page4
    combo_pick 4010 Up
    local port; port=$(( $(msg "$sheet" 4010 0x147) + 1 ))
    next_page; shot 5-applet-page5
    say "pages: beep $bmode $freq Hz $time ms; mouse $mmode area $area speed $speed; port $port"
    click "$sheet" 1 || fail "OK"
    wait_gone "$sheet" 10000 && pass "OK closes" || fail "OK closes"
    wait "$applet_pid" 2>/dev/null

    local v want
    for v in "BeepMode $bmode" "BeepFreq $freq" "BeepTime $time" "MouseMode $mmode" "Port $port" "ButtonMode 0"; do
        want=${v#* }
        [ -n "$want" ] && [ "$(reg_dword "${v% *}")" = "$want" ] && pass "stored ${v% *} $want" ||
            fail "stored ${v% *}: $(reg_dword "${v% *}") (wanted $want)"
    done
    [ "$bmode" != 0 ] && [ "$mmode" != "$mm0" ] && pass "values really changed" || fail "values really changed"
    for v in "DoubleClickHeight $area" "DoubleClickWidth $area" "DoubleClickSpeed $speed"; do
        [ "$(user_mouse "${v% *}")" = "${v#* }" ] && pass "user ${v% *} ${v#* }" ||
            fail "user ${v% *}: $(user_mouse "${v% *}") (wanted ${v#* })"
    done
    # The driver reloaded: its answers follow the registry.
    [ "$(drv_get ButtonMode)" = 0 ] && pass "driver ButtonMode 0 after OK" || fail "driver ButtonMode after OK"
    [ "$(drv_get MouseMode)" = "$mmode" ] && pass "driver MouseMode $mmode" || fail "driver MouseMode $(drv_get MouseMode)"
    [ "$(drv_get BeepMode) $(drv_get BeepFreq) $(drv_get BeepTime)" = "$bmode $freq $time" ] &&
        pass "driver beep $bmode $freq $time" || fail "driver beep $(drv_get BeepMode) $(drv_get BeepFreq) $(drv_get BeepTime)"
    # No beeps in Wine: the speaker call would end the driver's process.
    wl_reg_add "$params" BeepMode REG_DWORD 0
    t set-beep 0 "$freq" "$time" >/dev/null

    # Cancel: nothing stored, the driver still reloads.
    local snap; snap=$(for v in BeepMode BeepFreq BeepTime MouseMode Port ButtonMode; do reg_dword $v; done
                       for v in DoubleClickHeight DoubleClickWidth DoubleClickSpeed; do user_mouse $v; done)
    t set-mouse-mode 7 >/dev/null
    if applet_open; then
        tabs_focused=0 tabs_clicked=0
        next_page; next_page
        combo_pick 4008 Down
        slider_right 4003
        shot 5-applet-cancel
        click "$sheet" 2 || fail "Cancel"
        wait_gone "$sheet" 10000 && pass "Cancel closes" || fail "Cancel closes"
        wait "$applet_pid" 2>/dev/null
    else
        fail "settings dialog (Cancel run)"
    fi
    local after; after=$(for v in BeepMode BeepFreq BeepTime MouseMode Port ButtonMode; do reg_dword $v; done
                         for v in DoubleClickHeight DoubleClickWidth DoubleClickSpeed; do user_mouse $v; done)
    [ "$snap" = "$after" ] && pass "Cancel changes nothing" || fail "Cancel changed: $(echo $snap) -> $(echo $after)"
    [ "$(drv_get MouseMode)" = "$(reg_dword MouseMode)" ] && pass "driver reloaded after Cancel" ||
        fail "driver reloaded after Cancel (MouseMode $(drv_get MouseMode))"
    finish
}

# ---- step 6: uninst.exe --------------------------------------------------------

step6() {
    begin 6-uninst "uninst.exe and what it leaves"
    local exe=$prefix/drive_c/windows/OVTouch/uninst.exe
    if [ ! -f "$exe" ]; then finish SKIP "uninst.exe not installed (no setup ran)"; return 1; fi
    local box; box=title:$(gbk "OlvaTouch卸载程序")
    "$WL_WINE" 'C:\windows\OVTouch\uninst.exe' >/dev/null 2>>"$rundir/wine.err" &
    local pid=$!
    if wait_window "$box" 20000; then
        shot 6-uninst-confirm
        click "$box" 6 || fail "Yes"
        sleep 1
        if wait_window "$box" 20000; then
            shot 6-uninst-done
            click "$box" 2 || click "$box" 1 || fail "OK"
        else
            fail "closing message"
        fi
    else
        fail "confirmation"
    fi
    wait_gone "$box" 10000
    wait "$pid" 2>/dev/null
    local d=$prefix/drive_c/windows f
    # Files in use (the running driver, the uninstaller itself) go at the
    # restart the uninstaller asks for.
    say "restarting the prefix"
    stop_prefix
    timeout 120 "$WL_WINE" wineboot -r >/dev/null 2>>"$rundir/wine.err"
    start_hold
    for f in system32/ovtcalib.exe system32/ovtouch.cpl OVTouch/altclick.exe OVTouch/readme.txt \
             OVTouch/uninst.exe system32/drivers/OVTouch.SYS; do
        [ ! -e "$d/$f" ] && pass "removed $f" || fail "left $f"
    done
    [ ! -e "$d/OVTouch" ] && pass "removed the package folder" || fail "left the package folder"
    [ "$(wl_service_state OVTouch)" != RUNNING ] && pass "driver no longer started" || fail "driver still started"
    t reg-dword HKLM 'System\CurrentControlSet\Services\OVTouch' Type >/dev/null &&
        fail "service key left" || pass "service key removed"
    t reg-dword HKLM 'System\CurrentControlSet\Services\OVTouch\Parameters' Port >/dev/null &&
        fail "Parameters left" || pass "Parameters removed"
    local links; links=$(find "$prefix/drive_c/users" -ipath '*OVTouch*.lnk' 2>/dev/null | wc -l)
    [ "$links" = 0 ] && pass "shortcuts removed" || fail "$links shortcuts left"
    finish
}

step4
step5
step6
