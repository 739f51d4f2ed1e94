#!/usr/bin/env bash
# Builds everything and runs every test tier; prints "N passed, N failed".
#   OVT_SKIP_WINE=1 ./test.sh   leaves out the Wine tiers (quick local runs)
set -uo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
ovt_need_packages $OVT_BUILD_PACKAGES $OVT_TEST_PACKAGES
for tier in scripts/tier-deps-*.sh; do [ -f "$tier" ] && . "$tier"; done

total_pass=0
total_fail=0
failed_tiers=()

# Runs ctest in a build tree and adds its counts.
run_ctest() {
    local name=$1 dir=$2; shift 2
    local log="$dir/ctest-$name.log"
    echo "== $name"
    (cd "$dir" && ctest --output-on-failure "$@") >"$log" 2>&1
    local rc=$?
    grep -E "tests passed, [0-9]+ tests? failed out of|\*\*\*|\(Failed\)|No tests were found" "$log" | tail -40
    local line pass fail all
    line=$(grep -E "tests passed, [0-9]+ tests? failed out of [0-9]+" "$log" | tail -1)
    if [ -n "$line" ]; then
        fail=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        all=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
        pass=$((all - fail))
    else
        pass=0; fail=1
    fi
    total_pass=$((total_pass + pass))
    total_fail=$((total_fail + fail))
    if [ "$rc" != 0 ] || [ "$fail" != 0 ]; then
        failed_tiers+=("$name")
        [ "$fail" = 0 ] && total_fail=$((total_fail + 1))
    fi
}

build() {
    local name=$1; shift
    echo "== build $name"
    if ! "$@" >"/tmp/ovt-build-$name.log" 2>&1; then
        tail -40 "/tmp/ovt-build-$name.log"
        echo "build $name failed"
        total_fail=$((total_fail + 1))
        failed_tiers+=("build-$name")
        return 1
    fi
}

# Windows builds first: the host tree's PE and Wine tiers test them.
build package-win32 ./package.sh win32
build package-win64 ./package.sh win64

wine_flag=ON
[ "${OVT_SKIP_WINE:-0}" = 1 ] && wine_flag=OFF
if build host bash -c "cmake --preset host -DOVT_WINE_TESTS=$wine_flag && cmake --build build/host -j$(nproc)"; then
    run_ctest host build/host -j"$(nproc)"
fi
if [ -f scripts/tier-extra.sh ]; then . scripts/tier-extra.sh; fi

echo
if [ ${#failed_tiers[@]} -gt 0 ]; then echo "failing: ${failed_tiers[*]}"; fi
echo "$total_pass passed, $total_fail failed"
[ "$total_fail" = 0 ]
