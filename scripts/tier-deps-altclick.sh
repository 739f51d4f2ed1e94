# Sourced by test.sh: the right-button tool's Wine tier drives its window on
# Xvfb with xdotool and reads screenshots; its titles are GBK, so Wine runs
# it under zh_CN.UTF-8.
if [ "${OVT_SKIP_WINE:-0}" != 1 ]; then
    ovt_need_packages wine64 xvfb xdotool imagemagick fonts-wqy-zenhei locales
    if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
        if [ "$(id -u)" = 0 ]; then
            grep -qx 'zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'zh_CN.UTF-8 UTF-8' >>/etc/locale.gen
            locale-gen >/dev/null 2>&1 || echo "locale-gen failed" >&2
        else
            echo "locale zh_CN.UTF-8 missing; as root: locale-gen zh_CN.UTF-8" >&2
        fi
    fi
fi
