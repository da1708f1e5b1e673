// The BASIC loader that --dsk puts beside a picture: listed back through Locomotive
// BASIC's published token table, written out here, it is the line that shows the picture;
// its AMSDOS header is a BASIC program's; a BASIC file of the user's is never replaced.
#include "cpc/basic_loader.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace varnoke {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

// Keywords &80-&FE (two unused), then the functions after &FF from &00.
const std::string kKeywords =
    "AFTER|AUTO|BORDER|CALL|CAT|CHAIN|CLEAR|CLG|CLOSEIN|CLOSEOUT|CLS|CONT|DATA|DEF|DEFINT|DEFREAL|DEFSTR|DEG|DELETE|"
    "DIM|DRAW|DRAWR|EDIT|ELSE|END|ENT|ENV|ERASE|ERROR|EVERY|FOR|GOSUB|GOTO|IF|INK|INPUT|KEY|LET|LINE|LIST|LOAD|"
    "LOCATE|MEMORY|MERGE|MID$|MODE|MOVE|MOVER|NEXT|NEW|ON|ON BREAK|ON ERROR GOTO|ON SQ|OPENIN|OPENOUT|ORIGIN|OUT|"
    "PAPER|PEN|PLOT|PLOTR|POKE|PRINT|'|RAD|RANDOMIZE|READ|RELEASE|REM|RENUM|RESTORE|RESUME|RETURN|RUN|SAVE|SOUND|"
    "SPEED|STOP|SYMBOL|TAG|TAGOFF|TROFF|TRON|WAIT|WEND|WHILE|WIDTH|WINDOW|WRITE|ZONE|DI|EI|FILL|GRAPHICS|MASK|FRAME|"
    "CURSOR||ERL|FN|SPC|STEP|SWAP|||TAB|THEN|TO|USING|>|=|>=|<|<>|<=|+|-|*|/|^|\\|AND|MOD|OR|XOR|NOT";
const std::string kFunctions =
    "ABS|ASC|ATN|CHR$|CINT|COS|CREAL|EXP|FIX|FRE|INKEY|INP|INT|JOY|LEN|LOG|LOG10|LOWER$|PEEK";

std::string nth(const std::string& table, std::size_t n) {
    std::size_t at = 0;
    for (; n > 0; --n) at = table.find('|', at) + 1;
    return table.substr(at, table.find('|', at) - at);
}

// LIST: the program's lines as BASIC shows them.
std::string list(const Bytes& program) {
    std::string text;
    std::size_t at = 0;
    for (std::size_t end; test::le16(program, at) != 0; at = end + 1) {
        end = at + test::le16(program, at) - 1;
        EXPECT_EQ(program.at(end), 0) << "a line ends with 0";
        text += std::to_string(test::le16(program, at + 2)) + " ";
        for (std::size_t i = at + 4, quotes = 0; i < end; ++i) {
            const Byte b = program[i];
            char hex[8];
            quotes += b == '"';
            if (quotes % 2 == 1 || (b >= 0x20 && b < 0x80))
                text += static_cast<char>(b);
            else if (b == 0x01)
                text += ':';
            else if (b >= 0x0E && b <= 0x17)
                text += std::to_string(b - 0x0E);
            else if (b == 0x19)
                text += std::to_string(program[++i]);
            else if (b == 0x1C)
                std::snprintf(hex, sizeof hex, "&%X", test::le16(program, i + 1)), text += hex, i += 2;
            else if (b == 0xFF)
                text += nth(kFunctions, program[++i]);
            else
                text += b >= 0x80 ? nth(kKeywords, b - 0x80u) : "?";
        }
        text += "\n";
    }
    EXPECT_EQ(at + 2, program.size()) << "the program ends with two zero bytes";
    return text;
}

TEST(BasicLoader, ListsAsTheLineThatShowsThePicture) {
    LoaderTarget target;
    EXPECT_EQ(list(basicLoaderProgram(target, "SUNSET.SCR")), "10 MEMORY &3FFF:LOAD\"SUNSET.SCR\":CALL &4FD0\n");
    target.layout = ScreenLayout::AtC000;
    target.mode = 1;
    target.colors = {0, 13, 26, 6};
    EXPECT_EQ(
        list(basicLoaderProgram(target, "A.SCR")),
        "10 MODE 1:LOAD\"A.SCR\":INK 0,0:INK 1,13:INK 2,26:INK 3,6:WHILE INKEY(47):WEND:MODE 2:INK 0,1:INK 1,24\n");
    target.screen = ScreenFormat::Overscan;
    const Bytes program = basicLoaderProgram(target, "FULL.SCR");
    EXPECT_EQ(list(program), "10 RUN\"FULL.SCR\"\n");

    // Behind a BASIC program's header, as SAVE writes it: type 0, loaded at &0170, entry 0.
    const Bytes file = basicLoaderFile(target, "FULL.SCR", "FULL.BAS");
    const Bytes header(file.begin(), file.begin() + 128);
    EXPECT_EQ(std::string(header.begin() + 1, header.begin() + 12), "FULL    BAS");
    EXPECT_EQ(std::make_tuple(header[18], test::le16(header, 21), test::le16(header, 24), test::le16(header, 64),
                              test::le16(header, 26)),
              std::make_tuple(Byte{0}, 0x170u, unsigned(program.size()), unsigned(program.size()), 0u));
    unsigned sum = 0;
    for (std::size_t i = 0; i < 67; ++i) sum += header[i];
    EXPECT_EQ(test::le16(header, 67), sum & 0xFFFF);
    EXPECT_EQ(Bytes(file.begin() + 128, file.end()), program);
}

// A BASIC program of the user's named like the picture, with no such picture beside it.
TEST(BasicLoader, AUsersProgramOfTheSameNameIsKept) {
    const test::TestFolder folder;
    const fs::path disc = folder / "d.dsk";
    test::writeBytes(folder / "MINE.BAS", Bytes(300, 'x'));
    ASSERT_EQ(test::runCommand("dskform -type dsk -format cpcdata " + disc.string() + " && cpmcp -f cpcdata " +
                               disc.string() + " " + folder.str("MINE.BAS") + " 0:")
                  .status,
              0);
    const Bytes before = test::readBytes(disc);
    const test::ProgramRun refused = test::runConverter("--dsk " + disc.string() + " " +
                                                        test::sample("sunset-mode0.pcx") + " " + folder.str("mine"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              "varnoke-pcx-convert: nothing written: MINE.BAS is already on the disc, without MINE.SCR "
              "beside it, so it is not that picture's loader and is kept: give the picture another name; " +
                  disc.string() + " was left as it was\n");
    EXPECT_EQ(test::readBytes(disc), before);
}

}  // namespace
}  // namespace varnoke
