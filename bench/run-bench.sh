#!/bin/sh
# Times whole command-line jobs of the Release executable and compares them with the I/O
# floor measured in the same run.
#
#   bench/run-bench.sh [build-folder]      (default: build-release, configured and built here)
#
# Cases: index files of 10,000 and 1,000,000 lines (image path and five ordinary fields, some
# values quoted, with embedded delimiters or doubled quotes), converted with image moves off;
# then 1,000 small index files in one folder against the same documents in one file.
# For each of the first two, `quillmarch --check` of the same job is timed too and set against
# the conversion (it looks up every image, which the conversion with moves off does not).
# Each case runs three times; the best wall time counts. Peak RSS comes from /usr/bin/time -v.
# The floor is `cat index > /dev/null` plus `cat bif > copy` and `sync copy`: the job makes its
# BIF file durable before it renames it, so the floor writes its copy to the disk too.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
runs=3

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

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

# job FOLDER INDEX-ENTRY: a .sbf in FOLDER converting INDEX-ENTRY into FOLDER/out/job.bif.
job() {
    printf '%s\r\n' 1 "$2" "$1/out/job.bif" "$1/scans" Invoice /Archive , 2500 \
        'IMAGEPATH|Name|Date|Amount|Reference|Note' 0 0 0 0 False False False False \
        > "$1/job.sbf"
}

# measure FOLDER DOCUMENTS: runs the job $runs times; sets best (seconds) and rss (kB).
measure() {
    best=""
    rss=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        rm -rf "$1/out"
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
measure "$many" "$total"
many_best=$best
many_rss=$rss
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
