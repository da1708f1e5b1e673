#include "cpc/screen_file_reader.h"

#include "cpc/amsdos_header.h"
#include "main/cpc_colors.h"
#include "main/little_endian.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace varnoke {
namespace {

constexpr std::size_t kScreenFileBytes = kAmsdosHeaderSize + kScreenImageSize;

std::string hex(unsigned value, int digits) {
    char text[8];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

}  // namespace

Expected<ScreenInks> readScreenInks(std::span<const Byte, kScreenImageSize> image) {
    ScreenInks inks;
    const Byte mode = image[kModeByteOffset];
    if (mode > 2)
        return Failure{
            "the mode byte at image offset 0x07F1 is " + std::to_string(mode) + ", not a CPC screen mode (0, 1 or 2)",
            FailureKind::Malformed};
    inks.mode = mode;
    const int pens = pensOfMode(mode);
    for (int pen = 0; pen < pens; ++pen) {
        const std::size_t colorAt = kInkTableOffset + static_cast<std::size_t>(pen);
        const std::size_t codeAt = kInkCodesOffset + static_cast<std::size_t>(pen);
        const Byte color = image[colorAt];
        if (color >= kCpcColorCount)
            return Failure{"pen " + std::to_string(pen) + " has colour number " + std::to_string(color) +
                               " at image offset 0x" + hex(static_cast<unsigned>(colorAt), 4) +
                               ", beyond the 27 CPC colours (0 to 26)",
                           FailureKind::Malformed};
        const Byte code = image[codeAt];
        if (code != cpcGateArrayCode(color))
            return Failure{"pen " + std::to_string(pen) + " has gate-array code 0x" + hex(code, 2) +
                               " at image offset 0x" + hex(static_cast<unsigned>(codeAt), 4) + ", but its colour " +
                               std::to_string(color) + " has code 0x" + hex(cpcGateArrayCode(color), 2),
                           FailureKind::Malformed};
        inks.colors[static_cast<std::size_t>(pen)] = color;
    }
    return inks;
}

Expected<ScreenFile> parseScreenFile(std::span<const Byte> file) {
    if (file.size() != kScreenFileBytes)
        return Failure{"it is " + std::to_string(file.size()) +
                           " bytes long; a screen file is 16512 bytes (a 128-byte AMSDOS header and 16384 bytes of "
                           "screen memory)",
                       FailureKind::Malformed};
    const std::span<const Byte, kAmsdosHeaderSize> header = file.first<kAmsdosHeaderSize>();
    const unsigned stored = readLittleEndian16(header, kAmsdosChecksumOffset);
    const unsigned sum = amsdosChecksum(header);
    if (stored != sum)
        return Failure{"it has no valid AMSDOS header: the checksum at offset 67 is 0x" + hex(stored, 4) +
                           " but bytes 0 to 66 add up to 0x" + hex(sum, 4),
                       FailureKind::Malformed};
    if (header[kAmsdosFileTypeOffset] != kAmsdosBinaryFile)
        return Failure{"its AMSDOS header gives file type " + std::to_string(header[kAmsdosFileTypeOffset]) +
                           " at offset 18, not 2 (binary)",
                       FailureKind::Malformed};
    const unsigned length = readLittleEndian16(header, kAmsdosDataLengthOffset);
    const unsigned fileLength = readLittleEndian16(header, kAmsdosFileLengthOffset) |
                                static_cast<unsigned>(header[kAmsdosFileLengthOffset + 2]) << 16;
    if (length != kScreenImageSize || fileLength != kScreenImageSize)
        return Failure{"its AMSDOS header gives a length of " + std::to_string(length) + " (offset 24) and " +
                           std::to_string(fileLength) + " (offset 64); a screen file holds 16384 bytes",
                       FailureKind::Malformed};

    ScreenFile screen;
    const unsigned load = readLittleEndian16(header, kAmsdosLoadAddressOffset);
    if (load == 0x4000)
        screen.layout = ScreenLayout::At4000;
    else if (load == 0xC000)
        screen.layout = ScreenLayout::AtC000;
    else
        return Failure{"its AMSDOS header loads it at &" + hex(load, 4) +
                           "; a screen file of this program loads at &4000 or &C000",
                       FailureKind::Malformed};

    std::copy(file.begin() + kAmsdosHeaderSize, file.end(), screen.image.begin());
    Expected<ScreenInks> inks = readScreenInks(screen.image);
    if (!inks) return inks.failure();
    screen.inks = inks.value();
    return screen;
}

}  // namespace varnoke
