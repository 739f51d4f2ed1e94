# Sourced by test.sh: the Wine tiers run the x86-64 build on Xvfb, drive it
# with xdotool, keep ImageMagick screenshots, and run Wine under zh_CN.UTF-8
# so the narrow GBK texts (code page 936) show in a CJK font.
ovt_need_packages python3-pefile
if [ "${OVT_SKIP_WINE:-0}" != 1 ]; then
    ovt_need_packages wine wine64 xvfb xdotool imagemagick fonts-wqy-zenhei locales xxd python3
    ovt_zh_locale ||
        echo "locale zh_CN.UTF-8 missing; as root: localedef -i zh_CN -f UTF-8 zh_CN.UTF-8" >&2
fi
