#!/usr/bin/env bash
# Builds the acquisition fuzzer with clang and runs it for a while.
# Usage: fuzz/run_fuzz.sh [build-dir] [seconds]    (defaults: build-fuzz, 60)
# Exits non-zero when the fuzzer finds a crash; the input is left in the build dir.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$repo/build-fuzz}"
seconds="${2:-60}"

CXX=clang++ cmake -S "$repo" -B "$build" \
    -DSPHYRA_FUZZ=ON -DSPHYRA_BUILD_UI=OFF -DSPHYRA_BUILD_TESTS=OFF -DSPHYRA_BUILD_BENCH=OFF \
    -DSPHYRA_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target fuzz_acquisition -j2

# Seeds: options byte, batch-size count byte, batch sizes, then the stream.
seeds="$build/fuzz-seeds"
corpus="$build/fuzz-corpus"
mkdir -p "$seeds" "$corpus"
frame='\xF0\xC0\x05\x0A\x5A\x00\x02\x10\x20\x4B'
other='\xF0\xC0\x00\x01\x02\x03\x01\x7F\x36'
# Whole frames in ten-byte batches.
printf '\x00\x00\x09'"$frame$other$frame" >"$seeds/frames"
# One byte per batch, filter on, with garbage and a lone sync byte in front.
printf '\x03\x00\x00\x11\xF0\x22'"$frame$other" >"$seeds/bytewise_filtered"
# A sync pair with an over-long length hiding a frame, then a bad checksum.
printf '\x00\x01\x03\x40\xF0\xC0'"$frame"'\x00\x00\x00\xF0\xC0\x05\x0A\x5A\x00\x00\x00' \
    >"$seeds/overlong_badsum"
# Large batches that overflow the ring, clock at the wrap, operator selects and purges.
printf '\x3C\x01\x80\x00'"$other$frame$other$frame" >"$seeds/overflow_operator"
# Zeros up to just before the end of the ring's storage, so the frames lie across it.
{ printf '\x04\x00\x10'; head -c 2043 /dev/zero; printf "$frame$other$frame"; } >"$seeds/straddle"

# fuzz/regressions holds inputs that once found a fault; every run starts by replaying them.
"$build/fuzz/fuzz_acquisition" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/" "$corpus" "$seeds" "$repo/fuzz/regressions"
