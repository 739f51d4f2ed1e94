# Sourced: makes sure the zh_CN.UTF-8 locale exists (Wine's ANSI code page
# 936 follows it), generating it when we may.
ovt_zh_locale() {
    locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$' && return 0
    [ "$(id -u)" = 0 ] || return 1
    command -v localedef >/dev/null || return 1
    localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 >/dev/null 2>&1
    locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'
}
