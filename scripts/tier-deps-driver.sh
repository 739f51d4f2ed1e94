# Sourced by test.sh: the driver's Wine load test needs 64-bit Wine only.
if [ "${OVT_SKIP_WINE:-0}" != 1 ]; then
    ovt_need_packages wine wine64
fi
