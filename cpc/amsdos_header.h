// The 128-byte AMSDOS file header that makes the CPC load a file as binary at a fixed
// address. 16-bit values are little-endian.
//
//  offset size  content                  screen (&4000)  screen (&C000)  palette
//  ------ ----  -----------------------  --------------  --------------  -------
//    0     1    user number              0               0               0
//    1     8    name                     "VARNOPCX"      "VARNOPCX"      "VARNOPCX"
//    9     3    extension                "SCR"           "SCR"           "PAL"
//   18     1    file type (2 = binary)   2               2               2
//   21     2    load address             &4000           &C000           &8809
//   24     2    data length              &4000           &4000           &00EF
//   26     2    entry address            &4FD0           &4000           &8809
//   64     3    file length (24 bits)    16384           16384           239
//   67     2    checksum: 16-bit sum of bytes 0..66
//  every other byte is 0
#pragma once

#include "main/program_state.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace varnoke {

inline constexpr std::size_t kAmsdosHeaderSize = 128;
// Where the fields of the drawing above lie; the writer and the reader share them.
inline constexpr std::size_t kAmsdosNameOffset = 1;
inline constexpr std::size_t kAmsdosFileTypeOffset = 18;
inline constexpr std::size_t kAmsdosLoadAddressOffset = 21;
inline constexpr std::size_t kAmsdosDataLengthOffset = 24;
inline constexpr std::size_t kAmsdosEntryAddressOffset = 26;
inline constexpr std::size_t kAmsdosFileLengthOffset = 64;
inline constexpr std::size_t kAmsdosChecksumOffset = 67;
inline constexpr Byte kAmsdosBinaryFile = 2;

using AmsdosHeader = std::array<Byte, kAmsdosHeaderSize>;

// The sum of bytes 0 to 66, wrapping at 65536.
std::uint16_t amsdosChecksum(std::span<const Byte, kAmsdosHeaderSize> header);

// Rewrites the whole header: `nameAndExtension` is the 11 bytes of the name padded with
// blanks ("VARNOPCXSCR"), then the file type, the addresses and the length as drawn
// above, and the checksum.
void writeAmsdosHeader(std::span<Byte, kAmsdosHeaderSize> header, std::string_view nameAndExtension, Byte fileType,
                       std::uint16_t load, std::uint16_t length, std::uint16_t entry);

// Rewrites the whole header for the screen file (paletteFile false) or the palette file
// (true) of the given layout, and logs "Creation d' une entete Amsdos ... " and the
// checksum.
void buildAmsdosHeader(std::span<Byte, kAmsdosHeaderSize> header, bool paletteFile, ScreenLayout layout,
                       const Log& log);

}  // namespace varnoke
