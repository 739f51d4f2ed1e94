#!/usr/bin/env bash
# Loads the x86-64 OVTouch.SYS into a fresh Wine prefix as a kernel service
# and checks the control device's answers with ovtprobe.exe.
#   run.sh WIN64_BUILD_DIR WORK_DIR
# Exit 77 when Wine is not installed. The driver is never unloaded here and
# never asked to beep: the speaker routines end the Wine process.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?win64 build dir}
work=${2:?work dir}
sys=$build/out/OVTouch.SYS
probe=$build/tests/ovtprobe.exe

. "$here/../winelib.sh"
if [ -z "$WL_WINE" ] || [ ! -x "$WL_WINE" ]; then echo "wine64 not installed"; exit 77; fi
for f in "$sys" "$probe"; do
    [ -f "$f" ] || { echo "missing $f (run ./package.sh win64)"; exit 1; }
done

mkdir -p "$work"
trap wl_cleanup EXIT
wl_init "$work/prefix" || exit 1

params='HKLM\System\CurrentControlSet\Services\OVTouch\Parameters'
wl_reg_add "$params" BeepMode REG_DWORD 0
wl_reg_add "$params" BeepFreq REG_DWORD 3000
wl_reg_add "$params" BeepTime REG_DWORD 20
wl_reg_add "$params" MouseMode REG_DWORD 4
wl_reg_add "$params" ButtonMode REG_SZ 1
wl_reg_add "$params" XPropt REG_DWORD 5
wl_reg_add "$params" Port REG_DWORD 9

fail=0
wl_driver_install OVTouch "$sys" || { echo "FAIL sc create"; exit 1; }
out=$(wl_driver_start OVTouch); rc=$?
echo "net start: rc=$rc $out"
state=$(wl_service_state OVTouch)
echo "service state: $state"
[ "$state" = RUNNING ] || { echo "FAIL driver not running"; exit 1; }

# The mouse class driver looks for the port here.
value=$(wl_reg_query 'HKLM\HARDWARE\DEVICEMAP\PointerPort' '\Device\PointerPort0')
echo "device map: $value"
case "$value" in
    *'\Services\OVTouch'|*'\SERVICES\OVTOUCH'|*'\services\OVTouch') echo "ok   device map value" ;;
    *) echo "FAIL device map value"; fail=1 ;;
esac

# Some seconds of port-open retries (COM9 does not exist) must not hurt.
sleep 3
WL_TIMEOUT=60 wl_run "$probe" controls | tr -d '\r'
probe_rc=${PIPESTATUS[0]}
[ "$probe_rc" = 0 ] || { echo "FAIL probe: $probe_rc"; fail=1; }

state=$(wl_service_state OVTouch)
[ "$state" = RUNNING ] || { echo "FAIL driver gone after the probe: $state"; fail=1; }
exit $fail
