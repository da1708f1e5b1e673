// GIF through giflib: the first frame on the logical screen, its transparent colour
// (from the graphic control extension before it) left transparent, and so is the part
// of the screen the frame does not cover. Interlaced frames store their rows in four
// passes: every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
#include "import/raw_picture.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace varnoke {
namespace {

struct MemoryInput {
    std::span<const Byte> file;
    std::size_t at = 0;
};

int readFromMemory(GifFileType* gif, GifByteType* buffer, int wanted) {
    auto* input = static_cast<MemoryInput*>(gif->UserData);
    const std::size_t count = std::min(static_cast<std::size_t>(std::max(wanted, 0)), input->file.size() - input->at);
    std::memcpy(buffer, input->file.data() + input->at, count);
    input->at += count;
    return static_cast<int>(count);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
    }
};

Failure gifFailure(const char* what, int code) {
    const char* text = GifErrorString(code);
    return Failure{std::string("the GIF file ") + what + ": " + (text != nullptr ? text : "unknown error")};
}

// Reads extensions up to the first frame; returns its transparent colour or -1.
Expected<int> skipToFirstFrame(GifFileType* gif) {
    int transparent = -1;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR) return gifFailure("is damaged or cut short", gif->Error);
        if (record == IMAGE_DESC_RECORD_TYPE) return transparent;
        if (record == TERMINATE_RECORD_TYPE) return Failure{"the GIF file holds no picture"};
        if (record != EXTENSION_RECORD_TYPE) continue;
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return gifFailure("is damaged", gif->Error);
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
            GraphicsControlBlock control{};
            if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) transparent = control.TransparentColor;
        }
        while (block != nullptr)
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return gifFailure("is damaged", gif->Error);
    }
}

// The order in which an interlaced frame stores its rows.
std::vector<int> rowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y) rows.push_back(y);
        return rows;
    }
    constexpr int kStart[] = {0, 4, 2, 1};
    constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
    return rows;
}

Expected<void> readFrame(GifFileType* gif, int transparent, RawPicture& picture) {
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* colours = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (colours == nullptr || colours->Colors == nullptr) return Failure{"the GIF picture has no colour table"};
    std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
    for (const int y : rowOrder(frame.Height, frame.Interlace)) {
        if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR)
            return gifFailure("is damaged or cut short", gif->Error);
        const int row = frame.Top + y;
        if (row >= picture.height) continue;
        for (int x = 0; x < frame.Width && frame.Left + x < picture.width; ++x) {
            const int index = line[static_cast<std::size_t>(x)];
            if (index == transparent || index >= colours->ColorCount) continue;  // stays transparent
            Byte* out = &picture.rgba[4 * (static_cast<std::size_t>(row) * static_cast<std::size_t>(picture.width) +
                                           static_cast<std::size_t>(frame.Left + x))];
            const GifColorType& c = colours->Colors[index];
            out[0] = c.Red;
            out[1] = c.Green;
            out[2] = c.Blue;
            out[3] = 255;
        }
    }
    return {};
}

}  // namespace

Expected<RawPicture> decodeGif(std::span<const Byte> file) {
    MemoryInput input{file};
    int error = 0;
    const std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, readFromMemory, &error));
    if (!gif) return gifFailure("cannot be read", error);
    Expected<int> transparent = skipToFirstFrame(gif.get());
    if (!transparent) return Failure{transparent.reason()};
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return gifFailure("is damaged or cut short", gif->Error);
    const GifImageDesc& frame = gif->Image;
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0)
        return Failure{"the GIF file's first frame has no pixels"};
    const long long width = std::max<long long>(gif->SWidth, static_cast<long long>(frame.Left) + frame.Width);
    const long long height = std::max<long long>(gif->SHeight, static_cast<long long>(frame.Top) + frame.Height);
    if (Expected<void> refused = checkPictureSize("GIF", width, height); !refused) return Failure{refused.reason()};
    RawPicture picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.rgba.assign(picture.pixelCountBytes(), 0);
    if (Expected<void> failure = readFrame(gif.get(), transparent.value(), picture); !failure)
        return Failure{failure.reason()};
    return picture;
}

}  // namespace varnoke
