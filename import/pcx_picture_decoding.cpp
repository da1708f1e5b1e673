// PCX pictures of any size and of the other common layouts, for the import (the Open
// command takes only 8-bit pictures of 160, 320 or 640 × 200). The header is the one the
// Open command reads (pcx/pcx_header.h); each scan line holds NPlanes planes of
// BytesPerLine bytes, run-length encoded when Encoding is 1 (a byte above 192 repeats the
// next byte that many times less 192; runs may cross lines).
//
//   bits × planes  pixels                      colours
//   8 × 1          one palette index a byte    the 256 entries after the marker 12 that
//                                              closes the file (769 bytes from its end)
//   8 × 3, 8 × 4   red, green, blue (alpha)    the pixels' own
//   1 × 1          one bit                     black and white
//   1 × 2..4       one bit of the index each   the header's 16-entry colour map
//   2 × 1, 4 × 1   packed indexes              the header's colour map
#include "import/raw_picture.h"

#include "pcx/pcx_header.h"

namespace varnoke {
namespace {

constexpr std::size_t kVgaPaletteSize = 769;  // marker 12 and 256 × (red, green, blue)

Failure pcxFailure(const std::string& why) { return Failure{"the PCX file " + why}; }

struct PcxLayout {
    PcxHeader header;
    int width = 0;
    int height = 0;
    std::size_t lineSize = 0;  // BytesPerLine × NPlanes
    std::array<std::array<Byte, 3>, 256> colours{};
    std::size_t bodyEnd = 0;
};

bool supportedLayout(int bits, int planes) {
    if (bits == 8) return planes == 1 || planes == 3 || planes == 4;
    if (bits == 1) return planes >= 1 && planes <= 4;
    return (bits == 2 || bits == 4) && planes == 1;
}

Expected<void> readColours(std::span<const Byte> file, PcxLayout& layout) {
    const PcxHeader& h = layout.header;
    layout.bodyEnd = file.size();
    if (h.BitsPerPixel == 8 && h.NPlanes == 1) {
        if (file.size() < kPcxHeaderSize + kVgaPaletteSize || file[file.size() - kVgaPaletteSize] != 12)
            return Failure{"has 8-bit pixels but no 256-colour palette at its end"};
        layout.bodyEnd = file.size() - kVgaPaletteSize;
        for (std::size_t i = 0; i < 256; ++i)
            for (std::size_t c = 0; c < 3; ++c) layout.colours[i][c] = file[layout.bodyEnd + 1 + 3 * i + c];
    } else if (h.BitsPerPixel == 1 && h.NPlanes == 1) {
        layout.colours[1] = {255, 255, 255};
    } else {
        for (std::size_t i = 0; i < 16; ++i)
            for (std::size_t c = 0; c < 3; ++c) layout.colours[i][c] = h.Colormap[3 * i + c];
    }
    return {};
}

Expected<PcxLayout> readLayout(std::span<const Byte> file) {
    if (file.size() < kPcxHeaderSize) return pcxFailure("ends inside its 128-byte header");
    PcxLayout layout;
    layout.header = readPcxHeader(file.first<kPcxHeaderSize>());
    const PcxHeader& h = layout.header;
    if (h.Encoding > 1) return pcxFailure("has encoding " + std::to_string(h.Encoding) + ", which PCX does not define");
    if (!supportedLayout(h.BitsPerPixel, h.NPlanes))
        return pcxFailure("has " + std::to_string(h.BitsPerPixel) + " bits per pixel in " + std::to_string(h.NPlanes) +
                          " planes, a layout this program does not read");
    const long long width = static_cast<long long>(h.Xmax) - h.Xmin + 1;
    const long long height = static_cast<long long>(h.Ymax) - h.Ymin + 1;
    if (Expected<void> refused = checkPictureSize("PCX", width, height); !refused) return Failure{refused.reason()};
    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);
    if (static_cast<long long>(h.BytesPerLine) * 8 < width * h.BitsPerPixel)
        return pcxFailure("has lines of " + std::to_string(h.BytesPerLine) + " bytes, too short for " +
                          std::to_string(width) + " pixels");
    layout.lineSize = std::size_t{h.BytesPerLine} * h.NPlanes;
    if (Expected<void> why = readColours(file, layout); !why) return pcxFailure(why.reason());
    return layout;
}

// The scan lines, decoded; fails when the body ends first.
Expected<std::vector<Byte>> readLines(std::span<const Byte> file, const PcxLayout& layout) {
    const std::span<const Byte> body = file.subspan(kPcxHeaderSize, layout.bodyEnd - kPcxHeaderSize);
    const std::size_t total = layout.lineSize * static_cast<std::size_t>(layout.height);
    std::vector<Byte> lines(total);
    std::size_t count = 0;
    std::size_t at = 0;
    const bool encoded = layout.header.Encoding == 1;
    while (count < total && at < body.size()) {
        const Byte b = body[at++];
        if (encoded && b > 192) {
            if (at >= body.size()) break;
            const std::size_t run = std::min<std::size_t>(b - 192u, total - count);
            std::fill_n(lines.begin() + static_cast<std::ptrdiff_t>(count), run, body[at++]);
            count += run;
        } else {
            lines[count++] = b;
        }
    }
    if (count < total)
        return pcxFailure("ends after " + std::to_string(count / layout.lineSize) + " of its " +
                          std::to_string(layout.height) + " lines");
    return lines;
}

void putLine(const PcxLayout& layout, std::span<const Byte> line, Byte* out) {
    const PcxHeader& h = layout.header;
    const std::size_t plane = h.BytesPerLine;
    for (std::size_t x = 0; x < static_cast<std::size_t>(layout.width); ++x, out += 4) {
        out[3] = 255;
        if (h.BitsPerPixel == 8 && h.NPlanes >= 3) {
            for (std::size_t c = 0; c < 3; ++c) out[c] = line[c * plane + x];
            if (h.NPlanes == 4) out[3] = line[3 * plane + x];
            continue;
        }
        std::size_t index = 0;
        if (h.BitsPerPixel == 1) {
            for (std::size_t p = 0; p < h.NPlanes; ++p)
                index |= static_cast<std::size_t>((line[p * plane + x / 8] >> (7 - x % 8)) & 1) << p;
        } else {
            const std::size_t bit = x * h.BitsPerPixel;
            index = (std::size_t{line[bit / 8]} >> (8 - h.BitsPerPixel - bit % 8)) &
                    ((std::size_t{1} << h.BitsPerPixel) - 1);
        }
        for (std::size_t c = 0; c < 3; ++c) out[c] = layout.colours[index][c];
    }
}

}  // namespace

Expected<RawPicture> decodePcxPicture(std::span<const Byte> file) {
    Expected<PcxLayout> read = readLayout(file);
    if (!read) return Failure{read.reason()};
    const PcxLayout& layout = read.value();
    Expected<std::vector<Byte>> lines = readLines(file, layout);
    if (!lines) return Failure{lines.reason()};
    RawPicture picture;
    picture.width = layout.width;
    picture.height = layout.height;
    picture.rgba.resize(picture.pixelCountBytes());
    for (std::size_t y = 0; y < static_cast<std::size_t>(layout.height); ++y)
        putLine(layout, std::span<const Byte>(lines.value()).subspan(y * layout.lineSize, layout.lineSize),
                picture.rgba.data() + 4 * y * static_cast<std::size_t>(layout.width));
    return picture;
}

}  // namespace varnoke
