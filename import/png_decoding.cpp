// PNG through libpng, which reads every bit depth and colour type, interlaced or not, and
// is asked for 8-bit RGBA: palettes and grey expanded, 16-bit samples scaled to 8, an
// opaque alpha added where the file has none. Samples are taken as sRGB unless a gAMA
// chunk (without an sRGB chunk) says otherwise; 16-bit samples too, as other viewers show
// them. The colour profile (iCCP) and the EXIF block (eXIf) are found by walking the
// chunks:
//
//   offset  size  content
//   0       8     signature 89 50 4E 47 0D 0A 1A 0A
//   8       ...   chunks: length (4, big-endian), type (4), data (length), CRC (4)
//
// iCCP data: profile name (1-79 bytes), 0, compression method (0), zlib stream.
#include "import/picture_decoding.h"
#include "import/raw_picture.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// What libpng's callbacks share: the file, how far it has been read, and the first error.
struct PngSource {
    std::span<const Byte> file;
    std::size_t read = 0;
    char message[200] = {};
};

[[noreturn]] void onPngError(png_structp png, png_const_charp message) {
    auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
    std::snprintf(source->message, sizeof source->message, "%s", message);
    png_longjmp(png, 1);
}

void onPngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

void onPngRead(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source->file.size() - source->read) png_error(png, "the file ends early");
    std::memcpy(out, source->file.data() + source->read, length);
    source->read += length;
}

// Asks libpng for 8-bit RGBA in sRGB.
void askForRgba(png_structp png, png_infop info) {
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    double fileGamma = 0;
    if (png_get_valid(png, info, PNG_INFO_sRGB) == 0 && png_get_gAMA(png, info, &fileGamma) != 0 && fileGamma > 0 &&
        std::abs(fileGamma - 1 / 2.2) > 0.01)
        png_set_gamma(png, PNG_DEFAULT_sRGB, fileGamma);
    png_set_interlace_handling(png);
}

// Reads the pixels into `rows` (one pointer per row of width × 4 bytes, made from the
// header's size): false, with the source's message, on any error. libpng leaves by a
// long jump on errors, so nothing here owns memory across its calls.
bool readPngPixels(PngSource& source, png_uint_32 width, png_uint_32 height, png_bytepp rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, onPngError, onPngWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {  // NOLINT(cert-err52-cpp): libpng's error path
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
    png_set_read_fn(png, &source, onPngRead);
    png_read_info(png, info);
    askForRgba(png, info);
    png_read_update_info(png, info);
    if (png_get_image_width(png, info) != width || png_get_image_height(png, info) != height ||
        png_get_rowbytes(png, info) != std::size_t{width} * 4)
        png_error(png, "the rows do not have the expected layout");
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

Expected<RawPicture> decodePng(std::span<const Byte> file) {
    // The size, from the IHDR chunk that must come first, before libpng reads further.
    if (file.size() < kSignatureSize + 16 || png_sig_cmp(file.data(), 0, kSignatureSize) != 0 ||
        std::memcmp(&file[kSignatureSize + 4], "IHDR", 4) != 0)
        return Failure{"the PNG file ends or is damaged before its header chunk"};
    const std::uint32_t width = bigEndian32(&file[kSignatureSize + 8]);
    const std::uint32_t height = bigEndian32(&file[kSignatureSize + 12]);
    if (Expected<void> refused = checkPictureSize("PNG", width, height); !refused) return Failure{refused.reason()};
    RawPicture picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.rgba.resize(picture.pixelCountBytes());
    std::vector<png_bytep> rows(height);
    for (std::size_t y = 0; y < rows.size(); ++y) rows[y] = picture.rgba.data() + y * std::size_t{width} * 4;
    PngSource source{file};
    if (!readPngPixels(source, width, height, rows.data()))
        return Failure{std::string("the PNG picture data is damaged or cut short: ") + source.message};
    readMetadata(file, picture);
    return picture;
}

}  // namespace varnoke
