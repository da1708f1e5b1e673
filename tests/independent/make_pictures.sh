#!/usr/bin/env bash
# Writes the test pictures made by tools this project did not write, and each tool's own
# reading of them, into OUTDIR:
#
#   pillow-W-{few,many}.pcx   Python Pillow          W = 160, 320, 640
#   netpbm-W-{few,many}.pcx   netpbm's ppmtopcx -8bit
#   magick-W-{few,many}.pcx   ImageMagick, indexed ("-type Palette")
#   netpbm-160-offset.pcx     ppmtopcx with the picture window at (10, 5)
#   pillow-rgb-160.pcx, pillow-bilevel-160.pcx, netpbm-default-640.pcx,
#   magick-default-160.pcx    what the tools write by default; the converter refuses these
#
# and, for every accepted kind, X.pcxtoppm.ppm (netpbm), X.magick.ppm (ImageMagick),
# X.pillow.ppm and X.pillow-index.pgm (Pillow). The many-colour sources are reduced to
# 256 colours by each tool itself (pnmquant, ImageMagick's -colors, Pillow's quantize).
#
# Uses /usr/bin/python3 (the system Python, which has Pillow) and /usr/bin/convert.
set -euo pipefail

out=$(realpath -m "${1:?usage: make_pictures.sh OUTDIR}")
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
magick=/usr/bin/convert

rm -rf "$out.tmp"
mkdir -p "$out.tmp"
cd "$out.tmp"

"$python" "$here/draw_sources.py" .

for w in 160 320 640; do
  ppmtopcx -8bit "src-$w-few.ppm" > "netpbm-$w-few.pcx" 2>/dev/null
  pnmquant 256 "src-$w-many.ppm" 2>/dev/null | ppmtopcx -8bit > "netpbm-$w-many.pcx" 2>/dev/null
  "$magick" "src-$w-few.ppm" -type Palette "PCX:magick-$w-few.pcx"
  "$magick" "src-$w-many.ppm" -colors 256 -type Palette "PCX:magick-$w-many.pcx"
done
ppmtopcx -8bit -xpos=10 -ypos=5 src-160-few.ppm > netpbm-160-offset.pcx 2>/dev/null
# Without -8bit, ppmtopcx picks its format from the number of colours: two give 1 bit.
ppmtopcx src-640-few.ppm > netpbm-default-640.pcx 2>/dev/null
# Without -type Palette, ImageMagick keeps a colour picture in three 8-bit planes.
"$magick" src-160-few.ppm "PCX:magick-default-160.pcx"

accepted=(pillow-*-few.pcx pillow-*-many.pcx netpbm-*-few.pcx netpbm-*-many.pcx magick-*-few.pcx
          magick-*-many.pcx netpbm-160-offset.pcx)
for f in "${accepted[@]}"; do
  stem=${f%.pcx}
  pcxtoppm "$f" > "$stem.pcxtoppm.ppm" 2>/dev/null
  "$magick" "PCX:$f" "PPM:$stem.magick.ppm"
done
"$python" "$here/read_back.py" "${accepted[@]}"

# Replace the old set only once the new one is complete.
cd /
rm -rf "$out"
mv "$out.tmp" "$out"
