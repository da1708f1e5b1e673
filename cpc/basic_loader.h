// The BASIC loader that a disc carries beside a picture, so that RUN"NAME shows it: a
// one-line Locomotive BASIC program, tokenised as the CPC keeps it in memory and behind
// the AMSDOS header that the CPC's own SAVE writes (file type 0, loaded at &0170).
//
// A program is its lines, then two zero bytes:
//   0  2  the line's length in bytes, these two included (little-endian)
//   2  2  the line number
//   4  n  the tokens: keywords are one byte (&80-&FE), functions &FF and one byte, the
//         statement separator ':' is &01, numbers 0-9 are &0E-&17, 10-255 are &19 and a
//         byte, hexadecimal numbers &1C and two bytes; other characters are themselves
//   4+n 1 0, the end of the line
//
// The line, for a picture whose screen file is NAME.SCR:
//   standard, &4000   MEMORY &3FFF:LOAD"NAME.SCR":CALL &4FD0
//                     (the file's routine shows it until the space bar, then returns)
//   with line pens    MEMORY &3FFF:LOAD"NAME.SCR":LOAD"NAME.RAS":CALL &8000
//                     (the raster file's routine, likewise)
//   standard, &C000   MODE m:LOAD"NAME.SCR":INK 0,c0:INK 1,c1:...:WHILE INKEY(47):WEND:
//                     MODE 2:INK 0,1:INK 1,24
//                     (MODE clears the screen before the file is loaded into it, so the
//                     picture keeps every byte; the pens get its colours; space ends it
//                     and the firmware's mode and colours come back)
//   overscan          RUN"NAME.SCR"
//                     (the file fills BASIC's memory from &0170: RUN loads it and enters
//                     it at &0170; its routine resets the machine when space is pressed)
#pragma once

#include "cpc/amsdos_header.h"
#include "main/expected.h"
#include "main/program_state.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varnoke {

inline constexpr std::uint16_t kBasicProgramAddress = 0x0170;
inline constexpr Byte kAmsdosBasicFile = 0;

// What the loader shows.
struct LoaderTarget {
    ScreenFormat screen = ScreenFormat::Standard;
    ScreenLayout layout = ScreenLayout::At4000;
    Byte mode = 0;
    std::array<Byte, 16> colors{};  // CPC colour number of each pen (used at &C000)
    std::string rasterFileName;     // "NAME.RAS" for a picture with line pens (at &4000)
};

// The target that a screen file of this program needs: an overscan file, or a standard
// screen file with its layout, mode and pens. Refuses any other file.
Expected<LoaderTarget> loaderTargetOf(std::span<const Byte> screenFile);

// The tokenised program (without header) that loads `screenFileName` ("NAME.SCR").
std::vector<Byte> basicLoaderProgram(const LoaderTarget& target, std::string_view screenFileName);

// The loader file: the AMSDOS header of a BASIC program named `loaderName` ("NAME.BAS"),
// then the program.
std::vector<Byte> basicLoaderFile(const LoaderTarget& target, std::string_view screenFileName,
                                  std::string_view loaderName);

}  // namespace varnoke
