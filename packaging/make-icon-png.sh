#!/bin/sh
# Makes the PNG icon from the SVG icon with ImageMagick alone (no SVG renderer needed): the
# SVG uses only <rect> and <polygon> on a 128 x 128 canvas, which map onto -draw primitives.
# Run it after editing the SVG and commit both files.
set -eu
cd "$(dirname "$0")"
svg=org.brackenfold.Quillmarch.svg
png=org.brackenfold.Quillmarch.png

draws=$(awk '
    function attr(name,   m) {
        if (match($0, name "=\"[^\"]*\"")) { m = substr($0, RSTART, RLENGTH); sub(/^[^"]*"/, "", m); sub(/"$/, "", m); return m }
        return ""
    }
    /<rect / {
        x = attr("x"); y = attr("y"); w = attr("width"); h = attr("height"); r = attr("rx")
        if (r == "") printf "-fill\n%s\n-draw\nrectangle %s,%s %s,%s\n", attr("fill"), x, y, x + w - 1, y + h - 1
        else printf "-fill\n%s\n-draw\nroundrectangle %s,%s %s,%s %s,%s\n", attr("fill"), x, y, x + w - 1, y + h - 1, r, r
    }
    /<polygon / { p = attr("points"); gsub(/ /, "  ", p); printf "-fill\n%s\n-draw\npolygon %s\n", attr("fill"), p }
' "$svg")

old_ifs=$IFS
IFS='
'
# shellcheck disable=SC2086 # one argument per line of $draws
convert -size 128x128 xc:none $draws -strip "PNG32:$png"
IFS=$old_ifs
echo "wrote $png"
