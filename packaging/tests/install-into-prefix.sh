#!/bin/sh
# Installs the build into a fresh prefix and uses it as a user would: the files are in place,
# the program runs through its bin/ link, runs the installed example job, and its own folder
# (where it opens the manual and writes the debug log) is the one holding QMManual.pdf.
set -eu
cmake=$1 build=$2 bindir=$3 programdir=$4 datadir=$5
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$(mktemp -d "${TMPDIR:-/tmp}/qm-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

app=org.brackenfold.Quillmarch
for file in "$bindir/quillmarch" "$programdir/quillmarch" "$programdir/QMManual.pdf" \
    "$datadir/applications/$app.desktop" "$datadir/icons/hicolor/scalable/apps/$app.svg" \
    "$datadir/icons/hicolor/128x128/apps/$app.png" "$datadir/metainfo/$app.metainfo.xml" \
    "$datadir/mime/packages/$app.xml" "$datadir/quillmarch/examples/example.sbf"; do
    [ -e "$prefix/$file" ] || fail "$file was not installed"
done
[ -L "$prefix/$bindir/quillmarch" ] || fail "$bindir/quillmarch is not a link"
cmp -s "$build/QMManual.pdf" "$prefix/$programdir/QMManual.pdf" || fail "the installed manual differs"

version=$("$prefix/$bindir/quillmarch" --version) || fail "--version failed"
case $version in "quillmarch "[0-9]*) ;; *) fail "--version said: $version" ;; esac

# The example job, copied out of the prefix, with the debug log on.
work="$prefix/work"
cp -R "$prefix/$datadir/quillmarch/examples" "$work"
status=0
(cd "$work" && "$prefix/$bindir/quillmarch" --headless example.sbf /b </dev/null 2>"$prefix/stderr") || status=$?
[ "$status" -eq 0 ] || { cat "$prefix/stderr" >&2; fail "the example job exited $status"; }
[ -s "$work/out/batch1.bif" ] || fail "the example job wrote no BIF file"
[ -s "$prefix/$programdir/debug-QM.log" ] || fail "the program's folder is not $programdir"
echo "ok: installed into $prefix and ran"
