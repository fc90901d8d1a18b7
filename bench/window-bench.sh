#!/bin/sh
# Times the same 1,000,000-line command-line job in the window and without it, with the
# Release executable: `quillmarch job.sbf` on a display against `quillmarch --headless job.sbf`.
# The window handles its events and repaints its status panels while the job runs; this
# shows what that costs.
#
#   bench/window-bench.sh [build-folder] [lines]   (default: build-release, 1000000)
#
# The display is a fresh Xvfb when it is installed, else Qt's offscreen platform. Runs
# alternate between the two roads, five of each; the best and the median count, of the wall
# time and of the CPU time (user + system) of the process, which a busy machine disturbs less.
# The same job of 10 lines, run as often both ways, measures the fixed start-up of each road
# (the window's is longer); the last line sets what is left of the best wall times, the cost
# of the lines themselves, against each other.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
lines=${2:-1000000}
runs=${QM_WINDOW_RUNS:-5}

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-window-bench-XXXXXX")
xvfb_pid=""
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

echo "Building the Release executable in $build ..."
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF &&
    cmake --build "$build" -j 2 --target quillmarch; } >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    exit 1
fi
exe=$build/quillmarch
export XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/xdg" XDG_STATE_HOME="$work/state"
unset WAYLAND_DISPLAY

if command -v Xvfb >/dev/null 2>&1; then
    display=:$(( 150 + $$ % 100 ))
    # -noreset: a server that resets when its last client leaves drops the next connections
    # for a moment, and the window waits 0.3 s to try again: noise, not the window's cost.
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
        [ -S "/tmp/.X11-unix/X${display#:}" ] && break
        sleep 0.1
    done
    window_env="DISPLAY=$display QT_QPA_PLATFORM=xcb"
    platform="Xvfb"
else
    window_env="QT_QPA_PLATFORM=offscreen"
    platform="offscreen"
fi

# job NAME LINES: NAME.sbf converting an index file of LINES lines into out/NAME.bif.
job() {
    awk -v n="$2" 'BEGIN { for (i = 1; i <= n; i++)
        printf "B%03d\\%08d.tif,Customer %d,2024-%02d-%02d,%d.%02d,Scanned at station 4\r\n",
            i % 1000, i, i % 9973, 1 + i % 12, 1 + i % 28, i % 100000, i % 100 }' \
        > "$work/$1.csv"
    printf '%s\r\n' 1 "$work/$1.csv" "$work/out/$1.bif" "$work/scans" Invoice /Archive , 2500 \
        'IMAGEPATH|Name|Date|Amount|Note' 0 0 0 0 False False False False > "$work/$1.sbf"
}
job job "$lines"
job start 10

# run ROAD [JOB]: one job (default: the long one); appends its wall and CPU seconds to
# ROAD-wall.txt and ROAD-cpu.txt, or for the start-up job to ROAD-start.txt. The BIF file of
# the run before is removed first.
run() {
    name=${2:-job}
    rm -rf "$work/out"
    if [ "$1" = window ]; then
        env $window_env /usr/bin/time -f '%e %U %S' -o "$work/time" "$exe" "$work/$name.sbf" \
            </dev/null
    else
        env -u DISPLAY -u QT_QPA_PLATFORM /usr/bin/time -f '%e %U %S' -o "$work/time" \
            "$exe" --headless "$work/$name.sbf" </dev/null
    fi
    [ -f "$work/out/$name.bif" ] || { echo "the $1 run wrote no BIF file" >&2; exit 1; }
    if [ "$name" = start ]; then
        awk '{ print $1 }' "$work/time" >> "$work/$1-start.txt"
        awk '{ print $2 + $3 }' "$work/time" >> "$work/$1-startcpu.txt"
    else
        awk '{ print $1 }' "$work/time" >> "$work/$1-wall.txt"
        awk '{ print $2 + $3 }' "$work/time" >> "$work/$1-cpu.txt"
    fi
}

# Each long job follows a short one of the other road, so both find the machine alike: a
# long job run right after the other road's 350 MB BIF file was deleted found its pages at
# hand, and one run later did not (on the development machine, a virtual one, that alone
# changed a job's system time from 0.15 s to 0.6 s).
for i in $(seq 1 $runs); do
    run headless
    run headless start
    run window
    run window start
done

stats() { sort -n "$1" | awk '{ v[NR] = $1 } END { printf "%.2f %.2f", v[1], v[int((NR + 1) / 2)] }'; }
printf '%s lines, %s runs each, window on %s\n' "$lines" "$runs" "$platform"
printf '%-10s %12s %12s %12s %12s\n' road "wall best s" "wall median" "CPU best s" "CPU median"
for road in headless window; do
    printf '%-10s %12s %12s %12s %12s\n' "$road" $(stats "$work/$road-wall.txt") \
        $(stats "$work/$road-cpu.txt")
done
set -- $(stats "$work/headless-wall.txt") $(stats "$work/window-wall.txt") \
    $(stats "$work/headless-cpu.txt") $(stats "$work/window-cpu.txt")
awk -v a="$1" -v b="$2" -v c="$3" -v d="$4" -v e="$5" -v f="$6" -v g="$7" -v h="$8" 'BEGIN {
    printf "window vs headless: wall best %+.1f%%, median %+.1f%%; CPU best %+.1f%%, median %+.1f%%\n",
        (c / a - 1) * 100, (d / b - 1) * 100, (g / e - 1) * 100, (h / f - 1) * 100 }'
set -- $(stats "$work/headless-cpu.txt") $(stats "$work/window-cpu.txt") \
    $(stats "$work/headless-startcpu.txt") $(stats "$work/window-startcpu.txt")
awk -v h="$1" -v w="$3" -v hs="$5" -v ws="$7" 'BEGIN {
    printf "CPU per line, start-up taken off: window %.3f s, headless %.3f s, ratio %.3f\n",
        w - ws, h - hs, (w - ws) / (h - hs) }'
set -- $(stats "$work/headless-wall.txt") $(stats "$work/window-wall.txt") \
    $(stats "$work/headless-start.txt") $(stats "$work/window-start.txt")
awk -v h="$1" -v w="$3" -v hs="$5" -v ws="$7" 'BEGIN {
    printf "start-up (10 lines, best): headless %.2f s, window %.2f s\n", hs, ws
    printf "per line, start-up taken off: window %.3f s, headless %.3f s, ratio %.3f\n",
        w - ws, h - hs, (w - ws) / (h - hs) }'
