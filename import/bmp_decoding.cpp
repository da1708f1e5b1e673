// BMP, read here with a bound check before every read (no maintained Debian library reads
// it on its own).
//
//   offset  size  content
//   0       2     "BM"
//   2       4     file size (not trusted)
//   6       4     reserved
//   10      4     offset of the pixel rows
//   14      4     size of the information header that follows: 12 (OS/2 1.x) or
//                 40, 52, 56, 108, 124 (Windows 3.x to 5)
//   18      ...   12-byte header: width (2), height (2), planes (2), bits per pixel (2)
//                 larger ones: width (4), height (4, negative: rows from the top),
//                 planes (2), bits per pixel (2), compression (4), image size (4),
//                 resolution (8), colours used (4), colours important (4),
//                 then from byte 40 of the header: red, green, blue, alpha masks (4 each)
//
// Compression 0: plain rows; 3 and 6: 16- or 32-bit pixels with bit masks (after a
// 40-byte header the masks follow it); 1 and 2: run-length encoded 8- and 4-bit rows.
// The colour table (1, 4, 8 bits per pixel) follows the header and its masks, 4 bytes
// (blue, green, red, 0) an entry, 3 after a 12-byte header. Rows are padded to 4 bytes
// and stored from the bottom up unless the height is negative.
#include "import/raw_picture.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>

namespace varnoke {
namespace {

constexpr std::size_t kFileHeaderSize = 14;

std::uint32_t u32(std::span<const Byte> b, std::size_t at) {
    return b[at] | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t u16(std::span<const Byte> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

struct BmpLayout {
    long long width = 0;
    long long height = 0;  // positive: rows from the bottom
    int bits = 0;
    std::uint32_t compression = 0;
    std::array<std::uint32_t, 4> masks{};      // red, green, blue, alpha
    std::vector<std::array<Byte, 3>> colours;  // red, green, blue
    std::size_t pixelOffset = 0;
};

Failure bmpFailure(const std::string& why) { return Failure{"the BMP file " + why}; }

Expected<void> readMasks(std::span<const Byte> file, std::size_t headerSize, BmpLayout& layout, std::size_t& tableAt) {
    const bool bitfields = layout.compression == 3 || layout.compression == 6;
    if (!bitfields) {
        if (layout.bits == 16) layout.masks = {0x7C00, 0x03E0, 0x001F, 0};
        if (layout.bits == 24 || layout.bits == 32) layout.masks = {0xFF0000, 0xFF00, 0xFF, 0};
        return {};
    }
    if (layout.bits != 16 && layout.bits != 32)
        return Failure{"uses bit masks with " + std::to_string(layout.bits) + "-bit pixels"};
    const std::size_t count = layout.compression == 6 || headerSize >= 56 ? 4 : 3;
    const std::size_t at = kFileHeaderSize + 40;
    if (headerSize == 40) tableAt += 4 * count;
    if (file.size() < at + 4 * count) return Failure{"ends inside its colour masks"};
    for (std::size_t i = 0; i < count; ++i) layout.masks[i] = u32(file, at + 4 * i);
    return {};
}

Expected<void> readColourTable(std::span<const Byte> file, std::size_t at, std::size_t entrySize, std::uint32_t used,
                               BmpLayout& layout) {
    if (layout.bits > 8) return {};
    const std::size_t most = std::size_t{1} << layout.bits;
    const std::size_t count = used == 0 || used > most ? most : used;
    if (at > file.size() || (file.size() - at) / entrySize < count) return Failure{"ends inside its colour table"};
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = at + i * entrySize;
        layout.colours.push_back({file[e + 2], file[e + 1], file[e]});
    }
    return {};
}

Expected<BmpLayout> readLayout(std::span<const Byte> file) {
    if (file.size() < kFileHeaderSize + 4) return bmpFailure("ends inside its header");
    const std::size_t headerSize = u32(file, 14);
    if (headerSize != 12 && (headerSize < 40 || headerSize > 1024))
        return bmpFailure("has an information header of " + std::to_string(headerSize) +
                          " bytes, which no BMP variant has");
    if (file.size() < kFileHeaderSize + headerSize) return bmpFailure("ends inside its header");
    BmpLayout layout;
    layout.pixelOffset = u32(file, 10);
    std::uint32_t used = 0;
    if (headerSize == 12) {
        layout.width = u16(file, 18);
        layout.height = u16(file, 20);
        layout.bits = u16(file, 24);
    } else {
        layout.width = static_cast<std::int32_t>(u32(file, 18));
        layout.height = static_cast<std::int32_t>(u32(file, 22));
        layout.bits = u16(file, 28);
        layout.compression = u32(file, 30);
        used = u32(file, 46);
    }
    constexpr std::array kBits{1, 4, 8, 16, 24, 32};
    if (std::find(kBits.begin(), kBits.end(), layout.bits) == kBits.end())
        return bmpFailure("has " + std::to_string(layout.bits) + " bits per pixel, which BMP does not define");
    const bool rle = (layout.compression == 1 && layout.bits == 8) || (layout.compression == 2 && layout.bits == 4);
    if (layout.compression > 3 && layout.compression != 6)
        return bmpFailure("uses a compression this program does not read (" + std::to_string(layout.compression) + ")");
    if ((layout.compression == 1 || layout.compression == 2) && !rle)
        return bmpFailure("uses run-length encoding with pixels of the wrong size");
    if (rle && layout.height < 0)
        return bmpFailure("stores run-length encoded rows from the top, which BMP does not allow");
    std::size_t tableAt = kFileHeaderSize + headerSize;
    if (Expected<void> why = readMasks(file, headerSize, layout, tableAt); !why) return bmpFailure(why.reason());
    if (Expected<void> why = readColourTable(file, tableAt, headerSize == 12 ? 3 : 4, used, layout); !why)
        return bmpFailure(why.reason());
    if (Expected<void> refused = checkPictureSize("BMP", layout.width, std::abs(layout.height)); !refused)
        return Failure{refused.reason()};
    if (layout.pixelOffset >= file.size()) return bmpFailure("ends before its pixels");
    return layout;
}

// One channel of a masked pixel, scaled to 0..255.
Byte channel(std::uint32_t pixel, std::uint32_t mask) {
    if (mask == 0) return 255;
    const std::uint32_t value = (pixel & mask) >> std::countr_zero(mask);
    const std::uint32_t most = mask >> std::countr_zero(mask);
    return static_cast<Byte>((static_cast<std::uint64_t>(value) * 255 + most / 2) / most);
}

void putIndex(const BmpLayout& layout, std::size_t index, Byte* out) {
    if (index < layout.colours.size()) {
        const std::array<Byte, 3>& c = layout.colours[index];
        out[0] = c[0];
        out[1] = c[1];
        out[2] = c[2];
    }  // an index past the table stays black
    out[3] = 255;
}

void putRow(const BmpLayout& layout, std::span<const Byte> row, Byte* out, int width) {
    for (int x = 0; x < width; ++x, out += 4) {
        const std::size_t bit = static_cast<std::size_t>(x) * static_cast<std::size_t>(layout.bits);
        if (layout.bits <= 8) {
            const unsigned shift = 8 - static_cast<unsigned>(layout.bits) - static_cast<unsigned>(bit % 8);
            putIndex(layout, (unsigned{row[bit / 8]} >> shift) & ((1u << layout.bits) - 1), out);
            continue;
        }
        const std::size_t at = bit / 8;
        const std::uint32_t pixel =
            layout.bits == 16   ? u16(row, at)
            : layout.bits == 24 ? (row[at] | (std::uint32_t{row[at + 1]} << 8) | (std::uint32_t{row[at + 2]} << 16))
                                : u32(row, at);
        for (std::size_t c = 0; c < 3; ++c) out[c] = channel(pixel, layout.masks[c]);
        out[3] = channel(pixel, layout.masks[3]);
    }
}

Expected<void> readPlainRows(std::span<const Byte> file, const BmpLayout& layout, RawPicture& picture) {
    const std::size_t stride =
        (static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(layout.bits) + 31) / 32 * 4;
    const std::span<const Byte> pixels = file.subspan(layout.pixelOffset);
    const std::size_t rows = static_cast<std::size_t>(picture.height);
    // The last row need not carry its padding.
    const std::size_t lastRow =
        (static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(layout.bits) + 7) / 8;
    if (pixels.size() < stride * (rows - 1) + lastRow)
        return Failure{"ends after " + std::to_string(pixels.size() / stride) + " of its " + std::to_string(rows) +
                       " rows"};
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t y = layout.height > 0 ? rows - 1 - r : r;
        putRow(layout, pixels.subspan(r * stride, std::min(stride, pixels.size() - r * stride)),
               picture.rgba.data() + y * static_cast<std::size_t>(picture.width) * 4, picture.width);
    }
    return {};
}

// Run-length encoded rows (from the bottom): a count and an index fill that many pixels
// (RLE4: alternating the two nibbles); 0 0 ends a row, 0 1 the picture, 0 2 dx dy moves;
// 0 n copies n literal indexes, padded to a 16-bit boundary.
Expected<void> readRleRows(std::span<const Byte> file, const BmpLayout& layout, RawPicture& picture) {
    const std::span<const Byte> data = file.subspan(layout.pixelOffset);
    const bool four = layout.bits == 4;
    long long x = 0;
    long long y = picture.height - 1;
    std::size_t at = 0;
    auto put = [&](std::size_t index) {
        if (x < picture.width && y >= 0)
            putIndex(layout, index,
                     picture.rgba.data() + 4 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
                                                static_cast<std::size_t>(x)));
        ++x;
    };
    while (y >= 0) {
        if (data.size() - at < 2) return Failure{"ends inside its run-length encoded pixels"};
        const Byte count = data[at];
        const Byte value = data[at + 1];
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i) put(four ? (i % 2 == 0 ? value >> 4 : value & 15) : value);
        } else if (value == 0) {
            x = 0;
            --y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (data.size() - at < 2) return Failure{"ends inside its run-length encoded pixels"};
            x += data[at];
            y -= data[at + 1];
            at += 2;
        } else {
            const std::size_t bytes = four ? (value + 1u) / 2 : value;
            if (data.size() - at < bytes) return Failure{"ends inside its run-length encoded pixels"};
            for (int i = 0; i < value; ++i)
                put(four ? (i % 2 == 0 ? data[at + static_cast<std::size_t>(i / 2)] >> 4
                                       : data[at + static_cast<std::size_t>(i / 2)] & 15)
                         : data[at + static_cast<std::size_t>(i)]);
            at += (bytes + 1) / 2 * 2;
        }
    }
    return {};
}

// A picture whose alpha mask is set but whose alpha is 0 everywhere was written by a
// program that does not use it: it is opaque.
void opaqueWhenAlphaUnused(RawPicture& picture) {
    for (std::size_t i = 3; i < picture.rgba.size(); i += 4)
        if (picture.rgba[i] != 0) return;
    for (std::size_t i = 3; i < picture.rgba.size(); i += 4) picture.rgba[i] = 255;
}

}  // namespace

Expected<RawPicture> decodeBmp(std::span<const Byte> file) {
    Expected<BmpLayout> read = readLayout(file);
    if (!read) return Failure{read.reason()};
    const BmpLayout& layout = read.value();
    RawPicture picture;
    picture.width = static_cast<int>(layout.width);
    picture.height = static_cast<int>(std::abs(layout.height));
    picture.rgba.assign(picture.pixelCountBytes(), 0);
    const bool rle = layout.compression == 1 || layout.compression == 2;
    if (rle) {
        for (std::size_t i = 3; i < picture.rgba.size(); i += 4) picture.rgba[i] = 255;
    }
    const Expected<void> rows = rle ? readRleRows(file, layout, picture) : readPlainRows(file, layout, picture);
    if (!rows) return bmpFailure(rows.reason());
    opaqueWhenAlphaUnused(picture);
    return picture;
}

}  // namespace varnoke
