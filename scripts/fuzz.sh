#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) in build/fuzz and runs them.
#   scripts/fuzz.sh                  the bounded runs that ./test.sh makes
#   scripts/fuzz.sh --long [SECONDS] each target for SECONDS (default 600),
#                                    growing build/fuzz/corpus-<target>
#   scripts/fuzz.sh --long 60 fuzz_control   one target only
# Crashing inputs land in build/fuzz/scratch/<target>/ (bounded) or
# build/fuzz/long/<target>/ (long). To replay one: build/fuzz/<target> FILE
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ovt_need_packages clang-14 libclang-rt-14-dev cmake make

CC=clang-14 CXX=clang++-14 cmake -S tests/fuzz -B build/fuzz >/dev/null
cmake --build build/fuzz -j2 >/dev/null

if [ "${1:-}" != --long ]; then
    cd build/fuzz && exec ctest --output-on-failure
fi
seconds=${2:-600}
targets=${3:-fuzz_touch fuzz_control fuzz_params fuzz_params_kernel fuzz_binding}
for t in $targets; do
    mkdir -p "build/fuzz/corpus-$t" "build/fuzz/long/$t"
    echo "== $t for ${seconds}s"
    seeds=tests/fuzz/corpus/${t%_kernel}
    dict=()
    [ -f "tests/fuzz/$t.dict" ] && dict=(-dict="tests/fuzz/$t.dict")
    build/fuzz/$t -max_total_time="$seconds" -max_len=512 -timeout=10 -print_final_stats=1 "${dict[@]}" \
        -artifact_prefix="build/fuzz/long/$t/" "build/fuzz/corpus-$t" "$seeds" 2>&1 |
        grep -E '^#[0-9]+\s+(INITED|DONE)|ERROR|invariant|stat::' || true
    if ls "build/fuzz/long/$t"/crash-* "build/fuzz/long/$t"/leak-* "build/fuzz/long/$t"/timeout-* >/dev/null 2>&1; then
        echo "$t: failing inputs in build/fuzz/long/$t/"; exit 1
    fi
done
