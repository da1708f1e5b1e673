#include "cpc/amsdos_header.h"

#include "main/little_endian.h"

#include <algorithm>
#include <string_view>

namespace varnoke {
namespace {

struct Addresses {
    std::uint16_t load;
    std::uint16_t length;
    std::uint16_t entry;
};

Addresses addressesOf(bool paletteFile, ScreenLayout layout) {
    if (paletteFile) return {0x8809, 239, 0x8809};
    if (layout == ScreenLayout::AtC000) return {0xC000, 0x4000, 0x4000};
    return {0x4000, 0x4000, 0x4FD0};
}

}  // namespace

std::uint16_t amsdosChecksum(std::span<const Byte, kAmsdosHeaderSize> header) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < kAmsdosChecksumOffset; ++i) sum = static_cast<std::uint16_t>(sum + header[i]);
    return sum;
}

void writeAmsdosHeader(std::span<Byte, kAmsdosHeaderSize> header, std::string_view nameAndExtension, Byte fileType,
                       std::uint16_t load, std::uint16_t length, std::uint16_t entry) {
    std::fill(header.begin(), header.end(), Byte{0});
    std::copy_n(nameAndExtension.begin(), std::min<std::size_t>(nameAndExtension.size(), 11),
                header.begin() + kAmsdosNameOffset);
    header[kAmsdosFileTypeOffset] = fileType;
    writeLittleEndian16(header, kAmsdosLoadAddressOffset, load);
    writeLittleEndian16(header, kAmsdosDataLengthOffset, length);
    // The 24-bit file length; its third byte stays 0.
    writeLittleEndian16(header, kAmsdosFileLengthOffset, length);
    writeLittleEndian16(header, kAmsdosEntryAddressOffset, entry);
    writeLittleEndian16(header, kAmsdosChecksumOffset, amsdosChecksum(header));
}

void buildAmsdosHeader(std::span<Byte, kAmsdosHeaderSize> header, bool paletteFile, ScreenLayout layout,
                       const Log& log) {
    log.DEBUG("Creation d' une entete Amsdos ... ");
    const Addresses a = addressesOf(paletteFile, layout);
    writeAmsdosHeader(header, paletteFile ? "VARNOPCXPAL" : "VARNOPCXSCR", kAmsdosBinaryFile, a.load, a.length,
                      a.entry);
    log.DEBUG("Checksum = ", static_cast<std::int16_t>(readLittleEndian16(header, kAmsdosChecksumOffset)));
}

}  // namespace varnoke
