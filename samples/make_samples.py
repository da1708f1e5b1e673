#!/usr/bin/env python3
"""Draws the bundled sample pictures and writes them as 256-colour PCX files.

Uses only the standard library, so that the samples can be made again anywhere:
    python3 samples/make_samples.py samples/
"""
import math
import struct
import sys
from pathlib import Path


def pcx_bytes(width, height, pixels, palette):
    """A version-5, 8-bit, one-plane, run-length-encoded PCX file."""
    header = struct.pack(
        "<BBBBHHHHHH48sBBHHHH54s",
        10, 5, 1, 8,                 # marker, version, RLE, bits per pixel
        0, 0, width - 1, height - 1,  # picture window
        72, 72,                      # resolution
        bytes(48), 0, 1,             # 16-colour map, reserved, one plane
        width, 1, 0, 0,              # bytes per line, colour palette, screen size
        bytes(54))
    body = bytearray()
    for y in range(height):
        row = pixels[y * width:(y + 1) * width]
        x = 0
        while x < width:
            value = row[x]
            run = 1
            while x + run < width and row[x + run] == value and run < 63:
                run += 1
            if run > 1 or value >= 0xC0:
                body += bytes((0xC0 | run, value))
            else:
                body.append(value)
            x += run
    flat = bytearray(768)
    for i, (r, g, b) in enumerate(palette):
        flat[3 * i:3 * i + 3] = bytes((r, g, b))
    return header + bytes(body) + b"\x0c" + bytes(flat)


def sunset(width, height, colours):
    """Sky bands, a sun and hills; `colours` is the number of sky bands."""
    sky = [(255 * i // max(1, colours - 1), 60 + 120 * i // max(1, colours - 1), 200 - 180 * i // max(1, colours - 1))
           for i in range(colours)]
    palette = sky + [(255, 255, 120), (0, 120, 0), (0, 40, 0)]
    sun, hill, far_hill = colours, colours + 1, colours + 2
    aspect = width / 320
    pixels = []
    for y in range(height):
        for x in range(width):
            sx = x / aspect
            if y > 150 + 20 * math.sin(sx / 40):
                pixels.append(hill)
            elif y > 130 + 15 * math.sin(sx / 25 + 1):
                pixels.append(far_hill)
            elif (sx - 220) ** 2 + (y - 110) ** 2 < 30 ** 2:
                pixels.append(sun)
            else:
                pixels.append(min(colours - 1, y * colours // 140))
    return pixels, palette


def checkerboard(width, height):
    """Two colours: a black and white checkerboard with a diagonal band."""
    pixels = []
    for y in range(height):
        for x in range(width):
            pixels.append(1 if ((x // 16 + y // 8) % 2 == 0) != (abs(x // 2 - y) < 12) else 0)
    return pixels, [(0, 0, 0), (255, 255, 255)]


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent)
    out.mkdir(parents=True, exist_ok=True)
    # Mode 0: nine sky bands, sun and two hills: 12 colours, within the 16 pens.
    pixels, palette = sunset(160, 200, 9)
    (out / "sunset-mode0.pcx").write_bytes(pcx_bytes(160, 200, pixels, palette))
    # Mode 1: one sky colour, sun and hills: 4 colours, exactly the mode's pens.
    pixels, palette = sunset(320, 200, 1)
    (out / "sunset-mode1.pcx").write_bytes(pcx_bytes(320, 200, pixels, palette))
    # Mode 1 with six colours: two too many, to be fitted with --map.
    pixels, palette = sunset(320, 200, 3)
    (out / "sunset-mode1-six-colours.pcx").write_bytes(pcx_bytes(320, 200, pixels, palette))
    # Mode 2: two colours.
    pixels, palette = checkerboard(640, 200)
    (out / "checkerboard-mode2.pcx").write_bytes(pcx_bytes(640, 200, pixels, palette))


if __name__ == "__main__":
    main()
