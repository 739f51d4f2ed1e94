# Sourced by test.sh after the host tier: the evidence tiers. Uses test.sh's
# build and run_ctest helpers and its pass/fail totals.

# A whole-script tier that counts as one test.
run_script_tier() {
    local name=$1; shift
    local log="build/tier-$name.log"
    echo "== $name"
    if "$@" >"$log" 2>&1; then
        total_pass=$((total_pass + 1))
    else
        total_fail=$((total_fail + 1))
        failed_tiers+=("$name")
        grep -E '^(NEW|FAIL)' "$log" | head -40
    fi
    tail -1 "$log"
}

# The whole host suite again under AddressSanitizer and UBSan. Wine and the
# package checks test the Windows images, not host code: left out.
if build host-asan bash -c "cmake --preset host-asan -DOVT_WINE_TESTS=OFF >/dev/null && cmake --build build/host-asan -j2"; then
    run_ctest host-asan build/host-asan -j2 -LE '^(wine|pe)$' -E '^(wine|pe)\.'
fi

# Bounded libFuzzer runs over the committed seeds (scripts/fuzz.sh --long for more).
if build fuzz bash -c "CC=clang-14 CXX=clang++-14 cmake -S tests/fuzz -B build/fuzz >/dev/null && cmake --build build/fuzz -j2"; then
    run_ctest fuzz build/fuzz
fi

# clang-tidy and cppcheck: fails on findings not accepted in place or in
# scripts/static-baseline.txt.
run_script_tier static-analysis python3 scripts/static-analysis.py --jobs 2

# The package checks ran in the host tier (ctest label pe); their lines
# that need a look, for the record.
if [ -d dist/OVTouch ]; then
    echo "== pe (dist/OVTouch)"
    /usr/bin/python3 tests/pe/check_pe.py --dist dist/OVTouch --require-all | grep -E '^(FAIL|SKIP)|checks passed|^  '
fi

# The shipped i686 package on ReactOS under QEMU, touches through a real
# serial port (tests/reactos; OVT_SKIP_REACTOS=1 leaves it out).
if [ "${OVT_SKIP_REACTOS:-0}" != 1 ] && build reactos cmake -S tests/reactos -B build/reactos \
        -DOVT_RX_DIST="$PWD/dist/OVTouch" -DOVT_RX_AGENT="$PWD/build/win32/reactos/ovtrx.exe"; then
    run_ctest reactos build/reactos
    cat build/reactos/run/figures build/reactos/poweron/figures 2>/dev/null
fi
