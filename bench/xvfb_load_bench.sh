#!/usr/bin/env bash
# What the program costs on a real X server, beside the cost of merely reading the same link.
#
#   bench/xvfb_load_bench.sh [--build DIR] [--against DIR] [--runs N] [--seconds S]
#                            [--display :N] [--step-ms MS] [--soak MINUTES --rss-log FILE]
#
# Starts Xvfb and openbox on the display, then, for each run and each build (--build, and
# --against when given, alternating so both see the same load), measures over S seconds:
#   floor    `cat` reading the pseudo-terminal fed 16 sensors x 50 frames/s x 80 samples,
#            and bench/repaint_floor_window: a bare Qt window repainting a strip per burst;
#            then that window woken only 50 times a second to read and repaint (the least a
#            window pays to show one sensor's frames), beside `cat` and divided by it; and
#            once more repainting a read-out box as well (`ro`), the least a window pays that
#            shows what the program must: a Qt window waits for the X server before each paint
#   shown    the program with the port open on that feed: its CPU, the X server's, its RSS
#   minimised, and 1 sensor shown (per extra sensor = (shown - 1 sensor) / 15)
#   beside   `cat` on a second, identical feed while the program is measured shown and
#            minimised, and the program's CPU divided by it: the floor alone, measured apart,
#            swings several-fold within the hour as the machine's other load comes and goes;
#            and, while it is shown, the bare window woken 50 times a second with its read-out
#            box on a third feed and an X server of its own (display N+1), the program's CPU
#            divided by that too: what it costs beyond the least a window showing the same
#            things pays, whatever a wake-up and a round trip to the X server cost here
#   idle     port closed, and port open on a pseudo-terminal that sends nothing
#   latency  byte written into the pseudo-terminal -> image handed to the X server
#            (the program's SPHYRA_LATENCY_LOG probe against the feeder's write log)
# and prints every run, then min and median over the runs. CPU is in % of one core.
# The feed writes what fell due every --step-ms milliseconds: 20 (the default) as a receiver that
# gathers the sensors' bytes hands them on, or 1, each frame about when its sensor sends it, as
# sphyra-sim plays them; that wakes every reader, `cat` too, about 500 times a second instead of 50.
# With --soak, instead runs the program shown at full load for MINUTES and appends its RSS to
# FILE every 10 minutes.
#
# DIR is a build directory holding ui/sphyra and bench/live_feed_bench (a Release build,
# e.g. cmake -B build-release -DCMAKE_BUILD_TYPE=Release). Needs Xvfb, openbox, xdotool.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-release"
against=""
runs=3
seconds=20
display=":16"
step_ms=20
soak=0
rsslog=""
while [[ $# -gt 0 ]]; do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --against) against="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        --seconds) seconds="$2"; shift 2 ;;
        --display) display="$2"; shift 2 ;;
        --step-ms) step_ms="$2"; shift 2 ;;
        --soak) soak="$2"; shift 2 ;;
        --rss-log) rsslog="$2"; shift 2 ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
feeder="$build/bench/live_feed_bench"
work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY="$display"
export QT_QPA_PLATFORM=xcb

# Sets x_pid to an X server on display $1, started at geometry $2; fails when one already runs
# there (a soak, say), which is then measured on and left running.
start_x_server() {
    local lock="/tmp/.X${1#:}-lock"
    if [[ -e "$lock" ]] && kill -0 "$(tr -d ' ' <"$lock")" 2>/dev/null; then
        x_pid=$(tr -d ' ' <"$lock")
        echo "using the X server already on $1 (pid $x_pid)" >&2
        return 1
    fi
    Xvfb "$1" -screen 0 "$2" -nolisten tcp >/dev/null 2>&1 &
    x_pid=$!
    pids+=("$x_pid")
    sleep 1
}
if start_x_server "$display" 1280x1024x24; then
    openbox >/dev/null 2>&1 &
    pids+=("$!")
    sleep 1
fi
xvfb=$x_pid
# The bare window measured beside the program draws on an X server of its own, so that the
# program's X server serves the program alone.
beside_display=":$((${display#:} + 1))"
if [[ "$soak" -eq 0 ]]; then start_x_server "$beside_display" 640x480x24 || true; fi

# Nanoseconds a process's threads have run. The scheduler counts them exactly; the clock
# ticks of /proc/PID/stat come in 10 ms steps, a tenth of a percent over 10 s, which is
# half of what `cat` costs.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f", s }'; }
now() { date +%s.%N; }
# Waits until the feeder has printed its pseudo-terminal's path into $1.
pty_of() { for _ in $(seq 100); do [[ -s "$1" ]] && { head -1 "$1"; return; }; sleep 0.05; done; }

# Measures the CPU share of the given pids over $seconds: prints one share per pid.
measure() {
    local -a before=()
    local pid
    for pid in "$@"; do before+=("$(cpu_ns "$pid")"); done
    local t0; t0=$(now)
    sleep "$seconds"
    local t1; t1=$(now)
    local i=0
    for pid in "$@"; do
        awk -v a="${before[$i]}" -v b="$(cpu_ns "$pid")" -v t0="$t0" -v t1="$t1" \
            'BEGIN { printf "%.3f ", 100 * (b - a) / 1e9 / (t1 - t0) }'
        i=$((i + 1))
    done
}

# Starts the feeder for $1 sensors, holding its first write until go() (so the program counts
# every frame); sets feed_pid and pty. $2: its write log.
start_feed() {
    local log_args=()
    [[ -n "${2:-}" ]] && log_args=(--write-log "$2")
    rm -f "$work/go"
    "$feeder" --mode feed --sensors "$1" --fps 50 --samples 80 --step-ms "$step_ms" --wait-for "$work/go" \
        --seconds $((seconds * 3 + 30 + soak * 60)) "${log_args[@]}" >"$work/feed.$1.$feeds.out" &
    feed_pid=$!
    pids+=("$feed_pid")
    pty=$(pty_of "$work/feed.$1.$feeds.out")
    feeds=$((feeds + 1))
}
feeds=0
go() { touch "$work/go"; sleep 2; }
stop() { kill "$@" 2>/dev/null || true; wait "$@" 2>/dev/null || true; }

# Starts a feed of 16 sensors read by `cat`, the floor measured beside something else on a feed
# of its own; sets beside_feed and beside_cat.
start_beside_cat() {
    start_feed 16
    beside_feed=$feed_pid
    cat "$pty" >/dev/null &
    beside_cat=$!
    pids+=("$beside_cat")
}

# Starts the bare window woken 50 times a second on display $1 and the last feed started, with
# the options that follow; sets qt_pid.
start_floor_window() {
    DISPLAY="$1" "$build/bench/repaint_floor_window" "$pty" --paint-every-ms 20 "${@:2}" \
        >/dev/null 2>&1 &
    qt_pid=$!
    pids+=("$qt_pid")
}

# Starts the bare window woken 50 times a second, with its read-out box, on a feed and X server
# of its own; sets beside_qt_feed and beside_qt.
start_beside_window() {
    start_feed 16
    beside_qt_feed=$feed_pid
    start_floor_window "$beside_display" --readout
    beside_qt=$qt_pid
}

# Starts the program of build $1 on device $2; sets app_pid and win once its window is mapped.
start_app() {
    local ini="$work/sphyra.ini"
    printf '[Ports]\nCOM1=%s\n[Main]\nCommPort=1\nCommBaud=115200\n' "$2" >"$ini"
    "$1/ui/sphyra" --settings "$ini" >/dev/null 2>&1 &
    app_pid=$!
    pids+=("$app_pid")
    win=""
    for _ in $(seq 100); do
        win=$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | head -1 || true)
        [[ -n "$win" ]] && break
        sleep 0.1
    done
    sleep 1
}
# Clicks the open button ("打开"), at its place in the window's fixed layout.
open_port() {
    xdotool mousemove --window "$win" 206 556 click 1
    sleep 1
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
rss_mb() { awk '/VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/$1/status"; }

# One run of every phase for build $1; prints "name value" lines.
run_phases() {
    local bin="$1"
    start_feed 16
    cat "$pty" >/dev/null &
    local cat_pid=$!
    pids+=("$cat_pid")
    go
    echo "floor_cat $(measure "$cat_pid")"
    stop "$cat_pid" "$feed_pid"

    # The least a Qt window pays to show each burst as it comes, and the X server with it.
    start_feed 16
    "$build/bench/repaint_floor_window" "$pty" >/dev/null 2>&1 &
    local qt_pid=$!
    pids+=("$qt_pid")
    sleep 1
    go
    read -r app x <<<"$(measure "$qt_pid" "$xvfb")"
    echo "floor_qt $app"
    echo "floor_qt_x $x"
    stop "$qt_pid" "$feed_pid"

    # The least any window pays to show one sensor's frames as they come: woken only to read
    # what waits and repaint a strip, 50 times a second; then with a read-out box repainted
    # each time too. Beside `cat`, as the program is below.
    local name extra
    for name in qt50 qt50ro; do
        extra=()
        [[ "$name" == qt50ro ]] && extra=(--readout)
        start_beside_cat
        start_feed 16
        start_floor_window "$display" "${extra[@]}"
        sleep 1
        go
        read -r app x floor <<<"$(measure "$qt_pid" "$xvfb" "$beside_cat")"
        echo "floor_${name} $app"
        echo "floor_${name}_x $x"
        echo "floor_${name}_per_cat_beside $(ratio "$app" "$floor")"
        stop "$qt_pid" "$feed_pid" "$beside_cat" "$beside_feed"
    done

    # The floor again, beside the program on a feed of its own: the same seconds, the same
    # load from whatever else the machine runs, so the two can be divided run by run.
    start_beside_cat
    start_beside_window
    start_feed 16
    start_app "$bin" "$pty"
    open_port
    go
    read -r app x floor window <<<"$(measure "$app_pid" "$xvfb" "$beside_cat" "$beside_qt")"
    echo "shown16_app $app"
    echo "shown16_x $x"
    echo "beside_cat_shown $floor"
    echo "shown16_per_cat_beside $(ratio "$app" "$floor")"
    echo "beside_qt50ro_shown $window"
    echo "shown16_per_qt50ro_beside $(ratio "$app" "$window")"
    stop "$beside_qt" "$beside_qt_feed"
    echo "rss_mb $(rss_mb "$app_pid")"
    xdotool windowminimize --sync "$win"
    sleep 1
    read -r app x floor <<<"$(measure "$app_pid" "$xvfb" "$beside_cat")"
    echo "minimised16_app $app"
    echo "minimised16_x $x"
    echo "beside_cat_minimised $floor"
    echo "minimised16_per_cat_beside $(ratio "$app" "$floor")"
    stop "$app_pid" "$feed_pid" "$beside_cat" "$beside_feed"

    start_feed 1
    start_app "$bin" "$pty"
    open_port
    go
    read -r app x <<<"$(measure "$app_pid" "$xvfb")"
    echo "shown1_app $app"
    stop "$app_pid" "$feed_pid"

    start_app "$bin" /dev/null
    echo "idle_closed_app $(measure "$app_pid")"
    stop "$app_pid"
    /usr/bin/python3 -c 'import os, pty, time
m, s = pty.openpty(); print(os.ttyname(s), flush=True); time.sleep(100000)' >"$work/feed.out" &
    local silent=$!
    pids+=("$silent")
    start_app "$bin" "$(pty_of "$work/feed.out")"
    open_port
    echo "idle_open_app $(measure "$app_pid")"
    stop "$app_pid" "$silent"

    start_feed 16 "$work/writes.log"
    SPHYRA_LATENCY_LOG="$work/images.log" start_app "$bin" "$pty"
    open_port
    go
    sleep "$seconds"
    stop "$app_pid" "$feed_pid"
    # Each write that carried a new frame of the shown sensor, against the first image
    # that showed that many frames.
    # Writes: time, then frames so far per sensor (address a in column a + 1). Images: time,
    # address on display, its frames so far.
    awk 'NR == FNR { for (c = 2; c <= NF; ++c) if (!((c, $c) in at)) at[c, $c] = $1; next }
         { c = $2 + 1; for (f = done + 1; f <= $3; ++f) if ((c, f) in at) print ($1 - at[c, f]) / 1e6
           if ($3 > done) done = $3 }' \
        "$work/writes.log" "$work/images.log" | sort -n >"$work/lat.txt"
    awk '{ v[NR] = $1 } END { if (NR == 0) { print "latency_p50_ms n/a"; print "latency_p99_ms n/a"; exit }
         i = int(0.5 * NR); if (i < 1) i = 1; print "latency_p50_ms", v[i]
         j = int(0.99 * NR); if (j < 1) j = 1; print "latency_p99_ms", v[j] }' "$work/lat.txt"
}

if [[ "$soak" -gt 0 ]]; then
    start_feed 16
    start_app "$build" "$pty"
    open_port
    go
    echo "soak: 16 x 50 x 80 for $soak min, RSS every 10 min" >>"$rsslog"
    for ((m = 0; m <= soak; m += 10)); do
        echo "$(date +%H:%M) minute $m rss_mb $(rss_mb "$app_pid")" >>"$rsslog"
        [[ $m -lt $soak ]] && sleep 600
    done
    exit 0
fi

labels=(after)
builds=("$build")
if [[ -n "$against" ]]; then labels=(before after); builds=("$against" "$build"); fi
results="$work/results"
: >"$results"
for ((r = 1; r <= runs; ++r)); do
    for i in "${!builds[@]}"; do
        run_phases "${builds[$i]}" | while read -r name value; do
            echo "run $r ${labels[$i]} $name $value" | tee -a "$results"
        done
    done
done
echo "== min / median over $runs runs, feed in $step_ms ms steps (CPU in % of one core; load: $(cut -d' ' -f1-3 /proc/loadavg))"
for label in "${labels[@]}"; do
    awk -v l="$label" '$3 == l { print $4 }' "$results" | sort -u | while read -r name; do
        awk -v l="$label" -v n="$name" '$3 == l && $4 == n { print $5 }' "$results" | sort -g |
            awk -v l="$label" -v n="$name" '{ v[NR] = $1 }
                END { printf "%-7s %-18s min %8s  median %8s\n", l, n, v[1], v[int((NR + 1) / 2)] }'
    done
done
