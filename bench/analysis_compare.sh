#!/usr/bin/env bash
# The pulse analyzer's CPU time per sample in one or more builds (each a build directory with
# bench/analysis_bench), beside the plain-sum floor, run in turn so that all see the same
# load; prints every run (ns a sample), then min and median per build and benchmark.
#
#   bench/analysis_compare.sh BUILD [OTHER-BUILD...] [--runs N]
#
# To compare with an older commit: git worktree add /tmp/old COMMIT, configure and build its
# analysis_bench there the same way, and pass /tmp/old/build beside build.
set -euo pipefail
builds=()
runs=3
while [[ $# -gt 0 ]]; do
    case "$1" in
        --runs) runs="$2"; shift 2 ;;
        *) builds+=("$1"); shift ;;
    esac
done
results="$(mktemp)"
trap 'rm -f "$results"' EXIT
for ((r = 1; r <= runs; ++r)); do
    for b in "${builds[@]}"; do
        # The last column is the per_sample counter, in seconds.
        "$b/bench/analysis_bench" --benchmark_repetitions=3 --benchmark_format=csv 2>/dev/null |
            awk -F, -v b="$b" -v r="$r" '/^"BM_/ && !/_(mean|median|stddev|cv)"/ {
                gsub(/"/, "", $1); printf "run %d %s %s %.3f\n", r, b, $1, $NF * 1e9 }' |
            tee -a "$results"
    done
done
echo "== min / median over $runs runs of 3 repetitions, ns a sample (load: $(cut -d' ' -f1-3 /proc/loadavg))"
awk '{ print $3, $4 }' "$results" | sort -u | while read -r b name; do
    awk -v b="$b" -v n="$name" '$3 == b && $4 == n { print $5 }' "$results" | sort -g |
        awk -v b="$b" -v n="$name" '{ v[NR] = $1 }
            END { printf "%-32s %-22s min %7.3f  median %7.3f\n", b, n, v[1], v[int((NR + 1) / 2)] }'
done
