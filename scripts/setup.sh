#!/usr/bin/env bash
# Installs the Debian packages Sphyra needs (only those missing), then configures
# and builds the project into build/. Sourced by run.sh and test.sh.
set -euo pipefail

SPHYRA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SPHYRA_BUILD="${SPHYRA_BUILD:-$SPHYRA_ROOT/build}"

# Everything the build, the tests, the fuzzer and the program use; nothing more.
SPHYRA_PACKAGES=(
    g++ make cmake
    clang libclang-rt-14-dev clang-format
    qt6-base-dev qt6-serialport-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-wqy-microhei
    xvfb openbox x11-utils
    qt6-l10n-tools qt6-translations-l10n
    libedf-dev python3-mne
)

sphyra_as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

sphyra_install_packages() {
    local missing=()
    for pkg in "${SPHYRA_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing missing packages: ${missing[*]}"
        sphyra_as_root apt-get update
        sphyra_as_root env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}

sphyra_configure_and_build() {
    local werror=OFF
    [ "${CI:-}" = "true" ] && werror=ON
    cmake -S "$SPHYRA_ROOT" -B "$SPHYRA_BUILD" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPHYRA_WERROR="$werror" "$@"
    cmake --build "$SPHYRA_BUILD" -j"$(nproc)"
}
