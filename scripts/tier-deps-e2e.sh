# Sourced by test.sh: the end-to-end Wine tier drives the real programs on
# Xvfb with xdotool, keeps ImageMagick screenshots, and runs Wine under
# zh_CN.UTF-8 so the GBK texts show (code page 936) in a CJK font.
if [ "${OVT_SKIP_WINE:-0}" != 1 ]; then
    ovt_need_packages wine64 xvfb xdotool imagemagick fonts-wqy-zenhei locales xxd
    if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
        if [ "$(id -u)" = 0 ]; then
            localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 >/dev/null 2>&1 ||
                echo "could not generate the zh_CN.UTF-8 locale" >&2
        else
            echo "locale zh_CN.UTF-8 missing; as root: localedef -i zh_CN -f UTF-8 zh_CN.UTF-8" >&2
        fi
    fi
fi
