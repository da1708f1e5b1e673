// WebP through libwebp (WebPDecode; the first frame of an animation through its demuxer).
// The colour profile and the EXIF block are chunks of the RIFF container:
//
//   offset  size  content
//   0       4     "RIFF"
//   4       4     size of what follows (little-endian)
//   8       4     "WEBP"
//   12      ...   chunks: fourCC (4), size (4, little-endian), data, a pad byte if odd
//
// "ICCP" holds the profile, "EXIF" the EXIF block (a TIFF structure).
#include "import/raw_picture.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>

namespace varnoke {
namespace {

constexpr std::size_t kRiffHeaderSize = 12;

void readChunks(std::span<const Byte> file, RawPicture& picture) {
    std::size_t at = kRiffHeaderSize;
    while (file.size() - at >= 8) {
        const std::size_t size = file[at + 4] | (std::size_t{file[at + 5]} << 8) | (std::size_t{file[at + 6]} << 16) |
                                 (std::size_t{file[at + 7]} << 24);
        if (size > file.size() - at - 8) return;  // a chunk that runs past the end
        const std::span<const Byte> data = file.subspan(at + 8, size);
        if (std::memcmp(&file[at], "ICCP", 4) == 0) picture.iccProfile.assign(data.begin(), data.end());
        if (std::memcmp(&file[at], "EXIF", 4) == 0) picture.orientation = exifOrientation(data);
        at += 8 + size + (size & 1);
        if (at > file.size()) return;
    }
}

struct AnimationDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

Expected<void> firstFrame(std::span<const Byte> file, RawPicture& picture) {
    const WebPData data{file.data(), file.size()};
    WebPAnimDecoderOptions options;
    if (WebPAnimDecoderOptionsInit(&options) == 0) return Failure{"cannot be read"};
    options.color_mode = MODE_RGBA;
    const std::unique_ptr<WebPAnimDecoder, AnimationDeleter> decoder(WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info{};
    if (!decoder || WebPAnimDecoderGetInfo(decoder.get(), &info) == 0)
        return Failure{"holds an animation that cannot be read"};
    if (info.canvas_width != static_cast<std::uint32_t>(picture.width) ||
        info.canvas_height != static_cast<std::uint32_t>(picture.height))
        return Failure{"holds an animation whose size differs from its header's"};
    std::uint8_t* frame = nullptr;
    int timestamp = 0;
    if (WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp) == 0 || frame == nullptr)
        return Failure{"holds an animation whose first frame is damaged or cut short"};
    std::memcpy(picture.rgba.data(), frame, picture.rgba.size());
    return {};
}

}  // namespace

Expected<RawPicture> decodeWebp(std::span<const Byte> file) {
    WebPBitstreamFeatures features{};
    const VP8StatusCode status = WebPGetFeatures(file.data(), file.size(), &features);
    if (status == VP8_STATUS_NOT_ENOUGH_DATA) return Failure{"the WebP file is cut short before its picture's size"};
    if (status != VP8_STATUS_OK) return Failure{"the WebP file cannot be read: its header is damaged"};
    if (Expected<void> refused = checkPictureSize("WebP", features.width, features.height); !refused)
        return Failure{refused.reason()};
    RawPicture picture;
    picture.width = features.width;
    picture.height = features.height;
    picture.rgba.resize(picture.pixelCountBytes());
    if (features.has_animation != 0) {
        if (Expected<void> failure = firstFrame(file, picture); !failure)
            return Failure{"the WebP file " + failure.reason()};
    } else if (WebPDecodeRGBAInto(file.data(), file.size(), picture.rgba.data(), picture.rgba.size(),
                                  picture.width * 4) == nullptr) {
        return Failure{"the WebP picture data is damaged or cut short"};
    }
    readChunks(file, picture);
    return picture;
}

}  // namespace varnoke
