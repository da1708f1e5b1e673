#!/usr/bin/python3
"""Decodes PCX files with Pillow, as Pillow sees them.

    read_back.py FILE.pcx...

For each FILE.pcx it writes FILE.pillow.ppm (the colour of every pixel) and, for an
indexed picture, FILE.pillow-index.pgm (the palette index of every pixel).
"""
import sys

from PIL import Image


def main():
    for name in sys.argv[1:]:
        with Image.open(name) as picture:
            picture.load()
            stem = name[:-len(".pcx")]
            picture.convert("RGB").save(stem + ".pillow.ppm")
            if picture.mode == "P":
                Image.frombytes("L", picture.size, picture.tobytes()).save(stem + ".pillow-index.pgm")


if __name__ == "__main__":
    main()
