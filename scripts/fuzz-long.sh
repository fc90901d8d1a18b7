#!/bin/sh
# Runs one fuzz target (built by `make fuzz`) at nice 10 until it has used CPU_SECONDS of CPU time,
# then stops it and prints its figures. The local runs behind docs/reliability.md:
#   scripts/fuzz-long.sh ConversionFuzz 900
set -eu
cd "$(dirname "$0")/.."
target=$1
cpu_seconds=${2:-900}
mkdir -p "build-fuzz/corpus/$target"
log="build-fuzz/long-$target.log"
nice -n 10 "build-fuzz/fuzz/$target" -max_len=4096 -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/$target-" \
    "build-fuzz/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1 &
pid=$!
ticks=$(getconf CLK_TCK)
used=0
while kill -0 "$pid" 2>/dev/null; do
    sleep 10
    # Fields 14 and 15 of /proc/PID/stat: user and system time in clock ticks.
    used=$(awk -v t="$ticks" '{ print int(($14 + $15) / t) }' "/proc/$pid/stat" 2>/dev/null || echo "$used")
    if [ "$used" -ge "$cpu_seconds" ]; then
        kill -INT "$pid"
        break
    fi
done
status=0
wait "$pid" || status=$?
echo "$target: $used CPU seconds, exit status $status"
grep -E '^stat::|^Done|ERROR|BROKEN|interrupted' "$log" || true
exit "$status"
