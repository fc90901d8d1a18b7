#!/bin/sh
# Takes the two screenshots of the window that the README and the manual show, with the real
# executable on a virtual X display:
#   docs/screenshot-window.png   the window with the example job loaded
#   docs/screenshot-running.png  the window during a conversion, both status panels filled
# Installs Xvfb and ImageMagick when missing. PRESET (default dev) names the build to use.
set -eu

cd "$(dirname "$0")/.."
root=$(pwd)
preset=${PRESET:-dev}

missing=""
command -v Xvfb >/dev/null 2>&1 || missing="$missing xvfb"
command -v import >/dev/null 2>&1 || missing="$missing imagemagick"
command -v xwininfo >/dev/null 2>&1 || missing="$missing x11-utils"
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target quillmarch >/dev/null
case $preset in asan) exe="$root/build-asan/quillmarch" ;; *) exe="$root/build/quillmarch" ;; esac

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# A display of its own, and a settings folder of its own so the window takes its default place.
display=:$(( 90 + $$ % 100 ))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
for _ in $(seq 1 100); do
    [ -S "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
done

# Waits for the window named Quillmarch; its id on standard output.
window_id() {
    for _ in $(seq 1 100); do
        id=$(xwininfo -root -tree 2>/dev/null | awk '/"Quillmarch": \("quillmarch"/ {print $1; exit}')
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "the window did not appear" >&2
    return 1
}

mkdir -p "$root/docs"

# 1. The example job, loaded but not run (/m).
cp -R examples "$work/example"
(cd "$work/example" && exec "$exe" example.sbf /m) &
app=$!
id=$(window_id)
sleep 1
import -window "$id" "$root/docs/screenshot-window.png"
kill "$app"
wait "$app" 2>/dev/null || true

# 2. A job long enough to watch: a generated index file of many lines, no image moves.
mkdir -p "$work/run/index" "$work/run/images/B1"
awk 'BEGIN { for (i = 1; i <= 1500000; i++)
    printf "B1\\%07d.tif,Customer %d,2024-01-%02d,%d.00,Scanned at station 4\r\n", i, i % 997, i % 28 + 1, i % 5000 }' \
    > "$work/run/index/scans.csv"
printf '1\r\nindex\\scans.csv\r\nout\\scans.bif\r\nimages\r\nInvoice\r\n/Finance\r\n,\r\n2500\r\n%s\r\n0\r\n1\r\n0\r\n0\r\nFalse\r\nFalse\r\nFalse\r\nFalse\r\n' \
    'IMAGEPATH|Customer|Invoice Date|Amount|Note' > "$work/run/scans.sbf"
(cd "$work/run" && exec "$exe" scans.sbf) &
app=$!
id=$(window_id)
# Grab the window while the job runs; the middle shot is well inside the conversion.
n=0
while kill -0 "$app" 2>/dev/null; do
    n=$((n + 1))
    # A grab of a window that goes away meanwhile can hang; the job ending ends the shots.
    timeout 10 import -window "$id" "$work/running-$n.png" 2>/dev/null || break
    sleep 0.2
done
wait "$app" || true
shots=$(ls "$work"/running-*.png 2>/dev/null | wc -l)
if [ "$shots" -lt 3 ]; then
    echo "the job ended before it could be shown running ($shots shots)" >&2
    exit 1
fi
cp "$work/running-$(( (shots + 1) / 2 )).png" "$root/docs/screenshot-running.png"

echo "docs/screenshot-window.png docs/screenshot-running.png"
