#!/usr/bin/env bash
# Builds Sphyra and runs every test: the unit, widget and end-to-end tests under
# ctest, the acquisition tests again under ASan/UBSan, the frame fuzzer, and a
# check that the sources are formatted.
# Usage: ./test.sh [--quick]   (--quick skips all but the build and ctest)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scripts/setup.sh"

quick=0
[ "${1:-}" = "--quick" ] && quick=1

sphyra_install_packages
sphyra_configure_and_build

if [ "$quick" -eq 0 ]; then
    echo "== source formatting"
    (cd "$SPHYRA_ROOT" && find acquisition analysis serial ui tools tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 |
        xargs -0 clang-format --dry-run --Werror)
    echo "== acquisition tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    "$SPHYRA_ROOT/scripts/sanitize_acquisition.sh" "$SPHYRA_ROOT/build-sanitize"
    echo "== fuzzing the frame parser for ${SPHYRA_FUZZ_SECONDS:-60} s"
    "$SPHYRA_ROOT/fuzz/run_fuzz.sh" "$SPHYRA_ROOT/build-fuzz" "${SPHYRA_FUZZ_SECONDS:-60}"
fi

echo "== ctest"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$SPHYRA_BUILD" --output-on-failure -j"$(nproc)" --timeout 300
