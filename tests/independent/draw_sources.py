#!/usr/bin/python3
"""Draws the source pictures that the independent tools turn into PCX files, and writes
the Pillow-made PCX files themselves.

    draw_sources.py OUTDIR

For each width (160, 320, 640 pixels, 200 lines) it writes OUTDIR/src-W-few.ppm (a few
colours taken from the CPC's levels, so that each becomes a distinct CPC colour) and
OUTDIR/src-W-many.ppm (smooth gradients, far more than 256 colours), and from them
OUTDIR/pillow-W-few.pcx (an indexed picture with exactly those colours) and
OUTDIR/pillow-W-many.pcx (the gradients reduced to 256 colours by Pillow).
It also writes the pictures Pillow makes in its other modes, which the converter must
refuse: pillow-rgb-160.pcx (three planes) and pillow-bilevel-160.pcx (one bit per pixel).
"""
import sys
from pathlib import Path

from PIL import Image

WIDTHS = (160, 320, 640)
HEIGHT = 200
# As many colours as the mode has pens at most: 16, 4, 2 pens for 160, 320, 640 pixels.
FEW = {160: 9, 320: 4, 320 * 2: 2}
LEVELS = (0, 128, 255)


def level_colours(count):
    """`count` distinct colours made of the levels 0, 128 and 255, spread over the cube."""
    colours = []
    for n in range(27):
        step = (n * 10) % 27  # walk the 27 combinations in a scattered order
        colours.append((LEVELS[(step // 3) % 3], LEVELS[step // 9], LEVELS[step % 3]))
        if len(colours) == count:
            break
    return colours


def few_indexes(width):
    """Blocks in the upper half, pseudo-random pixels in the lower half: both long runs
    and runs of one pixel, so every bit position of a screen byte gets both values."""
    count = FEW[width]
    seed = 12345
    out = []
    for y in range(HEIGHT):
        for x in range(width):
            if y < HEIGHT // 2:
                out.append((x // 5 + y // 7) % count)
            else:
                seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
                out.append((seed >> 16) % count)
    return out


def many_rgb(width):
    out = bytearray()
    for y in range(HEIGHT):
        for x in range(width):
            out += bytes((255 * x // (width - 1), 255 * y // (HEIGHT - 1), (3 * x + 5 * y) % 256))
    return bytes(out)


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for width in WIDTHS:
        colours = level_colours(FEW[width])
        indexed = Image.new("P", (width, HEIGHT))
        indexed.putpalette([c for rgb in colours for c in rgb])
        indexed.putdata(few_indexes(width))
        indexed.save(out / f"pillow-{width}-few.pcx")
        indexed.convert("RGB").save(out / f"src-{width}-few.ppm")

        gradient = Image.frombytes("RGB", (width, HEIGHT), many_rgb(width))
        gradient.save(out / f"src-{width}-many.ppm")
        gradient.quantize(256).save(out / f"pillow-{width}-many.pcx")

    source = Image.open(out / "src-160-few.ppm")
    source.save(out / "pillow-rgb-160.pcx")
    source.convert("1").save(out / "pillow-bilevel-160.pcx")


if __name__ == "__main__":
    main()
