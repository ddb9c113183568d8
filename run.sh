#!/usr/bin/env bash
# Builds Sphyra if needed and starts it. With no USB or ACM serial adapter
# attached it starts with the built-in sensor simulator (--demo).
# Usage: ./run.sh [sphyra options]   e.g. ./run.sh --demo, ./run.sh --help
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scripts/setup.sh"

sphyra_install_packages
sphyra_configure_and_build

args=("$@")
if [ "${#args[@]}" -eq 0 ] && ! compgen -G "/dev/ttyUSB*" >/dev/null && ! compgen -G "/dev/ttyACM*" >/dev/null; then
    echo "No serial adapter found: starting with the built-in sensor simulator."
    args=(--demo)
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    case " ${args[*]} " in
        *" --help "* | *" -h "* | *" --version "* | *" -v "*) ;;
        *)
            echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset). Start Sphyra from a" >&2
            echo "desktop session, or under a virtual one: xvfb-run -a ./run.sh" >&2
            exit 1
            ;;
    esac
fi
exec "$SPHYRA_BUILD/ui/sphyra" "${args[@]}"
