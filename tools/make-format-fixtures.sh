#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the small picture files that tests/formats reads, into tests/formats/fixtures/.
# Needs ImageMagick's command-line tools (Debian package imagemagick) and python3. The files
# are committed; run this again only to change them.
#
# Every colour picture is the same 16 x 8 test card: pixel (x, y) has red = 16 x, green = 32 y,
# blue = (7 x y) mod 256; the tests compute it the same way. Grey pictures have grey = 16 x + 2 y.
# Formats ImageMagick cannot write (CUT, RLA, WMF, the Autodesk cel, Paint Shop Pro and the
# binary EPS wrapper) are put together byte by byte by tools/make_format_fixtures.py, and so
# are the orientation tags ImageMagick does not write and the PNG cut-out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/tests/formats/fixtures"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import sys
w, h = 16, 8
with open(sys.argv[1] + '/card.ppm', 'w') as f:
    f.write('P3\n%d %d\n255\n' % (w, h))
    for y in range(h):
        f.write(' '.join('%d %d %d' % (16 * x, 32 * y, (7 * x * y) % 256) for x in range(w)) + '\n')
with open(sys.argv[1] + '/grey.pgm', 'w') as f:
    f.write('P2\n%d %d\n255\n' % (w, h))
    for y in range(h):
        f.write(' '.join('%d' % (16 * x + 2 * y) for x in range(w)) + '\n')
with open(sys.argv[1] + '/checker.pbm', 'w') as f:
    f.write('P1\n%d %d\n' % (w, h))
    for y in range(h):
        f.write(' '.join('%d' % ((x + y) % 2) for x in range(w)) + '\n')
PY
card="$work/card.ppm"
grey="$work/grey.pgm"

# JPEG: colour, grey, CMYK (Adobe, inverted inks) and progressive.
convert "$card" -strip -quality 95 -sampling-factor 1x1 "$out/card.jpg"
convert "$grey" -strip -quality 95 "$out/grey.jpg"
convert "$card" -strip -quality 95 -colorspace CMYK "$out/cmyk.jpg"
convert "$card" -strip -quality 95 -sampling-factor 1x1 -interlace JPEG "$out/progressive.jpg"

# TIFF: every compression a writer commonly uses, and the other layouts.
for c in None LZW Zip RLE; do
    convert "$card" -strip -compress $c "$out/card-$(echo $c | tr A-Z a-z).tif"
done
convert "$card" -strip -compress JPEG -quality 95 -sampling-factor 1x1 "$out/card-jpeg.tif"
convert "$card" -strip -compress LZW -define tiff:predictor=2 "$out/card-lzw-predictor.tif"
convert "$card" -strip -interlace Plane "$out/card-planar.tif"
convert "$card" -strip -define tiff:tile-geometry=16x16 "$out/card-tiled.tif"
convert "$card" -strip -depth 16 "$out/card-16bit.tif"
convert "$card" -strip -orient BottomLeft "$out/card-bottomleft.tif"
convert "$grey" -strip -compress LZW "$out/grey.tif"
convert "$card" -strip -type Palette "$out/card-palette.tif"
convert "$card" -strip -alpha set -channel A -fx "0.5" +channel -define tiff:alpha=unassociated "$out/card-alpha.tif"

# PNG: colour, grey, palette, 16 bits, interlaced, with alpha.
convert "$card" -strip "PNG24:$out/card.png"
convert "$grey" -strip "PNG8:$out/grey.png"
convert "$card" -strip "PNG8:$out/card-palette.png"
convert "$card" -strip -depth 16 "PNG48:$out/card-16bit.png"
convert "$card" -strip -interlace PNG "PNG24:$out/card-interlaced.png"
convert "$card" -strip -alpha set -channel A -fx "0.5" +channel "PNG32:$out/card-alpha.png"

# Turned pictures: the card stored as a camera leaves it, so that turning it as the Orientation
# tag says shows it upright. JPEG has all eight (the EXIF segment is put in by
# make_format_fixtures.py, from the stored pictures left in the work folder), TIFF one, PNG
# and Photoshop one each (their EXIF data added by make_format_fixtures.py too).
stored=("" "-flop" "-rotate 180" "-flip" "-transpose" "-rotate 270" "-transverse" "-rotate 90")
for o in 1 2 3 4 5 6 7 8; do
    # shellcheck disable=SC2086
    convert "$card" ${stored[o - 1]} -strip -quality 95 -sampling-factor 1x1 "$work/orient$o.jpg"
done
convert "$card" -transverse -strip -orient RightBottom -compress LZW "$out/card-orient7.tif"
convert "$card" -rotate 270 -strip "PNG24:$work/orient6.png"
convert "$card" -rotate 90 -strip "$work/orient8.psd"

# Transparency: the card at half opacity as a 32-bit Targa (the formats ImageMagick reads).
convert "$card" -strip -alpha set -channel A -fx "0.5" +channel "$out/card-alpha.tga"

# The formats read through ImageMagick.
convert "$card" -strip "$out/card.psd"
convert "$card" -strip -compress RLE "$out/card-rle.tga"
convert "$card" -strip -compress None "$out/card.tga"
convert "$card" -strip "$out/card.pcx"
convert "$card" -strip -compress RLE "$out/card.sgi"
convert "$card" -strip "$out/card.ppm"
convert "$grey" -strip "$out/grey.pgm"
convert "$work/checker.pbm" -strip "$out/checker.pbm"
convert "$card" -strip "$out/card.ico"

python3 "$root/tools/make_format_fixtures.py" "$card" "$out/card-lzw.tif" "$out"
ls -l "$out"
