#!/usr/bin/env bash
# Start-up time, exec to the first window on screen, for sphyra and for a bare Qt window built
# the same way, side by side under a private Xvfb with openbox.
#
#   bench/startup_bench.sh [--display :N] [--runs N] [--build DIR] [-- LABEL=COMMAND ...]
#
# Programs after "--" run in the same rounds (e.g. another build of sphyra, to compare);
# "@NAMED@" and "@DEFAULT@" in their commands stand for the two settings files below.
# sphyra runs twice over: with a settings file that names its device ("named"), and with one
# that does not ("default"). Needs xvfb and openbox.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
display=":42"
runs=7
build="$root/build"
while [ $# -gt 0 ]; do
    case "$1" in
        --display) display="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        --build) build="$2"; shift 2 ;;
        --) shift; break ;;
        *) echo "usage: $0 [--display :N] [--runs N] [--build DIR] [-- LABEL=COMMAND ...]" >&2; exit 2 ;;
    esac
done

work="$(mktemp -d)"
xvfb_pid=""
wm_pid=""
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    DISPLAY="$display" xdpyinfo >/dev/null 2>&1 && break
    sleep 0.05
done
DISPLAY="$display" openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 0.5

printf '[Main]\nCommPort=1\nCommBaud=115200\n[Ports]\nCOM1=/dev/null\n' >"$work/named.ini"
printf '[Main]\nCommPort=1\nCommBaud=115200\n' >"$work/default.ini"

extra=()
for program in "$@"; do
    program="${program//@NAMED@/$work/named.ini}"
    extra+=("${program//@DEFAULT@/$work/default.ini}")
done

export DISPLAY="$display"
unset QT_QPA_PLATFORM
"$build/bench/startup_bench" --runs "$runs" \
    "bare-qt=$build/bench/bare_qt_window" \
    "sphyra-named=$build/ui/sphyra --settings $work/named.ini" \
    "sphyra-default=$build/ui/sphyra --settings $work/default.ini" \
    "${extra[@]}"
