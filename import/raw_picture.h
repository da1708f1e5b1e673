// What each format's decoder hands on: 8-bit sRGB pixels with alpha, as the file stores
// them, and what the file says about them (its colour profile and its orientation).
// The common steps after it (profile, orientation, alpha, linear light) are the same for
// every format.
#pragma once

#include "import/linear_image.h"
#include "main/expected.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace varnoke {

// The EXIF orientation: how the stored pixels must be turned to stand upright.
// 1 upright, 2 mirrored, 3 turned half, 4 flipped, 5 transposed, 6 turned a quarter
// clockwise, 7 transversed, 8 turned a quarter anticlockwise (the EXIF tag's values).
enum class Orientation : std::uint8_t {
    Upright = 1,
    Mirrored,
    HalfTurn,
    Flipped,
    Transposed,
    QuarterClockwise,
    Transversed,
    QuarterAnticlockwise
};

struct RawPicture {
    int width = 0;
    int height = 0;
    std::vector<Byte> rgba;        // 4 bytes per pixel, rows from the top
    std::vector<Byte> iccProfile;  // empty: sRGB
    Orientation orientation = Orientation::Upright;

    std::size_t pixelCountBytes() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    }
};

// Refuses a size outside 1..kMaxPictureSide a side or above kMaxPicturePixels in all,
// naming the format: every decoder calls it before it allocates the pixels.
Expected<void> checkPictureSize(const char* format, long long width, long long height);

// The format decoders. Each checks the size before it decodes a pixel.
Expected<RawPicture> decodePng(std::span<const Byte> file);
Expected<RawPicture> decodeJpeg(std::span<const Byte> file, int minimumSide);
Expected<RawPicture> decodeGif(std::span<const Byte> file);
Expected<RawPicture> decodeBmp(std::span<const Byte> file);
Expected<RawPicture> decodeWebp(std::span<const Byte> file);
Expected<RawPicture> decodePcxPicture(std::span<const Byte> file);

// The orientation that an EXIF block (a TIFF structure, "II*\0" or "MM\0*" first) gives;
// Upright when the block holds none or cannot be read.
Orientation exifOrientation(std::span<const Byte> tiff);

// Converts the pixels from the embedded RGB profile to sRGB and forgets the profile. A
// profile that lcms2 cannot read, or of another colour space, leaves the pixels as they are.
void applyColourProfile(RawPicture& picture);

// CMYK pixels (4 bytes each, `inverted` when 255 means no ink, as Adobe writes them) to
// the RGBA of `picture`, through the CMYK profile when there is one that lcms2 reads.
void cmykToRgba(std::span<const Byte> cmyk, bool inverted, std::span<const Byte> profile, std::span<Byte> rgba);

}  // namespace varnoke
