#include "cpc/raster_routine.h"

#include "cpc/viewer_routine.h"
#include "main/cpc_colors.h"
#include "main/little_endian.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace varnoke {
namespace {

// The routine at &8000. Columns: address, microseconds, instruction. Registers in the
// line loop: B = &7F (gate array), C, E, D = the select bytes of pens a, b, c; L, H, A =
// the line's colour codes of pens a, b, c; SP walks through the table.
constexpr std::array<Byte, 0x11A> kRoutine{
    0xCD, 0x11, 0xBC,        // &8000   5  CALL &BC11       ; SCR GET MODE: the mode BASIC has
    0x32, 0x37, 0x81,        // &8003   4  LD (&8137),A    ; kept for the way back
    0x3A, 0x20, 0x81,        // &8006   4  LD A,(&8120)    ; the picture's mode
    0xCD, 0x0E, 0xBC,        // &8009   5  CALL &BC0E       ; SCR SET MODE
    0xF3,                    // &800C   1  DI               ; the firmware stays out until the way back
    0xED, 0x73, 0x35, 0x81,  // &800D   6  LD (&8135),SP   ; BASIC's stack
    0xED, 0x5B, 0x33, 0x81,  // &8011   6  LD DE,(&8133)   ; E: pen b, D: pen c
    0x01, 0x00, 0x7F,        // &8015   3  LD BC,&7F00      ; gate array, pen 0
    0x21, 0x22, 0x81,        // &8018   3  LD HL,&8122     ; the pens' colour codes
    // pens:
    0xED, 0x49,        // &801B   4  OUT (C),C        ; select pen C
    0x7E,              // &801D   2  LD A,(HL)
    0xED, 0x79,        // &801E   4  OUT (C),A        ; its colour
    0x23,              // &8020   2  INC HL
    0x0C,              // &8021   1  INC C
    0x3A, 0x21, 0x81,  // &8022   4  LD A,(&8121)    ; the mode's pen count
    0xB9,              // &8025   1  CP C
    0x20, 0xF3,        // &8026   3  JR NZ,pens
    0x01, 0x0C, 0xBC,  // &8028   3  LD BC,&BC0C
    0xED, 0x49,        // &802B   4  OUT (C),C        ; CRTC register 12
    0x01, 0x10, 0xBD,  // &802D   3  LD BC,&BD10
    0xED, 0x49,        // &8030   4  OUT (C),C        ; display from &4000
    0x06, 0xF5,        // &8032   2  LD B,&F5         ; PPI port B, bit 0: frame flyback
    // off:
    0xED, 0x78,  // &8034   4  IN A,(C)
    0x1F,        // &8036   1  RRA
    0x38, 0xFB,  // &8037   3  JR C,off         ; wait for the flyback to end
    // on:
    0xED, 0x78,  // &8039   4  IN A,(C)
    0x1F,        // &803B   1  RRA
    0x30, 0xFB,  // &803C   3  JR NC,on         ; ... and to start: seen 0 to 7 us after it did
    0x00,        // &803E   1  NOP              ; the next poll 19967 us after this one
    // fine:
    0x21, 0x22, 0x0B,  // &803F   3  LD HL,2850
    // wait1:
    0x2B,                                // &8042   2  DEC HL
    0x7C,                                // &8043   1  LD A,H
    0xB5,                                // &8044   1  OR L
    0xC2, 0x42, 0x80,                    // &8045   3  JP NZ,wait1      ; 3 + 7 x 2850 us
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // &8048   6  NOP x 6
    0xED, 0x78,                          // &804E   4  IN A,(C)         ; one frame less 1 us after the last poll
    0x1F,                                // &8050   1  RRA
    0xDA, 0x3F, 0x80,                    // &8051   3  JP C,fine        ; still on: poll 1 us earlier next frame
    0x21, 0x8B, 0x02,                    // &8054   3  LD HL,651        ; off: the flyback starts 1 us after that poll
    // wait2:
    0x2B,              // &8057   2  DEC HL
    0x7C,              // &8058   1  LD A,H
    0xB5,              // &8059   1  OR L
    0xC2, 0x57, 0x80,  // &805A   3  JP NZ,wait2      ; 3 + 7 x 651 us
    // frame:
    0x31, 0x40, 0x81,  // &805D   3  LD SP,&8140     ; the colour table
    0xE1,              // &8060   3  POP HL           ; L, H: line 0's colours of pens a, b
    0x3A, 0x32, 0x81,  // &8061   4  LD A,(&8132)
    0x4F,              // &8064   1  LD C,A           ; C: pen a
    0x06, 0x7F,        // &8065   2  LD B,&7F         ; gate array
    0xED, 0x51,        // &8067   4  OUT (C),D        ; select pen c
    0xF1,              // &8069   3  POP AF           ; A: line 0's colour of pen c
    // even:
    0xED, 0x79,  // &806A   4  OUT (C),A        ; pen c (selected)
    0xED, 0x59,  // &806C   4  OUT (C),E        ; select pen b
    0xED, 0x61,  // &806E   4  OUT (C),H
    0xED, 0x49,  // &8070   4  OUT (C),C        ; select pen a
    0xED, 0x69,  // &8072   4  OUT (C),L
    0xE1,        // &8074   3  POP HL           ; the next line's colours
    0xF1,        // &8075   3  POP AF
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // &8076  12  NOP x 12
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // &8082  12  NOP x 12
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // &808E  12  NOP x 12
    0x00, 0x00,                                                              // &809A   2  NOP x 2
    // odd:
    0xED, 0x69,  // &809C   4  OUT (C),L        ; pen a (selected)
    0xED, 0x59,  // &809E   4  OUT (C),E        ; select pen b
    0xED, 0x61,  // &80A0   4  OUT (C),H
    0xED, 0x51,  // &80A2   4  OUT (C),D        ; select pen c
    0xED, 0x79,  // &80A4   4  OUT (C),A
    0xE1,        // &80A6   3  POP HL
    0xF1,        // &80A7   3  POP AF           ; Z after line 199
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // &80A8  12  NOP x 12
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // &80B4  12  NOP x 12
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,        // &80C0  11  NOP x 11
    0xC2, 0x6A, 0x80,                                                        // &80CB   3  JP NZ,even
    0x01, 0x0E, 0xF4,                                                        // &80CE   3  LD BC,&F40E
    0xED, 0x49,        // &80D1   4  OUT (C),C        ; port A := 14, the keyboard register
    0x01, 0xC0, 0xF6,  // &80D3   3  LD BC,&F6C0
    0xED, 0x49,        // &80D6   4  OUT (C),C        ; latch the register number
    0xAF,              // &80D8   1  XOR A
    0xED, 0x79,        // &80D9   4  OUT (C),A        ; sound chip inactive
    0x01, 0x92, 0xF7,  // &80DB   3  LD BC,&F792
    0xED, 0x49,        // &80DE   4  OUT (C),C        ; port A an input
    0x01, 0x45, 0xF6,  // &80E0   3  LD BC,&F645
    0xED, 0x49,        // &80E3   4  OUT (C),C        ; read keyboard line 5
    0x06, 0xF4,        // &80E5   2  LD B,&F4
    0xED, 0x78,        // &80E7   4  IN A,(C)         ; a key that is down reads 0
    0x01, 0x82, 0xF7,  // &80E9   3  LD BC,&F782
    0xED, 0x49,        // &80EC   4  OUT (C),C        ; port A an output again
    0x01, 0x00, 0xF6,  // &80EE   3  LD BC,&F600
    0xED, 0x49,        // &80F1   4  OUT (C),C        ; port C := 0
    0x17,              // &80F3   1  RLA              ; bit 7, the space bar, into carry
    0xD2, 0x04, 0x81,  // &80F4   3  JP NC,back       ; space is down
    0x21, 0xF4, 0x03,  // &80F7   3  LD HL,1012
    // wait3:
    0x2B,              // &80FA   2  DEC HL
    0x7C,              // &80FB   1  LD A,H
    0xB5,              // &80FC   1  OR L
    0xC2, 0xFA, 0x80,  // &80FD   3  JP NZ,wait3      ; 3 + 7 x 1012 us
    0x00,              // &8100   1  NOP
    0xC3, 0x5D, 0x80,  // &8101   3  JP frame
    // back:
    0xED, 0x7B, 0x35, 0x81,  // &8104   6  LD SP,(&8135)   ; BASIC's stack
    0x01, 0x0C, 0xBC,        // &8108   3  LD BC,&BC0C
    0xED, 0x49,              // &810B   4  OUT (C),C
    0x01, 0x30, 0xBD,        // &810D   3  LD BC,&BD30
    0xED, 0x49,              // &8110   4  OUT (C),C        ; display from &C000 again
    0xFB,                    // &8112   1  EI
    0x3A, 0x37, 0x81,        // &8113   4  LD A,(&8137)
    0xCD, 0x0E, 0xBC,        // &8116   5  CALL &BC0E       ; BASIC's mode
    0xC9,                    // &8119   3  RET
};

constexpr Byte kLastEntryFlags = 0x40;  // Z: the table ends

// Pens a, b, c of the routine for the line pens.
std::array<Byte, 3> routinePens(std::span<const Byte> linePens) {
    if (linePens.size() == 1) return {linePens[0], linePens[0], linePens[0]};
    if (linePens.size() == 2) return {linePens[0], linePens[1], linePens[1]};
    return {linePens[0], linePens[1], linePens[2]};
}

std::string hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// The colour number of a gate-array code, or 255 for a byte that is no colour write of
// one of the 27 colours.
Byte colourOfCode(Byte code) {
    for (Byte n = 0; n < kCpcColorCount; ++n)
        if (cpcGateArrayCode(n) == code) return n;
    return 255;
}

}  // namespace

Byte LinePenColours::colourOn(int y, Byte pen) const {
    const auto k = std::find(linePens.begin(), linePens.end(), pen);
    if (k == linePens.end()) return penColours[pen & 0x0F];
    return lineColours[static_cast<std::size_t>(y) * linePens.size() + static_cast<std::size_t>(k - linePens.begin())];
}

std::span<const Byte> rasterRoutine() { return kRoutine; }

std::vector<Byte> buildRasterData(const LinePenColours& colours) {
    std::vector<Byte> data(kRasterDataSize, 0);
    std::copy(kRoutine.begin(), kRoutine.end(), data.begin());
    data[kRasterModeOffset] = colours.mode;
    data[kRasterPenCountOffset] = pensOfMode(colours.mode);
    for (std::size_t pen = 0; pen < 16; ++pen) {
        if (pen < pensOfMode(colours.mode)) data[kRasterCodesOffset + pen] = cpcGateArrayCode(colours.penColours[pen]);
    }
    const std::array<Byte, 3> pens = routinePens(colours.linePens);
    std::copy(pens.begin(), pens.end(), data.begin() + kRasterLinePensOffset);
    for (int y = 0; y <= kPictureHeight; ++y) {
        const std::size_t at = kRasterTableOffset + kRasterEntrySize * static_cast<std::size_t>(y);
        const int line = std::min(y, kPictureHeight - 1);  // entry 200 is read, never shown
        data[at] = cpcGateArrayCode(colours.colourOn(line, pens[0]));
        data[at + 1] = cpcGateArrayCode(colours.colourOn(line, pens[1]));
        data[at + 2] = y == kPictureHeight ? kLastEntryFlags : Byte{0};
        data[at + 3] = cpcGateArrayCode(colours.colourOn(line, pens[2]));
    }
    return data;
}

std::vector<Byte> buildRasterFile(const LinePenColours& colours) {
    std::vector<Byte> file(kAmsdosHeaderSize);
    writeAmsdosHeader(std::span<Byte, kAmsdosHeaderSize>(file.data(), kAmsdosHeaderSize), "VARNOPCXRAS",
                      kAmsdosBinaryFile, kRasterLoadAddress, static_cast<std::uint16_t>(kRasterDataSize),
                      kRasterLoadAddress);
    const std::vector<Byte> data = buildRasterData(colours);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

LinePenFiles buildLinePenFiles(const LinePenColours& colours, std::span<const Byte> penOfPixel) {
    LinePenFiles files;
    ScreenImage image{};
    const std::size_t perByte = std::size_t{2} << std::min<Byte>(colours.mode, 2);
    for (int y = 0; y < kPictureHeight; ++y)
        for (std::size_t column = 0; column < kScreenBytesPerRow; ++column) {
            const std::size_t first = (static_cast<std::size_t>(y) * kScreenBytesPerRow + column) * perByte;
            if (first + perByte <= penOfPixel.size())
                image[rowOffset(y) + column] = packPens(colours.mode, penOfPixel.subspan(first, perByte));
        }
    for (std::size_t pen = 0; pen < pensOfMode(colours.mode); ++pen) {
        image[kInkTableOffset + pen] = colours.penColours[pen];
        image[kInkCodesOffset + pen] = cpcGateArrayCode(colours.penColours[pen]);
    }
    image[kModeByteOffset] = colours.mode;
    placeViewerRoutine(image, ScreenLayout::At4000);
    writeAmsdosHeader(std::span<Byte, kAmsdosHeaderSize>(files.screenFile.data(), kAmsdosHeaderSize), "VARNOPCXSCR",
                      kAmsdosBinaryFile, 0x4000, static_cast<std::uint16_t>(kScreenImageSize), 0x4FD0);
    std::copy(image.begin(), image.end(), files.screenFile.begin() + kAmsdosHeaderSize);
    files.rasterFile = buildRasterFile(colours);
    return files;
}

Expected<LinePenColours> parseRasterFile(std::span<const Byte> file) {
    auto fault = [](std::string why) { return Failure{std::move(why), FailureKind::Malformed}; };
    if (file.size() != kRasterFileSize)
        return fault("it is " + std::to_string(file.size()) + " bytes long; a raster file is " +
                     std::to_string(kRasterFileSize) + " bytes (a 128-byte AMSDOS header and " +
                     std::to_string(kRasterDataSize) + " bytes loaded at &8000)");
    const std::span<const Byte, kAmsdosHeaderSize> header = file.first<kAmsdosHeaderSize>();
    if (readLittleEndian16(header, kAmsdosChecksumOffset) != amsdosChecksum(header))
        return fault("it has no valid AMSDOS header: the checksum at offset 67 does not match bytes 0 to 66");
    if (header[kAmsdosFileTypeOffset] != kAmsdosBinaryFile ||
        readLittleEndian16(header, kAmsdosLoadAddressOffset) != kRasterLoadAddress ||
        readLittleEndian16(header, kAmsdosDataLengthOffset) != kRasterDataSize)
        return fault("its AMSDOS header is not that of a binary file of " + std::to_string(kRasterDataSize) +
                     " bytes loaded at &8000");
    const std::span<const Byte> data = file.subspan(kAmsdosHeaderSize);
    const auto differs = std::mismatch(kRoutine.begin(), kRoutine.end(), data.begin());
    if (differs.first != kRoutine.end())
        return fault("byte " + hex(static_cast<unsigned>(differs.first - kRoutine.begin())) +
                     " of its data is not this program's raster routine");
    LinePenColours colours;
    colours.mode = data[kRasterModeOffset];
    if (colours.mode > 2 || data[kRasterPenCountOffset] != pensOfMode(colours.mode))
        return fault("the mode and pen count at " + hex(kRasterModeOffset) + " are not those of a CPC screen mode");
    const Byte pens = pensOfMode(colours.mode);
    for (std::size_t pen = 0; pen < pens; ++pen) {
        colours.penColours[pen] = colourOfCode(data[kRasterCodesOffset + pen]);
        if (colours.penColours[pen] == 255)
            return fault("the code of pen " + std::to_string(pen) + " at " +
                         hex(static_cast<unsigned>(kRasterCodesOffset + pen)) +
                         " is not the gate-array code of a CPC colour");
    }
    const Byte a = data[kRasterLinePensOffset], b = data[kRasterLinePensOffset + 1],
               c = data[kRasterLinePensOffset + 2];
    if (a >= pens || b >= pens || c >= pens ||
        !((a == b && b == c) || (a != b && b == c) || (a != b && a != c && b != c)))
        return fault("the line pens at " + hex(kRasterLinePensOffset) + " are not 1 to 3 different pens of the mode");
    colours.linePens = a == b ? std::vector<Byte>{a} : b == c ? std::vector<Byte>{a, b} : std::vector<Byte>{a, b, c};
    const std::array<Byte, 3> routine{a, b, c};
    for (int y = 0; y <= kPictureHeight; ++y) {
        const std::size_t at = kRasterTableOffset + kRasterEntrySize * static_cast<std::size_t>(y);
        if (data[at + 2] != (y == kPictureHeight ? kLastEntryFlags : 0))
            return fault("the flag byte at " + hex(static_cast<unsigned>(at + 2)) +
                         " does not end the table after line 199");
        if (y == kPictureHeight) break;
        std::array<Byte, 3> line{colourOfCode(data[at]), colourOfCode(data[at + 1]), colourOfCode(data[at + 3])};
        if (std::find(line.begin(), line.end(), Byte{255}) != line.end() || (b == c && line[1] != line[2]) ||
            (a == b && line[0] != line[1]))
            return fault("line " + std::to_string(y) + "'s colour codes at " + hex(static_cast<unsigned>(at)) +
                         " are not colours of its line pens");
        for (std::size_t k = 0; k < colours.linePens.size(); ++k)
            colours.lineColours.push_back(line[static_cast<std::size_t>(
                std::find(routine.begin(), routine.end(), colours.linePens[k]) - routine.begin())]);
    }
    return colours;
}

}  // namespace varnoke
