#include "cpc/screen_file_reader.h"

#include "cpc/amsdos_header.h"
#include "main/cpc_colors.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace varnoke {
namespace {

constexpr std::size_t kScreenFileBytes = kAmsdosHeaderSize + kScreenImageSize;
constexpr std::size_t kGateArrayCodesOffset = 0x07E0;

std::string hex(unsigned value, int digits) {
    char text[8];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

unsigned word(std::span<const Byte> bytes, std::size_t offset) {
    return static_cast<unsigned>(bytes[offset]) | static_cast<unsigned>(bytes[offset + 1]) << 8;
}

}  // namespace

Expected<ScreenInks> readScreenInks(std::span<const Byte, kScreenImageSize> image) {
    ScreenInks inks;
    const Byte mode = image[kModeByteOffset];
    if (mode > 2)
        return Failure{"the mode byte at image offset 0x07F1 is " + std::to_string(mode) +
                       ", not a CPC screen mode (0, 1 or 2)"};
    inks.mode = mode;
    const int pens = pensOfMode(mode);
    for (int pen = 0; pen < pens; ++pen) {
        const std::size_t colorAt = kInkTableOffset + static_cast<std::size_t>(pen);
        const std::size_t codeAt = kGateArrayCodesOffset + static_cast<std::size_t>(pen);
        const Byte color = image[colorAt];
        if (color >= kCpcColorCount)
            return Failure{"pen " + std::to_string(pen) + " has colour number " + std::to_string(color) +
                           " at image offset 0x" + hex(static_cast<unsigned>(colorAt), 4) +
                           ", beyond the 27 CPC colours (0 to 26)"};
        const Byte code = image[codeAt];
        if (code != cpcGateArrayCode(color))
            return Failure{"pen " + std::to_string(pen) + " has gate-array code 0x" + hex(code, 2) +
                           " at image offset 0x" + hex(static_cast<unsigned>(codeAt), 4) + ", but its colour " +
                           std::to_string(color) + " has code 0x" + hex(cpcGateArrayCode(color), 2)};
        inks.colors[static_cast<std::size_t>(pen)] = color;
    }
    return inks;
}

Expected<ScreenFile> parseScreenFile(std::span<const Byte> file) {
    if (file.size() != kScreenFileBytes)
        return Failure{"it is " + std::to_string(file.size()) +
                       " bytes long; a screen file is 16512 bytes (a 128-byte AMSDOS header and 16384 bytes of "
                       "screen memory)"};
    const std::span<const Byte, kAmsdosHeaderSize> header = file.first<kAmsdosHeaderSize>();
    const unsigned stored = word(header, kAmsdosChecksumOffset);
    const unsigned sum = amsdosChecksum(header);
    if (stored != sum)
        return Failure{"it has no valid AMSDOS header: the checksum at offset 67 is 0x" + hex(stored, 4) +
                       " but bytes 0 to 66 add up to 0x" + hex(sum, 4)};
    if (header[18] != 2)
        return Failure{"its AMSDOS header gives file type " + std::to_string(header[18]) +
                       " at offset 18, not 2 (binary)"};
    const unsigned length = word(header, 24);
    const unsigned fileLength = word(header, 64) | static_cast<unsigned>(header[66]) << 16;
    if (length != kScreenImageSize || fileLength != kScreenImageSize)
        return Failure{"its AMSDOS header gives a length of " + std::to_string(length) + " (offset 24) and " +
                       std::to_string(fileLength) + " (offset 64); a screen file holds 16384 bytes"};

    ScreenFile screen;
    const unsigned load = word(header, 21);
    if (load == 0x4000)
        screen.layout = ScreenLayout::At4000;
    else if (load == 0xC000)
        screen.layout = ScreenLayout::AtC000;
    else
        return Failure{"its AMSDOS header loads it at &" + hex(load, 4) +
                       "; a screen file of this program loads at &4000 or &C000"};

    std::copy(file.begin() + kAmsdosHeaderSize, file.end(), screen.image.begin());
    Expected<ScreenInks> inks = readScreenInks(screen.image);
    if (!inks) return Failure{inks.reason()};
    screen.inks = inks.value();
    return screen;
}

}  // namespace varnoke
