#include "import/picture_decoding.h"

#include "import/colour_science.h"
#include "import/raw_picture.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace varnoke {
namespace {

enum class PictureKind { Png, Jpeg, Gif, Bmp, Webp, Pcx, Unknown };

bool startsWith(std::span<const Byte> file, std::initializer_list<int> signature, std::size_t offset = 0) {
    if (file.size() < offset + signature.size()) return false;
    std::size_t i = offset;
    for (const int byte : signature)
        if (file[i++] != byte) return false;
    return true;
}

// The kind from the file's first bytes, whatever its name says.
PictureKind kindOf(std::span<const Byte> file) {
    if (startsWith(file, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return PictureKind::Png;
    if (startsWith(file, {0xFF, 0xD8, 0xFF})) return PictureKind::Jpeg;
    if (startsWith(file, {'G', 'I', 'F', '8'})) return PictureKind::Gif;
    if (startsWith(file, {'B', 'M'})) return PictureKind::Bmp;
    if (startsWith(file, {'R', 'I', 'F', 'F'}) && startsWith(file, {'W', 'E', 'B', 'P'}, 8)) return PictureKind::Webp;
    if (startsWith(file, {10}) && file.size() > 3 && file[1] <= 5 && file[2] <= 1) return PictureKind::Pcx;
    return PictureKind::Unknown;
}

Expected<RawPicture> decodeRaw(std::span<const Byte> file, const DecodeOptions& options) {
    if (file.empty()) return Failure{"the file is empty"};
    switch (kindOf(file)) {
        case PictureKind::Png: return decodePng(file);
        case PictureKind::Jpeg: return decodeJpeg(file, options.minimumSide);
        case PictureKind::Gif: return decodeGif(file);
        case PictureKind::Bmp: return decodeBmp(file);
        case PictureKind::Webp: return decodeWebp(file);
        case PictureKind::Pcx: return decodePcxPicture(file);
        case PictureKind::Unknown: break;
    }
    return Failure{
        "the file is not a picture of a kind this program reads (PNG, JPEG, GIF, BMP, WebP or PCX): "
        "its first bytes match none of them"};
}

// The largest whole factor that keeps at least `minimumSide` pixels on the shorter side.
int shrinkFactor(int width, int height, int minimumSide) {
    if (minimumSide <= 0) return 1;
    return std::max(1, std::min(width, height) / minimumSide);
}

// Linear light, alpha flattened onto the background, pixel for pixel.
LinearImage toLinearWhole(const RawPicture& raw, const std::array<float, 3>& back) {
    const std::array<float, 256>& linear = linearOfByte();
    LinearImage image{raw.width, raw.height, {}};
    image.rgb.resize(3 * image.pixelCount());
    const Byte* in = raw.rgba.data();
    float* out = image.rgb.data();
    for (std::size_t i = 0; i < image.pixelCount(); ++i, in += 4, out += 3) {
        const float alpha = static_cast<float>(in[3]) / 255.0f;
        for (std::size_t c = 0; c < 3; ++c) out[c] = alpha * linear[in[c]] + (1.0f - alpha) * back[c];
    }
    return image;
}

// Linear light, alpha flattened onto the background, each block of factor × factor
// pixels averaged into one (the last, partial blocks average what they hold).
LinearImage toLinear(const RawPicture& raw, Rgb background, int factor) {
    const std::array<float, 256>& linear = linearOfByte();
    const std::array<float, 3> back{linear[background.r], linear[background.g], linear[background.b]};
    if (factor == 1) return toLinearWhole(raw, back);
    LinearImage image;
    image.width = (raw.width + factor - 1) / factor;
    image.height = (raw.height + factor - 1) / factor;
    image.rgb.assign(image.pixelCount() * 3, 0.0f);
    std::vector<float> weight(static_cast<std::size_t>(image.width), 0.0f);
    for (int y = 0; y < raw.height; ++y) {
        float* row = image.pixel(0, y / factor);
        const Byte* in = raw.rgba.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(raw.width) * 4;
        for (int x = 0; x < raw.width; ++x, in += 4) {
            const float alpha = static_cast<float>(in[3]) / 255.0f;
            float* out = row + 3 * (x / factor);
            for (std::size_t c = 0; c < 3; ++c) out[c] += alpha * linear[in[c]] + (1.0f - alpha) * back[c];
        }
        if ((y + 1) % factor != 0 && y + 1 != raw.height) continue;
        const int rows = y % factor + 1;
        for (int x = 0; x < image.width; ++x) {
            const int columns = std::min(factor, raw.width - x * factor);
            const float scale = 1.0f / static_cast<float>(rows * columns);
            for (std::size_t c = 0; c < 3; ++c) row[3 * static_cast<std::size_t>(x) + c] *= scale;
        }
    }
    return image;
}

// Turns the picture upright as its EXIF orientation says.
LinearImage turnUpright(LinearImage image, Orientation orientation) {
    if (orientation == Orientation::Upright) return image;
    const int value = static_cast<int>(orientation);
    const bool swap = value >= 5;
    LinearImage out;
    out.width = swap ? image.height : image.width;
    out.height = swap ? image.width : image.height;
    out.rgb.resize(image.rgb.size());
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            // The stored pixel that lands at (x, y) of the upright picture.
            int sx = x;
            int sy = y;
            switch (orientation) {
                case Orientation::Mirrored: sx = image.width - 1 - x; break;
                case Orientation::HalfTurn:
                    sx = image.width - 1 - x;
                    sy = image.height - 1 - y;
                    break;
                case Orientation::Flipped: sy = image.height - 1 - y; break;
                case Orientation::Transposed:
                    sx = y;
                    sy = x;
                    break;
                case Orientation::QuarterClockwise:
                    sx = y;
                    sy = image.height - 1 - x;
                    break;
                case Orientation::Transversed:
                    sx = image.width - 1 - y;
                    sy = image.height - 1 - x;
                    break;
                case Orientation::QuarterAnticlockwise:
                    sx = image.width - 1 - y;
                    sy = x;
                    break;
                case Orientation::Upright: break;
            }
            std::copy_n(image.pixel(sx, sy), 3, out.pixel(x, y));
        }
    }
    return out;
}

bool fullyTransparent(const RawPicture& raw) {
    for (std::size_t i = 3; i < raw.rgba.size(); i += 4)
        if (raw.rgba[i] != 0) return false;
    return true;
}

}  // namespace

Expected<void> checkPictureSize(const char* format, long long width, long long height) {
    const std::string size = std::to_string(width) + " × " + std::to_string(height);
    if (width <= 0 || height <= 0)
        return Failure{std::string("the ") + format + " picture has no pixels (" + size + ")"};
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels)
        return Failure{std::string("the ") + format + " picture is " + size +
                       " pixels, more than this program takes (30000 pixels a side, 100 megapixels in all)"};
    if (width < 2 || height < 2)
        return Failure{std::string("the ") + format + " picture is only " + size +
                       " pixels: a picture needs at least 2 pixels a side to fill a screen"};
    return {};
}

std::optional<std::string> pictureKindName(std::span<const Byte> file) {
    switch (kindOf(file)) {
        case PictureKind::Png: return "PNG";
        case PictureKind::Jpeg: return "JPEG";
        case PictureKind::Gif: return "GIF";
        case PictureKind::Bmp: return "BMP";
        case PictureKind::Webp: return "WebP";
        case PictureKind::Pcx: return "PCX";
        case PictureKind::Unknown: break;
    }
    return std::nullopt;
}

Expected<LinearImage> decodePicture(std::span<const Byte> file, const DecodeOptions& options) {
    Expected<RawPicture> decoded = decodeRaw(file, options);
    if (!decoded) return Failure{decoded.reason()};
    RawPicture& raw = decoded.value();
    if (raw.rgba.size() != raw.pixelCountBytes()) return Failure{"the picture's decoder gave too few pixels"};
    if (fullyTransparent(raw))
        return Failure{"every pixel of the picture is fully transparent: it shows nothing to convert"};
    applyColourProfile(raw);
    const int factor = shrinkFactor(raw.width, raw.height, options.minimumSide);
    LinearImage image = toLinear(raw, options.background, factor);
    const Orientation orientation = raw.orientation;
    raw = RawPicture{};  // the 8-bit pixels are no longer needed
    return turnUpright(std::move(image), orientation);
}

}  // namespace varnoke
