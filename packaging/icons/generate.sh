#!/usr/bin/env bash
# Redraws the installed icons from the 16 x 16 window icon
# (resources/zoftrel.xpm): PNGs at 16, 32, 48 and 128 pixels, scaled by
# whole factors without smoothing, and an SVG of the same pixels. The
# results are committed; run this again after changing the window icon.
# Needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
XPM=../../resources/zoftrel.xpm
CONVERT=/usr/bin/convert
[[ -x $CONVERT ]] || CONVERT=convert

for size in 16 32 48 128; do
  "$CONVERT" "$XPM" -filter point -resize "${size}x${size}" -strip \
    -define png:exclude-chunks=date,time "PNG32:zoftrel-$size.png"
done

# One rectangle for each run of equal pixels in a row of the picture.
awk '
  /^"[0-9]+ [0-9]+ [0-9]+ [0-9]+"/ {
    gsub(/"|,/, ""); split($0, h, " "); w = h[1]; ncol = h[3]; next
  }
  /^"/ && ncol > 0 {
    line = $0; sub(/^"/, "", line); sub(/",?$/, "", line)
    ch = substr(line, 1, 1); rest = substr(line, 2)
    if (rest ~ /^[ \t]+c /) { sub(/^[ \t]+c /, "", rest); colour[ch] = rest; ncol--; next }
  }
  /^"/ && ncol == 0 {
    line = $0; sub(/^"/, "", line); sub(/",?$/, "", line)
    x = 0
    while (x < length(line)) {
      c = substr(line, x + 1, 1); n = 1
      while (x + n < length(line) && substr(line, x + n + 1, 1) == c) n++
      if (colour[c] != "None")
        rects = rects sprintf("  <rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"1\" fill=\"%s\"/>\n", x, y, n, colour[c])
      x += n
    }
    y++
  }
  END {
    printf "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    printf "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" shape-rendering=\"crispEdges\">\n", w * 8, w * 8, w, y
    printf "  <title>Zoftrel</title>\n"
    printf "%s", rects
    printf "</svg>\n"
  }
' y=0 "$XPM" >zoftrel.svg
