#!/bin/sh
# Builds the Debian package from the build tree and takes it apart as dpkg would: its control
# fields, its file list with owners and modes, the changelog and copyright, the removal
# script, and the program extracted from it running the example job from the extracted docs.
# lintian, where installed, must find no error. Exit 77 (skipped) without the Debian tools.
set -eu
cpack=$1 build=$2 version=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

for tool in dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is missing (package dpkg-dev)"; exit 77; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }

# The version and revision are the changelog's first entry.
full=$(sed -n '1s/^quillmarch (\([^)]*\)).*/\1/p' "$(dirname "$0")/../debian/changelog")
case $full in "$version"-[0-9]*) ;; *) fail "debian/changelog starts with version '$full', not $version-N" ;; esac
arch=$(dpkg --print-architecture)
deb="$work/out/quillmarch_${full}_$arch.deb"
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(ls "$work/out")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quillmarch ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$full" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for wanted in "libc6 (>=" "libqt6core6 (>=" "libqt6widgets6 (>=" "libstdc++6 (>=" \
    "fonts-liberation"; do
    case $depends in *"$wanted"*) ;; *) fail "Depends lacks '$wanted': $depends" ;; esac
done
for name in Maintainer Section Priority Installed-Size Description; do
    [ -n "$(field "$name")" ] || fail "no $name field"
done

# Every file below /usr, owned by root, with the modes dpkg expects.
dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' >"$work/list"
doc=./usr/share/doc/quillmarch
app=org.brackenfold.Quillmarch
for path in ./usr/bin/quillmarch ./usr/share/quillmarch/QMManual.pdf $doc/QMManual.pdf \
    ./usr/share/man/man1/quillmarch.1.gz \
    $doc/copyright $doc/changelog.Debian.gz $doc/examples/example.sbf \
    ./usr/share/applications/$app.desktop ./usr/share/icons/hicolor/scalable/apps/$app.svg \
    ./usr/share/icons/hicolor/128x128/apps/$app.png ./usr/share/metainfo/$app.metainfo.xml \
    ./usr/share/mime/packages/$app.xml; do
    grep -q " $path\$" "$work/list" || fail "$path is not in the package"
done
grep -q '^-rwxr-xr-x root/root ./usr/bin/quillmarch$' "$work/list" || fail "usr/bin/quillmarch: $(grep bin/quillmarch "$work/list")"
stray=$(grep -v ' \./usr/\| \./$' "$work/list" || true)
[ -z "$stray" ] || fail "outside /usr: $stray"
odd=$(grep -Ev '^([-d]rw[-x]r-[-x]r-[-x]|lrwxrwxrwx) root/root ' "$work/list" || true)
[ -z "$odd" ] || fail "owner or mode: $odd"

# The changelog is compressed without a name or time (gzip -9n) and the copyright is DEP-5.
mkdir "$work/root"
dpkg-deb -x "$deb" "$work/root"
root=$work/root
gzip -t "$root/$doc/changelog.Debian.gz" || fail "changelog.Debian.gz is not gzip"
header=$(od -An -tx1 -N8 "$root/$doc/changelog.Debian.gz" | tr -d ' \n')
[ "$header" = 1f8b080000000000 ] || fail "changelog.Debian.gz header holds a name or time: $header"
[ "$(head -n 1 "$root/$doc/copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fail "copyright is not machine-readable"
cmp -s "$build/QMManual.pdf" "$root/$doc/QMManual.pdf" || fail "the manual in the docs is not the build's"

# The program from the extracted tree: its version, and the example job from the docs, with
# the debug log, which an installed program writes to the state folder.
[ "$("$root/usr/bin/quillmarch" --version)" = "quillmarch $version" ] || fail "--version"
cp -R "$root/$doc/examples" "$work/example"
status=0
(cd "$work/example" && XDG_STATE_HOME="$work/state" "$root/usr/bin/quillmarch" --headless \
    example.sbf /b </dev/null 2>"$work/stderr") || status=$?
[ "$status" -eq 0 ] || { cat "$work/stderr" >&2; fail "the example job exited $status"; }
[ -s "$work/example/out/batch1.bif" ] || fail "the example job wrote no BIF file"
[ -s "$work/state/quillmarch/debug-QM.log" ] || fail "no debug log in the state folder"

# The removal script: safe without systemd, and naming --remove-service for a registered unit.
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -qx './prerm' || fail "no prerm"
dpkg-deb -e "$deb" "$work/control"
[ -x "$work/control/prerm" ] || fail "prerm is not executable"
for registered in no yes; do
    fake=$work/fake-$registered
    mkdir -p "$fake"
    if [ "$registered" = yes ]; then
        mkdir -p "$fake/etc/systemd/system"
        : >"$fake/etc/systemd/system/quillmarch.service"
    fi
    for action in remove upgrade; do
        out=$(DPKG_ROOT=$fake PATH=/nonexistent /bin/sh "$work/control/prerm" "$action" 2>&1) ||
            fail "prerm $action exited non-zero without systemd: $out"
        case "$registered $action $out" in
        "yes remove "*"quillmarch --remove-service"*) ;;
        "yes remove "* | *" remove "?* | *" upgrade "?*) fail "prerm $action ($registered): '$out'" ;;
        esac
    done
done

if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error "$deb" >"$work/lintian" 2>&1 || { cat "$work/lintian" >&2; fail "lintian found errors"; }
    cat "$work/lintian"
fi
echo "ok: $(basename "$deb"), $(wc -l <"$work/list") entries"
