# Sourced by test.sh: what the setup's Wine test needs on a fresh machine.
if [ "${OVT_SKIP_WINE:-0}" != 1 ]; then
    ovt_need_packages wine64 xvfb xdotool imagemagick fonts-wqy-zenhei locales python3
    # Wine takes its ANSI code page (936 for the GBK texts) from a Chinese locale.
    if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
        localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 >/dev/null 2>&1 || echo "could not generate zh_CN.UTF-8" >&2
    fi
fi
