#!/bin/sh
# Times whole command-line jobs of the Release executable and compares them with the I/O
# floor measured in the same run.
#
#   bench/run-bench.sh [build-folder]      (default: build-release, configured and built here)
#
# Cases: index files of 10,000 and 1,000,000 lines (image path and five ordinary fields, some
# values quoted, with embedded delimiters or doubled quotes), converted with image moves off;
# the 1,000,000 lines also by bench/convert-baseline.py, a plain streaming Python script that
# writes the same bytes; then 1,000 small index files in one folder against the same documents
# in one file; then 100 small index files into an empty BIF folder and into one that holds
# 20,000 BIF files of earlier runs; then an index file naming 20,000 images of 4 KiB
# (QM_BENCH_MOVE_LINES sets the number) converted with image moves on, duplicates off and on,
# the images on the BIF folder's file system and on /dev/shm (skipped, saying so, where
# /dev/shm is missing or not a file system of its own), against the same job with moves off
# and bench/move-floor.py, a plain loop that renames the same files (across file systems:
# copies, syncs and removes them) and syncs their folders; and the peak memory of the job
# with moves on against that of a 1,000-line one. Last, bench/window-bench.sh times the
# 1,000,000-line job in the window against --headless, each less its start-up.
# For each of the first two, `quillmarch --check` of the same job is timed too and set against
# the conversion (it looks up every image, which the conversion with moves off does not).
# Each case runs three times; the best wall time counts. Peak RSS comes from /usr/bin/time -v.
# The floor is `cat index > /dev/null` plus `cat bif > copy` and `sync copy`: the job makes its
# BIF file durable before it renames it, so the floor writes its copy to the disk too. The
# durable floor of many files (bench/durable-floor.py) does per file what the job cannot do
# without: read the index file, write the BIF bytes, sync them, rename, sync the folder.
# The targets at the end compare figures measured side by side in this run.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
runs=3
bench=$root/bench

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-bench-XXXXXX")
shm=""
trap 'rm -rf "$work" $shm' EXIT INT TERM

echo "Building the Release executable in $build ..."
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF &&
    cmake --build "$build" -j 2 --target quillmarch; } >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    exit 1
fi
exe=$build/quillmarch
# Settings and state of the run stay in the work folder.
export XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/xdg" XDG_STATE_HOME="$work/state"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

# index FILE FIRST COUNT: lines FIRST .. FIRST+COUNT-1, the same text for the same numbers.
index() {
    awk -v first="$2" -v count="$3" 'BEGIN {
        for (i = first; i < first + count; i++) {
            name = (i % 3 == 0) ? "\"Smith, John " i "\"" : "Customer " i
            note = (i % 5 == 0) ? "\"Said \"\"call back\"\", no " i "\"" : "Paid"
            printf "B%03d\\%08d.tif,%s,%04d-%02d-%02d,%d.%02d,REF-%d,%s\r\n",
                i % 1000, i, name, 2000 + i % 25, 1 + i % 12, 1 + i % 28, i % 100000, i % 100,
                i * 7, note
        }
    }' > "$1"
}

# job FOLDER INDEX-ENTRY [IMAGE-FOLDER MOVE DUPLICATES]: a .sbf in FOLDER converting
# INDEX-ENTRY into FOLDER/out/job.bif; images in FOLDER/scans, not moved, unless given.
job() {
    printf '%s\r\n' 1 "$2" "$1/out/job.bif" "${3:-$1/scans}" Invoice /Archive , 2500 \
        'IMAGEPATH|Name|Date|Amount|Reference|Note' 0 0 0 "${4:-0}" False "${5:-False}" False \
        False > "$1/job.sbf"
}

# measure FOLDER DOCUMENTS: runs the job $runs times; sets best (seconds) and rss (kB). The
# output folder starts empty, or as a copy of FOLDER/earlier when there is one.
measure() {
    best=""
    rss=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        rm -rf "$1/out"
        if [ -d "$1/earlier" ]; then
            cp -r "$1/earlier" "$1/out"
            sync
        fi
        start=$(now)
        if ! /usr/bin/time -v -o "$1/time.txt" "$exe" --headless "$1/job.sbf" 2>"$1/err.txt"; then
            echo "the job failed:" >&2
            cat "$1/err.txt" >&2
            exit 1
        fi
        end=$(now)
        best=$(smaller "$best" "$(elapsed "$start" "$end")")
        rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$1/time.txt")
        i=$((i + 1))
    done
    written=$(cat "$1"/out/*.bif | grep -c '^document' || true)
    # The files copied in from earlier runs are empty and add no documents.
    if [ "$written" -ne "$2" ]; then
        echo "expected $2 documents in the BIF files, found $written" >&2
        exit 1
    fi
}

# floor FOLDER: the best of $runs floors for the index files and the BIF files of FOLDER.
floor() {
    floorBest=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        start=$(now)
        cat "$1"/in/*.csv > /dev/null
        cat "$1"/out/*.bif > "$1/copy"
        sync "$1/copy"
        end=$(now)
        floorBest=$(smaller "$floorBest" "$(elapsed "$start" "$end")")
        rm -f "$1/copy"
        i=$((i + 1))
    done
}

# measure_check FOLDER: runs the check of the job $runs times; sets check_best and check_rss.
measure_check() {
    check_best=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        start=$(now)
        /usr/bin/time -v -o "$1/time.txt" "$exe" --check "$1/job.sbf" >"$1/check.txt" 2>"$1/err.txt" || true
        end=$(now)
        if ! tail -n 1 "$1/check.txt" | grep -q ': 0 errors'; then
            echo "the check failed:" >&2
            tail -n 3 "$1/check.txt" "$1/err.txt" >&2
            exit 1
        fi
        check_best=$(smaller "$check_best" "$(elapsed "$start" "$end")")
        check_rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$1/time.txt")
        i=$((i + 1))
    done
}

row() { # lines seconds bytes rss floor
    awk -v n="$1" -v s="$2" -v b="$3" -v r="$4" -v f="$5" 'BEGIN {
        printf "%10d %9.3f %12.0f %8.1f %9.1f %9.3f %7.2f\n",
            n, s, n / s, b / s / 1e6, r / 1024, f, s / f
    }'
}

echo
printf "%10s %9s %12s %8s %9s %9s %7s\n" lines "wall s" "docs/s" "MB/s" "peak MB" "floor s" "x floor"
checks=""
for lines in 10000 1000000; do
    case_dir="$work/lines$lines"
    mkdir -p "$case_dir/in"
    index "$case_dir/in/index.csv" 1 "$lines"
    job "$case_dir" "$case_dir/in/index.csv"
    measure "$case_dir" "$lines"
    floor "$case_dir"
    row "$lines" "$best" "$(wc -c < "$case_dir/in/index.csv")" "$rss" "$floorBest"
    eval "best$lines=\$best rss$lines=\$rss floor$lines=\$floorBest"
    if [ "$lines" -eq 1000000 ]; then
        # The baseline writes the same bytes: compared once, then timed.
        python_best=""
        i=0
        while [ "$i" -lt "$runs" ]; do
            rm -f "$case_dir/py.bif"
            start=$(now)
            python3 "$bench/convert-baseline.py" "$case_dir/in/index.csv" "$case_dir/py.bif" \
                "$case_dir/scans" Invoice /Archive 'IMAGEPATH|Name|Date|Amount|Reference|Note' ,
            end=$(now)
            python_best=$(smaller "$python_best" "$(elapsed "$start" "$end")")
            if [ "$i" -eq 0 ] && ! cmp -s "$case_dir/py.bif" "$case_dir/out/job.bif"; then
                echo "the Python baseline wrote other bytes than the job" >&2
                exit 1
            fi
            i=$((i + 1))
        done
        echo "    Python baseline: $python_best s"
    fi
    rm -rf "$case_dir/out"
    measure_check "$case_dir"
    checks="$checks$(awk -v n="$lines" -v c="$check_best" -v s="$best" -v r="$check_rss" \
        'BEGIN { printf "%10d %9.3f %9.3f %9.1f %9.2f", n, c, s, r / 1024, c / s }')
"
    rm -rf "$case_dir"
done
echo
echo "quillmarch --check of the same jobs against their conversion:"
printf "%10s %9s %9s %9s %9s\n" lines "check s" "convert s" "peak MB" "x convert"
printf "%s" "$checks"

files=1000
per_file=100
total=$((files * per_file))
echo
echo "$files index files of $per_file lines in one folder against one file of $total lines:"
many="$work/many"
one="$work/one"
mkdir -p "$many/in" "$one/in"
n=0
while [ "$n" -lt "$files" ]; do
    index "$many/in/$(printf 'batch%04d' "$n").csv" $((n * per_file + 1)) "$per_file"
    n=$((n + 1))
done
cat "$many"/in/*.csv > "$one/in/all.csv"
job "$many" "$many/in/*.csv"
job "$one" "$one/in/all.csv"
# The job and the durable floor take turns, each after deleting the 1,000 files its last run
# made: a disk that has just deleted files takes longer to find room for new ones, so both must
# meet the same state. A first run of each makes the files the next ones delete.
all_runs=$runs
runs=1
measure "$many" "$total"
python3 "$bench/durable-floor.py" "$many/in" "$many/out" "$many/copy" >/dev/null
many_best=""
durable_best=""
turn=0
while [ "$turn" -lt "$all_runs" ]; do
    measure "$many" "$total"
    many_best=$(smaller "$many_best" "$best")
    many_rss=$rss
    rm -rf "$many/copy"
    durable_best=$(smaller "$durable_best" \
        "$(python3 "$bench/durable-floor.py" "$many/in" "$many/out" "$many/copy")")
    turn=$((turn + 1))
done
runs=$all_runs
rm -rf "$many/copy"
floor "$many"
many_floor=$floorBest
measure "$one" "$total"
one_best=$best
floor "$one"
printf "%10s %9s %12s %8s %9s %9s %7s\n" lines "wall s" "docs/s" "MB/s" "peak MB" "floor s" "x floor"
row "$total" "$many_best" "$(cat "$many"/in/*.csv | wc -c)" "$many_rss" "$many_floor"
row "$total" "$one_best" "$(wc -c < "$one/in/all.csv")" "$rss" "$floorBest"
awk -v a="$many_best" -v b="$one_best" -v f="$files" \
    'BEGIN { printf "%d files take %.1f times as long as one file with the same documents\n", f, a / b }'

big_files=100
earlier_files=20000
echo
echo "$big_files index files of $per_file lines into an empty BIF folder and into one holding \
$earlier_files BIF files:"
empty="$work/empty"
full="$work/full"
mkdir -p "$empty/in" "$full/in" "$full/earlier"
n=0
while [ "$n" -lt "$big_files" ]; do
    index "$empty/in/$(printf 'batch%04d' "$n").csv" $((n * per_file + 1)) "$per_file"
    n=$((n + 1))
done
cp "$empty"/in/*.csv "$full/in/"
# job.bif, job1.bif ... as earlier runs of the same job leave them.
(cd "$full/earlier" && : > job.bif && seq 1 $((earlier_files - 1)) | sed 's/.*/job&.bif/' |
    xargs touch)
job "$empty" "$empty/in/*.csv"
job "$full" "$full/in/*.csv"
measure "$empty" $((big_files * per_file))
empty_best=$best
measure "$full" $((big_files * per_file))
full_best=$best
printf "%10s %9s\n" "folder" "wall s"
printf "%10s %9.3f\n" empty "$empty_best" full "$full_best"

# 20,000 lines by default: across file systems every image is copied and synced, and 100,000
# lines take minutes a run. QM_BENCH_MOVE_LINES=100000 measures the full case.
move_lines=${QM_BENCH_MOVE_LINES:-20000}
image_bytes=4096
echo
echo "$move_lines index lines with image moves on ($image_bytes-byte images) against the same job \
with moves off and a plain loop (bench/move-floor.py) moving the same files:"
moves="$work/moves"
mkdir -p "$moves/in" "$moves/small"
# As a scanning station leaves them: a folder for each 1,000 images.
move_index() {
    awk -v count="$2" 'BEGIN {
        for (i = 1; i <= count; i++)
            printf "B%04d\\%08d.tif,Customer %d,2024-%02d-%02d,%d.%02d,REF-%d,Paid\r\n",
                int(i / 1000), i, i, 1 + i % 12, 1 + i % 28, i % 100000, i % 100, i * 7
    }' > "$1"
}
move_index "$moves/in/index.csv" "$move_lines"
move_index "$moves/small/index.csv" 1000
python3 "$bench/move-floor.py" make "$moves/in/index.csv" "$moves/pristine" "$image_bytes"
# The images of an earlier run of the same job, which a run with duplicates allowed finds at
# its targets and numbers its own beside.
cp -r "$moves/pristine" "$moves/earlier"
# Across file systems the images lie on /dev/shm and the BIF folder on the disk.
if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(stat -c %d /dev/shm)" != "$(stat -c %d "$work")" ]
then
    shm=$(mktemp -d /dev/shm/qm-bench-XXXXXX)
    cp -r "$moves/pristine" "$shm/pristine"
fi
sync

# fresh IMAGES DUPLICATES: the job's images as new links to the generated ones, in scans
# beside IMAGES (the job and the floor move them away), and an output folder that is empty or,
# with duplicates, holds the earlier run's images.
fresh() {
    rm -rf "$moves/out" "$(dirname "$1")/scans"
    cp -al "$1" "$(dirname "$1")/scans"
    if [ "$2" = True ]; then cp -al "$moves/earlier" "$moves/out"; else mkdir "$moves/out"; fi
    # One folder's sync commits the file system's journal, the new links with it; a sync of
    # everything would wait for every other writer of the machine too.
    sync "$moves" "$(dirname "$1")"
}

# moved INDEX IMAGES DUPLICATES: the images INDEX names are all in the output folder, and
# only they left the scans.
moved() {
    lines=$(grep -c . "$1")
    want=$lines
    [ "$3" = True ] && want=$((want + move_lines))
    got=$(find "$moves/out" -name '*.tif' | wc -l)
    left=$(find "$(dirname "$2")/scans" -name '*.tif' | wc -l)
    if [ "$got" -ne "$want" ] || [ "$left" -ne $((move_lines - lines)) ]; then
        echo "expected $want images in the BIF folder and $((move_lines - lines)) left," \
            "found $got and $left" >&2
        exit 1
    fi
}

# move_job INDEX IMAGES MOVE DUPLICATES: best wall time ($best) and peak RSS ($rss) of the job.
move_job() {
    job "$moves" "$1" "$(dirname "$2")/scans" "$3" "$4"
    best=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        fresh "$2" "$4"
        start=$(now)
        if ! /usr/bin/time -v -o "$moves/time.txt" "$exe" --headless "$moves/job.sbf" \
            2>"$moves/err.txt"; then
            echo "the job failed:" >&2
            cat "$moves/err.txt" >&2
            exit 1
        fi
        end=$(now)
        best=$(smaller "$best" "$(elapsed "$start" "$end")")
        rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$moves/time.txt")
        [ "$3" = 1 ] && moved "$1" "$2" "$4"
        i=$((i + 1))
    done
}

# move_floor MODE IMAGES DUPLICATES: best time ($floorBest) of the plain loop.
move_floor() {
    floorBest=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        fresh "$2" "$3"
        suffix=""
        [ "$3" = True ] && suffix=-0001
        floorBest=$(smaller "$floorBest" "$(python3 "$bench/move-floor.py" "$1" \
            "$moves/in/index.csv" "$(dirname "$2")/scans" "$moves/out" $suffix)")
        moved "$moves/in/index.csv" "$2" "$3"
        i=$((i + 1))
    done
}

printf "%-26s %9s %9s %9s %9s %7s\n" case "moves s" "off s" "floor s" "off+floor" ratio
move_targets=""
for place in same across; do
    if [ "$place" = same ]; then
        images=$moves/pristine mode=rename
    elif [ -n "$shm" ]; then
        images=$shm/pristine mode=copy
    else
        echo "across file systems: skipped, /dev/shm is missing or on the same file system"
        continue
    fi
    for dupes in False True; do
        move_job "$moves/in/index.csv" "$images" 1 "$dupes"
        on=$best
        [ "$place" = same ] && [ "$dupes" = False ] && rss_moves=$rss
        move_job "$moves/in/index.csv" "$images" 0 "$dupes"
        off=$best
        move_floor "$mode" "$images" "$dupes"
        name="$place fs, duplicates $( [ "$dupes" = True ] && echo on || echo off)"
        awk -v n="$name" -v a="$on" -v b="$off" -v f="$floorBest" 'BEGIN {
            printf "%-26s %9.3f %9.3f %9.3f %9.3f %7.2f\n", n, a, b, f, b + f, a / (b + f) }'
        move_targets="$move_targets$name|$on|$off|$floorBest|$mode
"
    done
done
# The memory of the same job on 1,000 lines.
move_job "$moves/small/index.csv" "$moves/pristine" 1 False
rss_moves_small=$rss
rm -rf "$moves"

echo
echo "The window against --headless (bench/window-bench.sh, $build):"
window_line=""
if sh "$bench/window-bench.sh" "$build" > "$work/window.txt" 2>&1; then
    grep -v '^QStandardPaths\|^Building' "$work/window.txt"
    window_line=$(grep '^per line, start-up taken off:' "$work/window.txt" || true)
else
    echo "the window benchmark failed:"
    tail -n 5 "$work/window.txt"
fi

echo
echo "Targets (each against a figure measured in this run):"
printf "%-52s %9s %9s %7s %7s\n" target "job" "against" ratio limit
target() { # text job against ratio-expression limit comparison
    awk -v t="$1" -v a="$2" -v b="$3" -v l="$4" -v op="$5" 'BEGIN {
        r = (op == "<=") ? a / b : b / a
        ok = (op == "<=") ? r <= l : r >= l
        printf "%-52s %9.3f %9.3f %7.2f %4s%-3s %s\n", t, a, b, r, op, l, ok ? "met" : "MISSED"
    }'
}
target "1,000,000 lines: job / I/O floor (s)" "$best1000000" "$floor1000000" 1.3 "<="
target "1,000,000 lines: Python baseline / job (s)" "$best1000000" "$python_best" 30 ">="
# A job that syncs its BIF file takes at least about the I/O floor (the sync is most of it),
# so on this machine the Python ratio cannot pass Python / floor, whatever the job does.
awk -v p="$python_best" -v f="$floor1000000" 'BEGIN {
    printf "%-52s %9s %9.3f %7.2f   (the most any durable job could reach)\n",
        "    Python baseline / I/O floor (s)", "", p, p / f
}'
target "1,000 files of 100 lines: job / durable floor (s)" "$many_best" "$durable_best" 1.3 "<="
target "100 files: into 20,000 BIF files / empty folder (s)" "$full_best" "$empty_best" 1.2 "<="
printf "%s" "$move_targets" | while IFS='|' read -r name on off floor mode; do
    target "$name: moves on / (off + $mode floor)" "$on" "$(awk -v a="$off" -v b="$floor" \
        'BEGIN { print a + b }')" 1.5 "<="
done
awk -v a="$rss_moves" -v b="$rss_moves_small" -v n="$move_lines" 'BEGIN {
    d = (a - b) / 1024
    printf "%-52s %9.1f %9.1f %7.1f %4s%-3s %s\n",
        sprintf("peak MB, moves on: %d lines - 1,000 lines", n), a / 1024, b / 1024, d, "<=", 2,
        d <= 2 ? "met" : "MISSED"
}'
if [ -n "$window_line" ]; then
    target "1,000,000 lines: window / headless, per line (s)" \
        "$(echo "$window_line" | awk '{ print $7 }')" "$(echo "$window_line" | awk '{ print $10 }')" \
        1.05 "<="
fi
awk -v a="$rss1000000" -v b="$rss10000" 'BEGIN {
    d = (a - b) / 1024
    printf "%-52s %9.1f %9.1f %7.1f %4s%-3s %s\n",
        "peak MB: 1,000,000 lines - 10,000 lines", a / 1024, b / 1024, d, "<=", 2,
        d <= 2 ? "met" : "MISSED"
}'
