#!/bin/sh
# Installs the build into a fresh prefix and uses it as a user would: the files are in place,
# the program runs from bin/, runs the installed example job, and, being installed, writes its
# debug log to the state folder, never beside itself in bin/.
set -eu
cmake=$1 build=$2 bindir=$3 datadir=$4
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$(mktemp -d "${TMPDIR:-/tmp}/qm-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

app=org.brackenfold.Quillmarch
doc=$datadir/doc/quillmarch
for file in "$bindir/quillmarch" "$datadir/quillmarch/QMManual.pdf" "$doc/QMManual.pdf" \
    "$doc/copyright" "$doc/changelog.Debian.gz" "$doc/examples/example.sbf" \
    "$datadir/applications/$app.desktop" "$datadir/icons/hicolor/scalable/apps/$app.svg" \
    "$datadir/icons/hicolor/128x128/apps/$app.png" "$datadir/metainfo/$app.metainfo.xml" \
    "$datadir/mime/packages/$app.xml"; do
    [ -e "$prefix/$file" ] || fail "$file was not installed"
done
[ -L "$prefix/$doc/QMManual.pdf" ] || fail "$doc/QMManual.pdf is not a link"
cmp -s "$build/QMManual.pdf" "$prefix/$datadir/quillmarch/QMManual.pdf" ||
    fail "the installed manual differs"

version=$("$prefix/$bindir/quillmarch" --version) || fail "--version failed"
case $version in "quillmarch "[0-9]*) ;; *) fail "--version said: $version" ;; esac

# The example job, copied out of the prefix, with the debug log on.
work="$prefix/work"
cp -R "$prefix/$doc/examples" "$work"
status=0
(cd "$work" && XDG_STATE_HOME="$prefix/state" "$prefix/$bindir/quillmarch" --headless \
    example.sbf /b </dev/null 2>"$prefix/stderr") || status=$?
[ "$status" -eq 0 ] || { cat "$prefix/stderr" >&2; fail "the example job exited $status"; }
[ -s "$work/out/batch1.bif" ] || fail "the example job wrote no BIF file"
[ -s "$prefix/state/quillmarch/debug-QM.log" ] || fail "no debug log in the state folder"
[ ! -e "$prefix/$bindir/debug-QM.log" ] || fail "the installed program wrote into $bindir"
echo "ok: installed into $prefix and ran"
