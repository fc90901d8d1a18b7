#!/bin/sh
# Installs the Debian packages the build and the tests need, when any is missing: the
# compilers (clang for the fuzz targets), Qt, GoogleTest, the JSON library, the desktop-file
# and AppStream validators, a font for the manual, the window's font (Liberation Sans Narrow,
# which its tests measure), pdfimages for the manual's pictures, systemd-analyze for the unit
# rating, dpkg-shlibdeps and lintian for the Debian package, and strace, which stops the
# program at a chosen system call in the crash-recovery test.
set -eu

packages="build-essential cmake make qt6-base-dev libgl-dev libgtest-dev nlohmann-json3-dev clang libfuzzer-14-dev libclang-rt-14-dev desktop-file-utils appstream fonts-dejavu-core fonts-liberation poppler-utils systemd dpkg-dev lintian strace"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
