// The 128-byte PCX header and the check that decides whether a file is a picture the
// converter accepts: one plane of 8 bits per pixel, run-length encoded, 200 lines of
// 160, 320 or 640 pixels.
//
//  offset size field          use here
//  ------ ---- -------------- ---------------------------------------------
//    0     1   Manufacturer   must be 10
//    1     1   Version        must be 5
//    2     1   Encoding       must be 1 (run-length encoded)
//    3     1   BitsPerPixel   must be 8
//    4     2   Xmin           width  = Xmax - Xmin + 1, must be 160, 320 or 640
//    6     2   Ymin           height = Ymax - Ymin + 1, must be 200
//    8     2   Xmax
//   10     2   Ymax
//   12     2   HDpi           logged only
//   14     2   VDpi           logged only
//   16    48   Colormap       16-colour palette, not read
//   64     1   Reserved
//   65     1   NPlanes        must be 1
//   66     2   BytesPerLine   160 gives mode 0, 320 mode 1, anything else mode 2
//   68     2   PaletteInfo    its low byte (offset 68) must be 1
//   70     2   HscreenSize    not read
//   72     2   VscreenSize    not read
//   74    54   Filler
// All multi-byte fields are little-endian and unsigned.
#pragma once

#include "main/expected.h"
#include "main/program_state.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace varnoke {

inline constexpr std::size_t kPcxHeaderSize = 128;

struct PcxHeader {
    Byte Manufacturer = 0;
    Byte Version = 0;
    Byte Encoding = 0;
    Byte BitsPerPixel = 0;
    std::uint16_t Xmin = 0;
    std::uint16_t Ymin = 0;
    std::uint16_t Xmax = 0;
    std::uint16_t Ymax = 0;
    std::uint16_t HDpi = 0;
    std::uint16_t VDpi = 0;
    std::array<Byte, 48> Colormap{};
    Byte Reserved = 0;
    Byte NPlanes = 0;
    std::uint16_t BytesPerLine = 0;
    std::uint16_t PaletteInfo = 0;
    std::uint16_t HscreenSize = 0;
    std::uint16_t VscreenSize = 0;
    std::array<Byte, 54> Filler{};
};

// Reads the header fields from the first 128 bytes of a file.
PcxHeader readPcxHeader(std::span<const Byte, kPcxHeaderSize> bytes);

// Checks the header field by field, logging one line per field examined, up to and
// including the first field that fails. Accepted, it gives the mode that the
// bytes-per-line field gives; rejected, the reason says which field is wrong. Changes no
// program state: the caller installs the mode once the whole picture has been read.
Expected<Byte> Verif_Entete_PCX(const PcxHeader& header, const Log& log);

}  // namespace varnoke
