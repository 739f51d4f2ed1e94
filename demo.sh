#!/usr/bin/env bash
# Shows the package at work under 64-bit Wine: the setup wizard installs it
# (COM2, no restart), the prefix restarts with the driver, the test build of
# the driver takes touches through a stand-in serial port, and the
# calibration program is touched through. With DISPLAY set it runs in a Wine
# desktop on that display, slowly enough to watch; without, on a private
# Xvfb. Screenshots land in artifacts/e2e-*.png either way.
#   ./demo.sh            DEMO_PAUSE=SECONDS between actions (default 1)
set -uo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
ovt_need_packages $OVT_BUILD_PACKAGES
. scripts/tier-deps-wine.sh
./package.sh win64 >/tmp/ovt-demo-build.log 2>&1 || { tail -20 /tmp/ovt-demo-build.log; exit 1; }
if [ -n "${DISPLAY:-}" ]; then
    export E2E_VISIBLE=1 E2E_PAUSE=${DEMO_PAUSE:-1}
    echo "running in a Wine desktop on $DISPLAY"
else
    echo "no DISPLAY: headless, see the screenshots afterwards"
fi
bash tests/wine/e2e/e2e.sh run build/win64 dist/OVTouch-win64 build/demo 3
echo "screenshots:"
ls artifacts/e2e-*.png 2>/dev/null | sed 's/^/  /'
