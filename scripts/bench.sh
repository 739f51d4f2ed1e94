#!/usr/bin/env bash
# Benchmarks of the touch core and the dispatcher, and callgrind's count of
# instructions per byte and per packet on fixed 1 MiB streams, beside a
# minimal reference decoder. Writes build/bench/report.md and prints it. Not
# part of ./test.sh's verdict.
#   scripts/bench.sh            everything
#   scripts/bench.sh --callgrind-only
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ovt_need_packages cmake make g++ libbenchmark-dev libgtest-dev libgmock-dev valgrind python3

out=build/bench
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVT_WINE_TESTS=OFF >/dev/null
cmake --build "$out" --target ovt_stream ovt_bench -j2 >/dev/null
bin="$out/tests/bench"

if [ "${1:-}" != --callgrind-only ]; then
    "$bin/ovt_bench" --benchmark_min_time="${OVT_BENCH_MIN_TIME:-0.3}" | tee "$out/benchmark.txt"
fi

# The core in every mouse mode, with the settings lock taken per packet, then
# the minimal reference decoder on the same streams with the same harness
# (tests/bench/reference_decoder.cpp).
runs=("noise 0" "packets 0" "mixed 0" "packets 1" "packets 2" "packets 3" "packets 0 lock" "mixed 0 lock"
      "noise reference" "packets reference" "mixed reference")
: >"$out/callgrind.txt"
for run in "${runs[@]}"; do
    set -- $run
    file="$out/callgrind.$1.$2${3:+.$3}.out"
    feed=ovt_bench_feed
    [ "$2" = reference ] && feed=ovt_bench_reference_feed
    counts=$(valgrind --tool=callgrind --toggle-collect=$feed --callgrind-out-file="$file" \
        "$bin/ovt_stream" "$@" 2>/dev/null)
    total=$(sed -n 's/^totals: *//p' "$file")
    process=$(callgrind_annotate --inclusive=yes "$file" 2>/dev/null |
        awk '/PacketEnd/ && !done { gsub(",", "", $1); print ($1 ~ /^[0-9]+$/) ? $1 : 0; done = 1 }')
    echo "$1 $2${3:++$3} $total ${process:-0} $counts" >>"$out/callgrind.txt"
done

/usr/bin/python3 - "$out" <<'PY'
import os, sys
out = sys.argv[1]
core, ref = [], {}
for line in open(os.path.join(out, "callgrind.txt")):
    f = line.split()
    kind, mode, total, process = f[0], f[1], int(f[2]), int(f[3])
    info = dict(zip(f[4::2], map(int, f[5::2])))
    if mode == "reference":
        if info["records"] != info["packets"]:
            sys.exit(f"reference decoder: {info['records']} records for {info['packets']} packets ({kind})")
        ref[kind] = total / info["bytes"]
    else:
        core.append((kind, mode, total, process, info))
lines = ["# Touch core figures", "",
         "Instructions (callgrind Ir) inside the byte loop for one fixed 1 MiB stream",
         "(`scripts/bench.sh`), one call per completed one-byte read; the reference is",
         "the minimal decoder of tests/bench/reference_decoder.cpp on the same stream.",
         "Per packet counts the packet's ten bytes; \"tenth byte\" only the tenth byte's",
         "checksum test and the packet processing behind it.", "",
         "| stream | MouseMode | packets | Ir per byte | reference | core / reference | Ir per packet | tenth byte |",
         "|---|---|---|---|---|---|---|---|"]
worst = 0.0
for kind, mode, total, process, info in core:
    packets = info.get("packets", 0)
    per_byte = total / info["bytes"]
    per_packet = f"{total / packets:.1f}" if packets else "-"
    per_proc = f"{process / packets:.1f}" if packets else "-"
    r = ref.get(kind) if mode == "0" else None
    ratio = f"{per_byte / r:.2f}" if r else "-"
    if r:
        worst = max(worst, per_byte / r)
    lines.append(f"| {kind} | {mode.replace('+', ', ')} | {packets} | {per_byte:.2f} | {f'{r:.2f}' if r else '-'} | {ratio} "
                 f"| {per_packet} | {per_proc} |")
lines += ["", f"Largest core / reference ratio: {worst:.2f}."]
bench = os.path.join(out, "benchmark.txt")
if os.path.exists(bench):
    lines += ["", "Google Benchmark (this machine, wall time per item):", "", "```"]
    lines += [l.rstrip() for l in open(bench) if l.startswith(("BM_", "Benchmark", "---"))]
    lines += ["```"]
open(os.path.join(out, "report.md"), "w").write("\n".join(lines) + "\n")
print("\n".join(lines))
PY
echo "report: $out/report.md"
