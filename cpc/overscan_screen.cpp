#include "cpc/overscan_screen.h"

#include "cpc/amsdos_header.h"
#include "cpc/screen_encoding.h"
#include "main/little_endian.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace varnoke {
namespace {

constexpr std::size_t at(std::uint16_t address) { return address - std::size_t{kOverscanLoadAddress}; }

// The routine that the file carries. The entry at &0170 jumps over the mode byte to the
// rest, at &0800 in a part of the first bank that is never displayed. Ports: &7Fxx gate
// array, &BCxx/&BDxx CRTC select/data, &F4xx-&F6xx PPI ports A-C, &F7xx PPI control.
constexpr std::array<Byte, 4> kEntry{
    0xF3,              // &0170  DI                ; the firmware stays out until the reset
    0xC3, 0x00, 0x08,  // &0171  JP &0800
};

constexpr std::array<Byte, 0x42> kMain{
    0x21, 0x7A, 0x08,  // &0800  LD HL,&087A      ; the overscan CRTC values
    0xCD, 0x42, 0x08,  // &0803  CALL &0842
    0x3A, 0x84, 0x01,  // &0806  LD A,(&0184)     ; the mode byte, &0E + mode
    0xC6, 0x7E,        // &0809  ADD A,&7E        ; &8C + mode: the mode, both ROMs off
    0x01, 0x00, 0x7F,  // &080B  LD BC,&7F00      ; gate array
    0xED, 0x79,        // &080E  OUT (C),A
    0x21, 0x00, 0x7F,  // &0810  LD HL,&7F00      ; the pens' codes
    0xAF,              // &0813  XOR A            ; pen 0
    0xED, 0x79,        // &0814  OUT (C),A        ; select pen A
    0x56,              // &0816  LD D,(HL)
    0xED, 0x51,        // &0817  OUT (C),D        ; give it its code
    0x23,              // &0819  INC HL
    0x3C,              // &081A  INC A
    0xFE, 0x10,        // &081B  CP 16
    0x20, 0xF5,        // &081D  JR NZ,&0814
    0xED, 0x79,        // &081F  OUT (C),A        ; A = &10: select the border
    0x3E, 0x54,        // &0821  LD A,&54
    0xED, 0x79,        // &0823  OUT (C),A        ; black
    0x06, 0xF5,        // &0825  LD B,&F5         ; PPI port B, bit 0: frame flyback
    0xED, 0x78,        // &0827  IN A,(C)
    0x1F,              // &0829  RRA
    0x38, 0xFB,        // &082A  JR C,&0827       ; wait for the end of a flyback
    0xED, 0x78,        // &082C  IN A,(C)
    0x1F,              // &082E  RRA
    0x30, 0xFB,        // &082F  JR NC,&082C      ; and for the next one: once a frame
    0xCD, 0x53, 0x08,  // &0831  CALL &0853       ; carry set while space is up
    0x38, 0xEF,        // &0834  JR C,&0825
    0x21, 0x87, 0x08,  // &0836  LD HL,&0887      ; the firmware's CRTC values
    0xCD, 0x42, 0x08,  // &0839  CALL &0842
    0x01, 0x89, 0x7F,  // &083C  LD BC,&7F89      ; mode 1, lower ROM on
    0xED, 0x49,        // &083F  OUT (C),C
    0xC7,              // &0841  RST 0            ; the firmware's reset
};

// Sets CRTC registers from a list of (register, value) pairs that &FF ends.
constexpr std::array<Byte, 0x11> kSetCrtc{
    0x7E,              // &0842  LD A,(HL)
    0xFE, 0xFF,        // &0843  CP &FF
    0xC8,              // &0845  RET Z
    0x01, 0x00, 0xBC,  // &0846  LD BC,&BC00
    0xED, 0x79,        // &0849  OUT (C),A        ; select the register
    0x23,              // &084B  INC HL
    0x7E,              // &084C  LD A,(HL)
    0x04,              // &084D  INC B            ; &BDxx
    0xED, 0x79,        // &084E  OUT (C),A        ; its value
    0x23,              // &0850  INC HL
    0x18, 0xEF,        // &0851  JR &0842
};

// The space bar, read through the sound chip's register 14, keyboard line 5.
constexpr std::array<Byte, 0x27> kSpaceBarTest{
    0x01, 0x0E, 0xF4,  // &0853  LD BC,&F40E
    0xED, 0x49,        // &0856  OUT (C),C        ; port A := 14, the keyboard register
    0x01, 0xC0, 0xF6,  // &0858  LD BC,&F6C0
    0xED, 0x49,        // &085B  OUT (C),C        ; port C := &C0, latch the register number
    0xAF,              // &085D  XOR A
    0xED, 0x79,        // &085E  OUT (C),A        ; port C := 0, sound chip inactive
    0x01, 0x92, 0xF7,  // &0860  LD BC,&F792
    0xED, 0x49,        // &0863  OUT (C),C        ; port A becomes an input
    0x01, 0x45, 0xF6,  // &0865  LD BC,&F645
    0xED, 0x49,        // &0868  OUT (C),C        ; read the sound chip, keyboard line 5
    0x06, 0xF4,        // &086A  LD B,&F4
    0xED, 0x78,        // &086C  IN A,(C)         ; a key that is down reads 0
    0x01, 0x82, 0xF7,  // &086E  LD BC,&F782
    0xED, 0x49,        // &0871  OUT (C),C        ; port A an output again
    0x01, 0x00, 0xF6,  // &0873  LD BC,&F600
    0xED, 0x49,        // &0876  OUT (C),C        ; port C := 0
    0x17,              // &0878  RLA              ; bit 7, the space bar, into carry
    0xC9,              // &0879  RET
};

// The CRTC's values: the overscan screen drawn in the header, then the firmware's.
constexpr std::array<Byte, 26> kCrtcValues{
    0x01, 0x30,  // &087A  R1 = 48 characters a line
    0x02, 0x32,  // &087C  R2 = 50, the horizontal sync
    0x06, 0x22,  // &087E  R6 = 34 rows
    0x07, 0x23,  // &0880  R7 = 35, the vertical sync
    0x0C, 0x0D,  // &0882  R12 = &0D: MA11, MA10 and MA8 set
    0x0D, 0x00,  // &0884  R13 = 0: the screen starts at &0200
    0xFF,        // &0886
    0x01, 0x28,  // &0887  R1 = 40
    0x02, 0x2E,  // &0889  R2 = 46
    0x06, 0x19,  // &088B  R6 = 25
    0x07, 0x1E,  // &088D  R7 = 30
    0x0C, 0x30,  // &088F  R12 = &30: the screen at &C000
    0x0D, 0x00,  // &0891  R13 = 0
    0xFF,        // &0893
};

struct Block {
    std::uint16_t address;
    std::span<const Byte> bytes;
};
constexpr std::array<Block, 5> kBlocks{{
    {0x0170, kEntry},
    {0x0800, kMain},
    {0x0842, kSetCrtc},
    {0x0853, kSpaceBarTest},
    {0x087A, kCrtcValues},
}};

// The firmware colour number of each of the gate array's 32 colour codes (bits 4-0).
constexpr std::array<Byte, 32> kColourOfCode{13, 13, 19, 25, 1, 7, 10, 16, 7, 25, 24, 26, 6, 8, 15, 17,
                                             1,  19, 18, 20, 0, 2, 9,  11, 4, 22, 21, 23, 3, 5, 12, 14};

std::string hex(unsigned value, int digits) {
    char text[8];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

}  // namespace

OverscanImage encodeOverscanImage(const ProgramState& state) {
    OverscanImage image(kOverscanImageSize, 0);
    const ScreenEncoder encoder(state);
    for (int y = 0; y < kOverscanHeight; ++y) {
        const std::size_t line = at(overscanLineAddress(y));
        for (int x = 0; x < static_cast<int>(kOverscanBytesPerRow); ++x)
            image[line + static_cast<std::size_t>(x)] = encoder.encodeScreenByte(y, x);
    }
    for (const Block& block : kBlocks)
        std::copy(block.bytes.begin(), block.bytes.end(),
                  image.begin() + static_cast<std::ptrdiff_t>(at(block.address)));
    image[at(kOverscanModeAddress)] = static_cast<Byte>(kOverscanModeBase + std::min<Byte>(state.cpcMode, 2));
    // The codes of the mode's pens, then black.
    std::array<Byte, kInkTableSize> table{};
    buildInkTable(state, table);
    const std::size_t pens = pensPerMode(state);
    for (std::size_t pen = 0; pen < 16; ++pen)
        image[at(kOverscanPensAddress) + pen] = pen < pens ? table[kInkCodesInTable + pen] : state.hardwareCodes[0];
    return image;
}

std::vector<Byte> buildOverscanFile(const ProgramState& state, const Log& log) {
    log.DEBUG("Saving ... ");
    std::vector<Byte> file(kAmsdosHeaderSize + kOverscanImageSize);
    const OverscanImage image = encodeOverscanImage(state);
    std::copy(image.begin(), image.end(), file.begin() + kAmsdosHeaderSize);
    log.DEBUG("Creation d' une entete Amsdos ... ");
    writeAmsdosHeader(std::span<Byte, kAmsdosHeaderSize>(file.data(), kAmsdosHeaderSize), "VARNOPCXSCR",
                      kAmsdosBinaryFile, kOverscanLoadAddress, kOverscanImageSize, kOverscanLoadAddress);
    log.DEBUG("Checksum = ", static_cast<std::int16_t>(readLittleEndian16(file, kAmsdosChecksumOffset)));
    return file;
}

namespace {

Expected<void> checkOverscanHeader(std::span<const Byte, kAmsdosHeaderSize> header) {
    const unsigned stored = readLittleEndian16(header, kAmsdosChecksumOffset);
    if (stored != amsdosChecksum(header))
        return Failure{"it has no valid AMSDOS header: the checksum at offset 67 is 0x" + hex(stored, 4) +
                           " but bytes 0 to 66 add up to 0x" + hex(amsdosChecksum(header), 4),
                       FailureKind::Malformed};
    const unsigned load = readLittleEndian16(header, kAmsdosLoadAddressOffset);
    if (header[kAmsdosFileTypeOffset] != kAmsdosBinaryFile || load != kOverscanLoadAddress)
        return Failure{"its AMSDOS header gives file type " + std::to_string(header[kAmsdosFileTypeOffset]) +
                           " loaded at &" + hex(load, 4) + "; an overscan file is binary (2) and loads at &0170",
                       FailureKind::Malformed};
    return {};
}

}  // namespace

Expected<OverscanFile> parseOverscanFile(std::span<const Byte> file) {
    if (file.size() == kAmsdosHeaderSize + kOverscanImageSize) {
        if (Expected<void> header = checkOverscanHeader(file.first<kAmsdosHeaderSize>()); !header)
            return header.failure();
        file = file.subspan(kAmsdosHeaderSize);
    } else if (file.size() != kOverscanImageSize) {
        return Failure{"it is " + std::to_string(file.size()) +
                           " bytes long; an overscan file is 32768 bytes (a 128-byte AMSDOS header and 32640 bytes "
                           "loaded at &0170), or 32640 without the header",
                       FailureKind::Malformed};
    }
    OverscanFile read;
    const Byte mode = file[at(kOverscanModeAddress)];
    if (mode < kOverscanModeBase || mode > kOverscanModeBase + 2)
        return Failure{"the mode byte at &0184 is &" + hex(mode, 2) + ", not &0E, &0F or &10 (modes 0, 1 and 2)",
                       FailureKind::Malformed};
    if (file[at(kOverscanPlusFlagAddress)] != 0)
        return Failure{"the byte at &01AC marks a CPC Plus palette, which this program does not read",
                       FailureKind::Malformed};
    read.mode = static_cast<Byte>(mode - kOverscanModeBase);
    for (std::size_t pen = 0; pen < std::size_t{pensOfMode(read.mode)}; ++pen) {
        const Byte code = file[at(kOverscanPensAddress) + pen];
        if ((code & 0xE0) != 0x40)
            return Failure{"pen " + std::to_string(pen) + " has code &" + hex(code, 2) + " at &" +
                               hex(kOverscanPensAddress + static_cast<unsigned>(pen), 4) +
                               ", not a gate-array colour (&40 to &5F)",
                           FailureKind::Malformed};
        read.colors[pen] = kColourOfCode[code & 0x1F];
    }
    read.image.assign(file.begin(), file.end());
    return read;
}

}  // namespace varnoke
