// The orientation tag (0x0112) of the first IFD of an EXIF block, which is a TIFF
// structure:
//
//   offset  size  content
//   0       2     byte order: "II" little-endian, "MM" big-endian
//   2       2     42
//   4       4     offset of IFD0 from the start of the block
//   IFD:    2     entry count n, then n entries of 12 bytes:
//                 tag (2), type (2; 3 = SHORT), count (4), value or offset (4)
//
// A SHORT value of count 1 sits in the first two bytes of the value field.
#include "import/raw_picture.h"

namespace varnoke {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;

struct TiffReader {
    std::span<const Byte> block;
    bool littleEndian = true;

    std::uint16_t u16(std::size_t at) const {
        return littleEndian ? static_cast<std::uint16_t>(block[at] | (block[at + 1] << 8))
                            : static_cast<std::uint16_t>((block[at] << 8) | block[at + 1]);
    }
    std::uint32_t u32(std::size_t at) const {
        const std::uint32_t a = u16(at);
        const std::uint32_t b = u16(at + 2);
        return littleEndian ? a | (b << 16) : (a << 16) | b;
    }
};

}  // namespace

Orientation exifOrientation(std::span<const Byte> tiff) {
    // JPEG's APP1 and some PNG writers put "Exif\0\0" before the TIFF structure.
    if (tiff.size() >= 6 && tiff[0] == 'E' && tiff[1] == 'x' && tiff[2] == 'i' && tiff[3] == 'f' && tiff[4] == 0)
        tiff = tiff.subspan(6);
    if (tiff.size() < 8) return Orientation::Upright;
    TiffReader reader{tiff, true};
    if (tiff[0] == 'M' && tiff[1] == 'M')
        reader.littleEndian = false;
    else if (tiff[0] != 'I' || tiff[1] != 'I')
        return Orientation::Upright;
    if (reader.u16(2) != 42) return Orientation::Upright;
    const std::size_t ifd = reader.u32(4);
    if (ifd > tiff.size() - 2) return Orientation::Upright;
    const std::size_t entries = reader.u16(ifd);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        if (entry > tiff.size() - 12) break;  // the IFD runs past the block
        if (reader.u16(entry) != kOrientationTag) continue;
        if (reader.u16(entry + 2) != kShortType) break;
        const std::uint16_t value = reader.u16(entry + 8);
        if (value >= 1 && value <= 8) return static_cast<Orientation>(value);
        break;
    }
    return Orientation::Upright;
}

}  // namespace varnoke
