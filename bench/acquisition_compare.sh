#!/usr/bin/env bash
# Parser and frame application throughput of one or two builds, beside memcpy, run in turn
# so that both see the same load; prints every run (GB/s per CPU second, as acquisition_bench
# reports it, then per wall-clock second), then min and median of the first.
#
#   bench/acquisition_compare.sh BUILD [OTHER-BUILD] [--runs N]
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
        "$b/bench/acquisition_bench" --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null |
            awk -F, -v b="$b" -v r="$r" '/^"BM_/ { gsub(/"/, "", $1); printf "run %d %s %s %.3f %.3f\n", r, b, $1, $6 / 1e9, $6 * $4 / $3 / 1e9 }' |
            tee -a "$results"
    done
done
echo "== min / median over $runs runs, GB/s (load: $(cut -d' ' -f1-3 /proc/loadavg))"
awk '{ print $3, $4 }' "$results" | sort -u | while read -r b name; do
    awk -v b="$b" -v n="$name" '$3 == b && $4 == n { print $5 }' "$results" | sort -g |
        awk -v b="$b" -v n="$name" '{ v[NR] = $1 }
            END { printf "%-40s %-40s min %7.2f  median %7.2f\n", b, n, v[1], v[int((NR + 1) / 2)] }'
done
