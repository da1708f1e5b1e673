// Decoding an ordinary picture file (PNG, JPEG, GIF, BMP, WebP, and PCX pictures that the
// Open command does not take) into linear light, with the libraries each format's
// maintainers keep for untrusted files. The kind is found from the file's first bytes.
#pragma once

#include "import/linear_image.h"
#include "main/expected.h"

#include <optional>
#include <span>
#include <string>

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

// The name of the picture's kind from its first bytes ("PNG", "JPEG", "GIF", "BMP", "WebP",
// "PCX"), or nothing for a kind this program does not read. Decodes nothing.
std::optional<std::string> pictureKindName(std::span<const Byte> file);

// Decodes the file's bytes: EXIF orientation applied, an embedded ICC profile converted
// to sRGB, alpha flattened onto the background, then the sRGB curve undone.
Expected<LinearImage> decodePicture(std::span<const Byte> file, const DecodeOptions& options);

}  // namespace varnoke
