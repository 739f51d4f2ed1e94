# Sourced by the top-level commands: installs the Debian packages a step
# needs when they are missing.
ovt_missing_packages() {
    local p missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    echo "${missing[@]:-}"
}

ovt_need_packages() {
    local missing
    missing=$(ovt_missing_packages "$@")
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        echo "missing packages; run as root:" >&2
        echo "  apt-get update && apt-get install -y $missing" >&2
        exit 1
    fi
    echo "installing: $missing"
    # shellcheck disable=SC2086
    if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing >/tmp/ovt-apt.log 2>&1; then
        apt-get update -q >/dev/null
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing >/tmp/ovt-apt.log 2>&1 ||
            { cat /tmp/ovt-apt.log >&2; echo "apt-get install failed: $missing" >&2; exit 1; }
    fi
}

OVT_BUILD_PACKAGES="cmake make g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64"
OVT_TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev python3"

# Wine takes its ANSI code page (936 for the GBK texts) from the locale:
# makes sure zh_CN.UTF-8 exists, generating it when we may.
ovt_zh_locale() {
    locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$' && return 0
    [ "$(id -u)" = 0 ] || return 1
    command -v localedef >/dev/null || return 1
    localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 >/dev/null 2>&1
    locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'
}
