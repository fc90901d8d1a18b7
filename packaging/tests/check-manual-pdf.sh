#!/bin/sh
# The manual rendered at build time is a real PDF of several pages that holds the whole
# manual, not an empty page or a file cut short, with every picture its Markdown source
# (the second argument) shows.
set -eu
pdf=$1
source=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

[ -f "$pdf" ] || fail "$pdf is missing"
[ "$(head -c 5 "$pdf")" = "%PDF-" ] || fail "$pdf does not start like a PDF"
tail -c 64 "$pdf" | grep -q '%%EOF' || fail "$pdf has no end marker"
size=$(wc -c <"$pdf")
[ "$size" -gt 50000 ] || fail "$pdf holds only $size bytes"
pages=$(grep -a -c '/Type /Page$\|/Type /Page[^s]' "$pdf" || true)
[ "$pages" -ge 8 ] || fail "$pdf has $pages pages"

if command -v pdftotext >/dev/null 2>&1; then
    text=$(pdftotext -layout "$pdf" -)
    # The first heading, a line of the job file table, the service, and the last section.
    for wanted in "Quillmarch User's Manual" "Skip Header Row" "journalctl -t quillmarch" \
        "Other messages"; do
        printf '%s' "$text" | grep -qF -- "$wanted" || fail "the text lacks: $wanted"
    done
fi
# Every picture is an image object of its own; an empty frame or a caption standing in for a
# picture is none.
wanted=$(grep -o '!\[[^]]*\]([^)]*)' "$source" | wc -l)
[ "$wanted" -ge 1 ] || fail "$source shows no picture"
images=$(grep -a -c '/Subtype /Image' "$pdf" || true)
[ "$images" -ge "$wanted" ] || fail "$pdf holds $images of the $wanted pictures"
if command -v pdfimages >/dev/null 2>&1; then
    listed=$(pdfimages -list "$pdf" | tail -n +3 | wc -l)
    [ "$listed" -ge "$wanted" ] || fail "pdfimages lists $listed of the $wanted pictures"
fi
echo "ok: $pdf, $pages pages, $size bytes, $images pictures"
