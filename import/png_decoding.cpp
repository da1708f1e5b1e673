// PNG through libpng's simplified API, which reads every bit depth and colour type,
// interlaced or not, and gives 8-bit sRGB with alpha. The colour profile (iCCP) and the
// EXIF block (eXIf) are found by walking the chunks:
//
//   offset  size  content
//   0       8     signature 89 50 4E 47 0D 0A 1A 0A
//   8       ...   chunks: length (4, big-endian), type (4), data (length), CRC (4)
//
// iCCP data: profile name (1-79 bytes), 0, compression method (0), zlib stream.
#include "import/raw_picture.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace varnoke {
namespace {

constexpr std::size_t kSignatureSize = 8;
// Larger profiles are ignored (real ones are a few kilobytes, rarely a megabyte).
constexpr std::size_t kMaximumProfileSize = 4u << 20;

std::uint32_t bigEndian32(const Byte* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::vector<Byte> inflateProfile(std::span<const Byte> compressed) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return {};
    std::vector<Byte> profile(std::min(kMaximumProfileSize, std::max<std::size_t>(compressed.size() * 8, 4096)));
    stream.next_in = const_cast<Byte*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    std::size_t produced = 0;
    int status = Z_OK;
    while (status == Z_OK) {
        if (produced == profile.size()) {
            if (profile.size() >= kMaximumProfileSize) break;
            profile.resize(std::min(kMaximumProfileSize, profile.size() * 2));
        }
        stream.next_out = profile.data() + produced;
        stream.avail_out = static_cast<uInt>(profile.size() - produced);
        status = inflate(&stream, Z_NO_FLUSH);
        produced = profile.size() - stream.avail_out;
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) return {};
    profile.resize(produced);
    return profile;
}

// The profile and orientation of the chunks before the first IDAT.
void readMetadata(std::span<const Byte> file, RawPicture& picture) {
    std::size_t at = kSignatureSize;
    while (file.size() - at >= 12) {
        const std::uint32_t length = bigEndian32(&file[at]);
        if (length > file.size() - at - 12) return;  // a chunk that runs past the end
        const std::span<const Byte> type = file.subspan(at + 4, 4);
        const std::span<const Byte> data = file.subspan(at + 8, length);
        if (std::memcmp(type.data(), "IDAT", 4) == 0) return;
        if (std::memcmp(type.data(), "iCCP", 4) == 0) {
            const auto nul = std::find(data.begin(), data.end(), Byte{0});
            const std::size_t name = static_cast<std::size_t>(nul - data.begin());
            if (name + 2 <= data.size() && data[name + 1] == 0)
                picture.iccProfile = inflateProfile(data.subspan(name + 2));
        } else if (std::memcmp(type.data(), "eXIf", 4) == 0) {
            picture.orientation = exifOrientation(data);
        }
        at += 12 + length;
    }
}

}  // namespace

Expected<RawPicture> decodePng(std::span<const Byte> file) {
    // The size, from the IHDR chunk that must come first, before libpng reads further.
    if (file.size() < kSignatureSize + 16 || std::memcmp(&file[kSignatureSize + 4], "IHDR", 4) != 0)
        return Failure{"the PNG file ends or is damaged before its header chunk"};
    if (std::optional<std::string> refused =
            checkPictureSize("PNG", bigEndian32(&file[kSignatureSize + 8]), bigEndian32(&file[kSignatureSize + 12])))
        return Failure{*refused};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, file.data(), file.size()) == 0) {
        std::string reason = std::string("the PNG file cannot be read: ") + image.message;
        png_image_free(&image);
        return Failure{reason};
    }
    if (std::optional<std::string> refused = checkPictureSize("PNG", image.width, image.height)) {
        png_image_free(&image);
        return Failure{*refused};
    }
    RawPicture picture;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    image.format = PNG_FORMAT_RGBA;
    picture.rgba.resize(picture.pixelCountBytes());
    if (png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr) == 0) {
        std::string reason = std::string("the PNG picture data is damaged or cut short: ") + image.message;
        png_image_free(&image);
        return Failure{reason};
    }
    png_image_free(&image);
    readMetadata(file, picture);
    return picture;
}

}  // namespace varnoke
