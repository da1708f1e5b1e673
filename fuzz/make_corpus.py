#!/usr/bin/env python3
"""Writes the fuzzer's seed files into fuzz/corpus/: a few small pictures the converter
accepts and a few it must refuse. Standard library only:
    python3 fuzz/make_corpus.py fuzz/corpus
"""
import struct
import sys
from pathlib import Path


def header(width, height, bytes_per_line, version=5, bits=8, planes=1, palette_info=1):
    return struct.pack("<BBBBHHHHHH48sBBHHHH54s", 10, version, 1, bits, 0, 0, width - 1, height - 1,
                       72, 72, bytes(48), 0, planes, bytes_per_line, palette_info, 0, 0, bytes(54))


def runs(pixels):
    """Long runs (63 at most), crossing line ends, as a packed body."""
    body = bytearray()
    i = 0
    while i < len(pixels):
        n = 1
        while i + n < len(pixels) and pixels[i + n] == pixels[i] and n < 63:
            n += 1
        if n > 1 or pixels[i] > 0xC0:
            body += bytes((0xC0 + n, pixels[i]))
        else:
            body.append(pixels[i])
        i += n
    return bytes(body)


def palette(colours):
    flat = bytearray(768)
    for i, (r, g, b) in enumerate(colours):
        flat[3 * i:3 * i + 3] = bytes((r, g, b))
    return bytes(flat)


def picture(width, pixels, colours, **fields):
    return header(width, 200, width, **fields) + runs(pixels) + b"\x0c" + palette(colours)


def bands(width, count):
    return [(y * count // 200) for y in range(200) for _ in range(width)]


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent / "corpus")
    out.mkdir(parents=True, exist_ok=True)
    grey = [(i, i, i) for i in range(256)]
    mode0 = picture(160, bands(160, 12), [(255 * (i % 3) // 2, 255 * (i // 3 % 3) // 2, 255 * (i // 9) // 2)
                                           for i in range(27)])
    (out / "valid-mode0-bands.pcx").write_bytes(mode0)
    (out / "valid-mode1-four-bands.pcx").write_bytes(picture(320, bands(320, 4), grey[::64]))
    (out / "valid-mode2-two-bands.pcx").write_bytes(picture(640, bands(640, 2), [(0, 0, 0), (255, 255, 255)]))
    # Run values above 192 and single pixels of 192, which is not a run marker.
    odd = [0xC0 if (x + 3 * y) % 50 == 0 else 0xF0 for y in range(200) for x in range(160)]
    (out / "valid-mode0-high-indexes.pcx").write_bytes(picture(160, odd, grey))
    (out / "invalid-cut-short.pcx").write_bytes(mode0[:1500])
    (out / "invalid-version-3.pcx").write_bytes(picture(160, bands(160, 2), grey, version=3))
    (out / "invalid-empty-body.pcx").write_bytes(header(160, 200, 160) + bytes(768))
    (out / "invalid-mode-from-line-length.pcx").write_bytes(header(160, 200, 162) + runs(bands(160, 3)) + b"\x0c"
                                                           + palette(grey))


if __name__ == "__main__":
    main()
