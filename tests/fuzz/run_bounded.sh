#!/usr/bin/env bash
# One bounded libFuzzer run: TARGET CORPUS SCRATCH RUNS SECONDS [FLAG...].
# Replays the committed seeds, then mutates for RUNS runs or SECONDS,
# whichever ends first. A crash leaves its input in SCRATCH.
set -euo pipefail
target=$1 corpus=$2 scratch=$3 runs=$4 seconds=$5
shift 5
rm -rf "$scratch"
mkdir -p "$scratch/new"
cd "$scratch"
exec "$target" -runs="$runs" -max_total_time="$seconds" -max_len=512 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$scratch/" "$@" "$scratch/new" "$corpus"
