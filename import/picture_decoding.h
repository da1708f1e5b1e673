// Decoding an ordinary picture file (PNG, JPEG, GIF, BMP, WebP, and PCX pictures that the
// Open command does not take) into linear light, with the libraries each format's
// maintainers keep for untrusted files. The kind is found from the file's first bytes.
#pragma once

#include "import/linear_image.h"
#include "main/expected.h"

#include <span>

namespace varnoke {

struct DecodeOptions {
    // Transparent pixels are flattened onto this colour (sRGB).
    Rgb background{0, 0, 0};
    // Scale large JPEG pictures down while decoding, as long as the result keeps at
    // least this many pixels a side (0: never scale).
    int minimumSide = 0;
};

// Pictures larger than either limit are refused before any pixel is decoded.
inline constexpr long long kMaxPicturePixels = 100'000'000;
inline constexpr int kMaxPictureSide = 30'000;

// Decodes the file's bytes: EXIF orientation applied, an embedded ICC profile converted
// to sRGB, alpha flattened onto the background, then the sRGB curve undone.
Expected<LinearImage> decodePicture(std::span<const Byte> file, const DecodeOptions& options);

}  // namespace varnoke
