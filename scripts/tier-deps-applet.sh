# Sourced by test.sh: the applet's PE check reads the library with pefile;
# its Wine tier drives the dialog on Xvfb with xdotool, finds the icon in
# screenshots, and runs Wine under zh_CN.UTF-8 for code page 936.
ovt_need_packages python3-pefile
if [ "${OVT_SKIP_WINE:-0}" != 1 ]; then
    ovt_need_packages wine64 xvfb xdotool imagemagick fonts-wqy-zenhei locales
    . applet/wine/zh_locale.sh
    ovt_zh_locale || echo "locale zh_CN.UTF-8 missing; as root: localedef -i zh_CN -f UTF-8 zh_CN.UTF-8" >&2
fi
