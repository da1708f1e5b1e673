#!/usr/bin/python3
"""Writes pictures of every format that the import reads, made by tools this project did
not write (Pillow and ImageMagick), into OUTDIR, each beside the tool's own reading of it:
NAME.EXT and NAME.EXT.ppm (8-bit RGB; transparent pixels, which the sources have only fully
on or off, read as black, the converter's default background).

Usage: make_import_pictures.py OUTDIR
"""
import io
import os
import struct
import subprocess
import sys
import zlib

from PIL import Image, ImageCms, ImageOps

MAGICK = "/usr/bin/convert"


def source(width=37, height=23, alpha=False):
    """A picture with smooth ramps, a few flat colours and, when asked, a transparent corner."""
    im = Image.new("RGBA", (width, height))
    for y in range(height):
        for x in range(width):
            r = 255 * x // (width - 1)
            g = 255 * y // (height - 1)
            b = (x * 37 + y * 91) % 256
            a = 0 if alpha and x < width // 4 and y < height // 3 else 255
            im.putpixel((x, y), (r, g, b, a))
    return im


def flat(im):
    """The RGB picture as read, transparent pixels black."""
    im = im.convert("RGBA")
    back = Image.new("RGBA", im.size, (0, 0, 0, 255))
    return Image.alpha_composite(back, im).convert("RGB")


def pillow(name, im, fmt, **options):
    im.save(name, fmt, **options)
    with Image.open(name) as back:
        flat(back).save(name + ".ppm")


def magick(name, args, read_args=()):
    subprocess.run([MAGICK, "src.png", *args, name], check=True)
    file = name.split(":")[-1]
    subprocess.run([MAGICK, *read_args, file, "-background", "black", "-flatten", "-depth", "8",
                    "PPM:" + file + ".ppm"], check=True)


def wide_gamut_profile():
    """An ICC v2 RGB profile written here: Adobe RGB (1998) primaries adapted to D50, gamma
    563/256. Its pixels differ from sRGB's, so a reader that ignores it reads them wrong."""
    def xyz(x, y, z):
        return b"XYZ \0\0\0\0" + struct.pack(">iii", *(round(v * 65536) for v in (x, y, z)))
    curve = b"curv\0\0\0\0" + struct.pack(">IH", 1, 563) + b"\0\0"
    text = b"wide gamut test\0"
    tags = [(b"desc", b"desc\0\0\0\0" + struct.pack(">I", len(text)) + text + bytes(12 + 67)),
            (b"wtpt", xyz(0.9642, 1.0, 0.8249)), (b"rXYZ", xyz(0.6097, 0.3111, 0.0195)),
            (b"gXYZ", xyz(0.2053, 0.6257, 0.0609)), (b"bXYZ", xyz(0.1492, 0.0632, 0.7446)),
            (b"rTRC", curve), (b"gTRC", curve), (b"bTRC", curve),
            (b"cprt", b"text\0\0\0\0" + b"none\0\0\0\0")]
    table, data = b"", b""
    offset = 128 + 4 + 12 * len(tags)
    for sig, body in tags:
        table += sig + struct.pack(">II", offset + len(data), len(body))
        data += body + bytes(-len(body) % 4)
    size = offset + len(data)
    header = (struct.pack(">I", size) + b"none" + bytes([2, 0x10, 0, 0]) + b"mntrRGB XYZ " + bytes(12) +
              b"acspAPPL" + bytes(4) + b"none" + bytes(4) + bytes(8) + bytes(4) +
              struct.pack(">iii", 63190, 65536, 54061) + bytes(4) + bytes(16) + bytes(28))
    assert len(header) == 128
    return header + struct.pack(">I", len(tags)) + table + data


def with_profile(name, im, fmt, **options):
    """IM saved with an embedded profile; the reading is Pillow's conversion to sRGB. Its
    first pixel is given a colour that the conversion changes (the source's is black)."""
    profile = wide_gamut_profile()
    im = im.copy()
    im.putpixel((0, 0), (200, 60, 20))
    im.save(name, fmt, icc_profile=profile, **options)
    with Image.open(name) as back:
        source_profile = ImageCms.ImageCmsProfile(io.BytesIO(back.info["icc_profile"]))
        ImageCms.profileToProfile(back.convert("RGB"), source_profile, ImageCms.createProfile("sRGB"),
                                  renderingIntent=ImageCms.Intent.PERCEPTUAL).save(name + ".ppm")


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    os.chdir(out)
    rgba = source(alpha=True)
    rgb = source().convert("RGB")
    rgb.save("src.png")
    # PNG: colour types and depths, interlaced, with alpha.
    pillow("pillow-rgb.png", rgb, "PNG")
    pillow("pillow-rgba.png", rgba, "PNG")
    pillow("pillow-palette.png", rgb.quantize(50), "PNG")
    pillow("pillow-grey.png", rgb.convert("L"), "PNG")
    pillow("pillow-bilevel.png", rgb.convert("1"), "PNG")
    magick("PNG48:magick-rgb16.png", ["-depth", "16"])
    magick("PNG:magick-interlaced.png", ["-interlace", "PNG"])
    magick("PNG:magick-grey16.png", ["-colorspace", "Gray", "-depth", "16"])
    with_profile("pillow-profile.png", rgb, "PNG")
    with_profile("pillow-profile.jpg", rgb, "JPEG", quality=95)
    # 16 bits without any chunk about gamma or colour: sRGB samples, like 8 bits.
    magick("PNG48:magick-rgb16-plain.png", ["-depth", "16", "-define", "png:exclude-chunk=gAMA,cHRM,sRGB,iCCP"])
    # JPEG: baseline, progressive, grey, CMYK (ImageMagick writes Adobe's inverted CMYK).
    pillow("pillow-baseline.jpg", rgb, "JPEG", quality=90)
    pillow("pillow-progressive.jpg", rgb, "JPEG", quality=90, progressive=True)
    pillow("pillow-grey.jpg", rgb.convert("L"), "JPEG", quality=90)
    magick("JPEG:magick-cmyk.jpg", ["-colorspace", "CMYK", "-quality", "95"], ["-colorspace", "sRGB"])
    # GIF: palette, transparency, interlacing.
    pillow("pillow-transparent.gif", rgba.convert("RGB").quantize(64), "GIF", transparency=0)
    magick("GIF:magick-interlaced.gif", ["-interlace", "GIF"])
    # A first frame smaller than the screen, away from its corners.
    subprocess.run([MAGICK, "-size", "20x10", "xc:#3060C0", "-repage", "37x23+5+4", "GIF:magick-offset-frame.gif"],
                   check=True)
    subprocess.run([MAGICK, "magick-offset-frame.gif", "-background", "black", "-flatten", "-depth", "8",
                    "PPM:magick-offset-frame.gif.ppm"], check=True)
    # BMP: 24-bit, 8-bit palette, 1-bit, 16-bit 565, RLE8, 32-bit with alpha.
    pillow("pillow-rgb.bmp", rgb, "BMP")
    pillow("pillow-palette.bmp", rgb.quantize(40), "BMP")
    pillow("pillow-bilevel.bmp", rgb.convert("1"), "BMP")
    magick("BMP:magick-rgb565.bmp", ["-define", "bmp:subtype=RGB565"])
    magick("BMP3:magick-rle8.bmp", ["-colors", "60", "-type", "Palette", "-compress", "RLE"])
    subprocess.run([MAGICK, "-size", "37x23", "xc:none", "-fill", "#20C040", "-draw", "rectangle 9,7 30,20",
                    "BMP:magick-alpha.bmp"], check=True)
    subprocess.run([MAGICK, "magick-alpha.bmp", "-background", "black", "-flatten", "-depth", "8",
                    "PPM:magick-alpha.bmp.ppm"], check=True)
    # WebP: lossless with alpha, lossy.
    pillow("pillow-lossless.webp", rgba, "WEBP", lossless=True)
    pillow("pillow-lossy.webp", rgb, "WEBP", quality=90)
    pillow("pillow-animated.webp", rgb, "WEBP", lossless=True, save_all=True,
           append_images=[ImageOps.invert(rgb)], duration=100)
    # Wider than most screens, well within the size limit.
    pillow("pillow-wide.png", source(4000, 3).convert("RGB"), "PNG")
    # PCX that the Open command refuses: 24-bit, 1-bit, 8-bit of another size.
    pillow("pillow-rgb.pcx", rgb, "PCX")
    pillow("pillow-bilevel.pcx", rgb.convert("1"), "PCX")
    pillow("pillow-palette.pcx", rgb.quantize(30), "PCX")
    # EXIF orientation 1 to 8, in PNG (eXIf) and JPEG (APP1): the reading is upright.
    for value in range(1, 9):
        exif = Image.Exif()
        exif[0x0112] = value
        for ext, fmt, opts in (("png", "PNG", {}), ("jpg", "JPEG", {"quality": 95})):
            name = f"pillow-orientation{value}.{ext}"
            rgb.save(name, fmt, exif=exif, **opts)
            with Image.open(name) as back:
                ImageOps.exif_transpose(back).convert("RGB").save(name + ".ppm")
    # Pictures the import refuses: too large (headers only), too small, invisible.
    ihdr = struct.pack(">IIBBBBB", 40000, 20000, 8, 2, 0, 0, 0)
    with open("refused-huge.png", "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + b"IHDR" + ihdr +
                struct.pack(">I", zlib.crc32(b"IHDR" + ihdr)))
    with open("refused-huge.gif", "wb") as f:
        f.write(b"GIF89a" + struct.pack("<HHBBB", 20000, 20000, 0, 0, 0) + b",\0\0\0\0" +
                struct.pack("<HHB", 20000, 20000, 0) + b"\x08\x02\x4c\x01\0;")
    rgb.resize((1, 1)).save("refused-one-pixel.png")
    Image.new("RGBA", (30, 20), (255, 0, 0, 0)).save("refused-transparent.png")
    with open("refused-text.png", "w") as f:
        f.write("this is not a picture\n")
    os.remove("src.png")


main()
