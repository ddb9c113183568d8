#!/usr/bin/env bash
# CPU of the whole window on a real X server, side by side with the floor.
#
#   bench/window_cpu_xvfb.sh [-d :N] [-s SECONDS] [-r RUNS] SPHYRA [SPHYRA...]
#
# Starts Xvfb and openbox on display :N (default :15), then for every run plays 16 sensors x
# 50 frames/s x 80 samples from build/tools/sphyra-sim into a pseudo-terminal and measures, over
# SECONDS (default 20): `cat` reading it (the floor), then each SPHYRA binary given with its port
# opened by a click on "打开", together with the X server's CPU meanwhile. Figures are percent of
# one core from /proc utime + stime. Needs Xvfb, openbox, xdotool, bc.
set -euo pipefail

display=:15
seconds=20
runs=3
while getopts "d:s:r:" opt; do
    case $opt in
        d) display=$OPTARG ;;
        s) seconds=$OPTARG ;;
        r) runs=$OPTARG ;;
        *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ $# -ge 1 ] || { sed -n '4p' "$0"; exit 2; }

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
sim="$root/build/tools/sphyra-sim"
work="$(mktemp -d)"
hz=$(getconf CLK_TCK)
export DISPLAY=$display

Xvfb "$display" -screen 0 1100x760x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
openbox >/dev/null 2>&1 &
wm=$!
cleanup() { kill "$wm" "$xvfb" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
percent() { echo "scale=2; ($2 - $1) * 100 / $hz / $seconds" | bc; }
start_sim() {
    "$sim" --sensors 16 --samples 80 --fps 50 --link "$work/pty" >/dev/null 2>&1 &
    sim_pid=$!
    sleep 1
}
stop() { kill "$@" 2>/dev/null || true; wait "$@" 2>/dev/null || true; }

for run in $(seq "$runs"); do
    start_sim
    cat "$work/pty" >/dev/null &
    cat_pid=$!
    sleep 2
    a=$(ticks "$cat_pid"); sleep "$seconds"; b=$(ticks "$cat_pid")
    echo "run $run  cat: $(percent "$a" "$b")%"
    stop "$cat_pid" "$sim_pid"

    for program in "$@"; do
        printf '[Ports]\nCOM1=%s\n' "$work/pty" >"$work/sphyra.ini"
        start_sim
        "$program" --settings "$work/sphyra.ini" >/dev/null 2>&1 &
        pid=$!
        sleep 3
        window=$(xdotool search --sync --pid "$pid" | tail -1)
        xdotool windowmove --sync "$window" 0 0
        eval "$(xdotool getwindowgeometry --shell "$window")"
        # The Open button, in window coordinates for the default font.
        xdotool mousemove $((X + 206)) $((Y + 537)) click 1
        sleep 2
        grep -q CommPort "$work/sphyra.ini" || { echo "run $run  $program: the port did not open"; stop "$pid" "$sim_pid"; continue; }
        a=$(ticks "$pid"); xa=$(ticks "$xvfb"); sleep "$seconds"; b=$(ticks "$pid"); xb=$(ticks "$xvfb")
        echo "run $run  $program: $(percent "$a" "$b")%  X server: $(percent "$xa" "$xb")%"
        stop "$pid" "$sim_pid"
    done
done
