// Disc images: files put on a CPC data disc by varnoke-pcx-convert --dsk must list and
// extract byte for byte with cpmtools; other files on the disc stay intact; a disc with
// just enough room, or room that a replaced file frees, takes the files; a full disc or
// directory, an image of another kind, or a BASIC program of the user's in the way of the
// loader, is refused and left exactly as it was. The BASIC loader beside a picture,
// listed back through Locomotive BASIC's published token table, is the line that shows
// the picture; the names proposed for the files on a disc are readable ASCII.
#include "extras/disc_image.h"
#include "cpc/basic_loader.h"
#include "extras/disc_name.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace varnoke {
namespace {

using test::Bytes;
using test::runCommand;
using test::TestFolder;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// The names that cpmls lists, upper case, sorted.
Strings discListing(const fs::path& disc) {
    const test::ProgramRun run = runCommand("cpmls -f cpcdata " + quoted(disc) + " | tr a-z A-Z | grep -v ':$' | sort");
    EXPECT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    Strings names;
    for (std::string line; std::getline(lines, line);) names.push_back(line);
    return names;
}

Bytes extract(const fs::path& disc, const std::string& name) {
    const TestFolder folder;
    const test::ProgramRun run = runCommand("cpmcp -f cpcdata " + quoted(disc) + " 0:" + name + " " + folder.str("x"));
    EXPECT_EQ(run.status, 0) << "cpmcp " << name << ": " << run.err;
    return test::readBytes(folder / "x");
}

Bytes pattern(std::size_t size, std::size_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<Byte>(i * 7 + seed * 31 + i / 251);
    return bytes;
}

using Sizes = std::vector<std::pair<std::string, std::size_t>>;
Sizes smallFiles(int count) {
    Sizes files;
    for (int i = 0; i < count; ++i) files.push_back({"F" + std::to_string(i) + ".TXT", 10});
    return files;
}

// A formatted, empty disc made by libdsk's own formatter, holding the given files (put
// there by cpmtools, each `size` bytes of a pattern).
fs::path discWith(const TestFolder& folder, const std::string& name, const Sizes& files,
                  const std::string& format = "cpcdata") {
    const fs::path disc = folder / name;
    EXPECT_EQ(runCommand("dskform -type dsk -format " + format + " " + quoted(disc)).status, 0);
    std::string sources;
    for (const auto& [file, size] : files) {
        test::writeBytes(folder / file, pattern(size, file.size()));
        sources += " " + quoted(folder / file);
    }
    EXPECT_TRUE(files.empty() || runCommand("cpmcp -f cpcdata " + quoted(disc) + sources + " 0:").status == 0);
    return disc;
}

test::ProgramRun toDisc(const fs::path& disc, const std::string& picture, const TestFolder& folder,
                        const std::string& out = "pic.scr", const std::string& options = "") {
    return test::runConverter(options + "--dsk " + quoted(disc) + " " + test::sample(picture) + " " +
                              quoted(folder / out));
}

TEST(DiscImageProgram, CreatesADiscThatCpmtoolsReadsByteForByte) {
    const TestFolder folder;
    const fs::path disc = folder / "pictures.dsk";
    const test::ProgramRun run = toDisc(disc, "sunset-mode1-six-colours.pcx", folder, "Sunset Six.scr", "--fit --log ");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Creating a CPC data disc: 40 tracks of 9 sectors &C1-&C9\n"
                           "Disc file SUNSET_S.SCR: 16512 bytes in 17 KB\n"
                           "Disc file SUNSET_S.PAL: 367 bytes in 1 KB\n"
                           "Disc file SUNSET_S.BAS: 162 bytes in 1 KB\n"
                           "Disc image Ok: 159 KB and 60 directory entries free\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(discListing(disc), (Strings{"SUNSET_S.BAS", "SUNSET_S.PAL", "SUNSET_S.SCR"}));
    EXPECT_EQ(extract(disc, "SUNSET_S.SCR"), test::readBytes(folder / "Sunset Six.scr"));
    EXPECT_EQ(extract(disc, "SUNSET_S.PAL"), test::readBytes(folder / "Sunset Six.pal"));
    // A CPCEMU image: 40 tracks of 9 × 512 bytes behind 256-byte track headers, sectors &C1 to &C9.
    const Bytes image = test::readBytes(disc);
    EXPECT_EQ(image.size(), 256u + 40u * (256u + 9u * 512u));
    EXPECT_EQ(std::string(image.begin(), image.begin() + 8), "MV - CPC");
    EXPECT_EQ(image[0x30], 40);
    EXPECT_EQ(image[0x31], 1);
    for (std::size_t s = 0; s < 9; ++s) EXPECT_EQ(image[0x100 + 0x18 + 8 * s + 2], 0xC1 + s) << "sector " << s;
    EXPECT_EQ(folder.names(), (Strings{"Sunset Six.pal", "Sunset Six.scr", "pictures.dsk"}));  // no temporary
}

TEST(DiscImageProgram, AddsBesideOtherFilesAndReplacesFilesOfTheSameName) {
    const TestFolder folder;
    const fs::path disc = discWith(folder, "d.dsk", {{"OTHER.BIN", 5000}});
    const Bytes other = test::readBytes(folder / "OTHER.BIN");
    ASSERT_EQ(toDisc(disc, "sunset-mode0.pcx", folder).status, 0);
    ASSERT_EQ(toDisc(disc, "checkerboard-mode2.pcx", folder, "board.scr").status, 0);
    const test::ProgramRun run = toDisc(disc, "sunset-mode1.pcx", folder, "pic.scr", "--log ");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(
        run.out.find("Replaced PIC.SCR on the disc\nReplaced PIC.PAL on the disc\nReplaced PIC.BAS on the disc\n"),
        std::string::npos)
        << run.out;
    EXPECT_EQ(discListing(disc),
              (Strings{"BOARD.BAS", "BOARD.PAL", "BOARD.SCR", "OTHER.BIN", "PIC.BAS", "PIC.PAL", "PIC.SCR"}));
    for (const char* name : {"pic.scr", "pic.pal", "board.scr", "OTHER.BIN"}) {
        std::string onDisc = name;
        for (char& c : onDisc) c = static_cast<char>(std::toupper(c));
        EXPECT_EQ(extract(disc, onDisc), name == onDisc ? other : test::readBytes(folder / name)) << name;
    }
}

TEST(DiscImageProgram, TakesFilesThatJustFitOrFitInTheRoomTheyReplace) {
    const TestFolder folder;
    // 159 of the 178 data blocks and 10 entries taken: the 19 KB and 4 entries needed are free.
    const fs::path justFits = discWith(folder, "fits.dsk", {{"BIG.BIN", 159 * 1024}});
    test::ProgramRun run = toDisc(justFits, "sunset-mode0.pcx", folder, "pic.scr", "--log ");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Disc image Ok: 0 KB and 50 directory entries free"), std::string::npos) << run.out;
    // Now full: the same names again fit in the blocks and entries they free.
    run = toDisc(justFits, "sunset-mode1.pcx", folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(extract(justFits, "PIC.SCR"), test::readBytes(folder / "pic.scr"));

    const fs::path entries = discWith(folder, "entries.dsk", smallFiles(60));
    run = toDisc(entries, "sunset-mode0.pcx", folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(discListing(entries).size(), 63u);
}

TEST(DiscImageProgram, RefusesAFullDiscOrDirectoryOrAnotherKindAndLeavesItAlone) {
    const TestFolder folder;
    const fs::path damaged = discWith(folder, "damaged.dsk", {{"A.BIN", 100}});
    Bytes bytes = test::readBytes(damaged);
    bytes[0x200 + 16] = 200;  // the first directory entry's first block, outside the disc
    test::writeBytes(damaged, bytes);
    test::writeBytes(folder / "notes.dsk", Bytes(300, 'x'));
    fs::create_directories(folder / "folder.dsk");

    const std::pair<fs::path, std::string> cases[] = {
        {discWith(folder, "full.dsk", {{"BIG.BIN", 160 * 1024}}),
         "nothing written: the disc is full: the files need 19 KB and only 18 KB are free; "},
        {discWith(folder, "crowded.dsk", smallFiles(61)),
         "the disc's directory is full: the files need 4 directory entries and only 3 of 64 are free"},
        {discWith(folder, "system.dsk", {}, "cpcsys"),
         "is not in CPC data format: its tracks hold 9 sectors of 512 bytes numbered from &41"},
        {folder / "notes.dsk", ""},
        {damaged, "directory entry 0 (A.BIN) names block 200, outside the data blocks 2 to 179"},
        {folder / "folder.dsk", "is not a regular file"},
        // A BASIC program of the user's named like the picture, with no such picture beside it.
        {discWith(folder, "mine.dsk", {{"PIC.BAS", 300}}),
         "varnoke-pcx-convert: nothing written: PIC.BAS is already on the disc, without PIC.SCR beside it, so it is "
         "not that picture's loader and is kept: give the picture another name; " +
             (folder / "mine.dsk").string() + " was left as it was\n"},
    };
    for (const auto& [image, reason] : cases) {
        const Bytes before = fs::is_regular_file(image) ? test::readBytes(image) : Bytes{};
        const test::ProgramRun run = toDisc(image, "sunset-mode0.pcx", folder);
        EXPECT_EQ(run.status, 1) << image;
        EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
        EXPECT_EQ(fs::is_regular_file(image) ? test::readBytes(image) : Bytes{}, before) << image;
        EXPECT_FALSE(fs::exists(folder / "pic.scr"));  // exit status 1: nothing is written
    }
    for (const std::string& name : folder.names()) EXPECT_EQ(name.find(".dsk."), std::string::npos) << name;
}

TEST(DiscImage, LaysOutOddSizedFilesThatCpmtoolsReadsBack) {
    const TestFolder folder;
    const fs::path disc = folder / "mixed.dsk";
    // 0 bytes; under one record; one record; a block and a byte; one 16 KB extent; three extents.
    const char* const names[] = {"EMPTY.BIN", "TINY.BIN", "RECORD.BIN", "BLOCK.BIN", "EXTENT.BIN", "LARGE"};
    const std::size_t sizes[] = {0, 5, 128, 1025, 16384, 40000};
    std::vector<std::pair<std::string, Bytes>> files;
    std::vector<DiscFile> discFiles;
    for (std::size_t f = 0; f < 6; ++f) files.push_back({names[f], pattern(sizes[f], sizes[f])});
    for (const auto& [name, bytes] : files) discFiles.push_back({name, bytes});
    test::CapturedLog captured;
    ASSERT_TRUE(addFilesToDiscImage(disc, discFiles, captured.log));
    EXPECT_EQ(captured.lines.back(), "Disc image Ok: 118 KB and 56 directory entries free");
    for (const auto& [name, bytes] : files)
        EXPECT_EQ(bytes.empty() ? bytes : extract(disc, name), bytes)
            << name;  // cpmtools copies no bytes of an empty file
    EXPECT_EQ(discListing(disc), (Strings{"BLOCK.BIN", "EMPTY.BIN", "EXTENT.BIN", "LARGE", "RECORD.BIN", "TINY.BIN"}));
}

TEST(DiscImage, NamesFilesLikeAmsdos) {
    const std::tuple<const char*, const char*, const char*> names[] = {{"pictures/sunset.scr", "SCR", "SUNSET.SCR"},
                                                                       {"sunset", "PAL", "SUNSET.PAL"},
                                                                       {"/tmp/My Picture 2.scr", "SCR", "MY_PICTU.SCR"},
                                                                       {"TITLE.SCR", "PAL", "TITLE.PAL"},
                                                                       {"a-b_c.bmp", "SCR", "A-B_C.SCR"},
                                                                       {"\xC3\xA9t\xC3\xA9.scr", "SCR", "__T__.SCR"},
                                                                       {"folder/.scr", "SCR", nullptr},
                                                                       {".hidden", "SCR", nullptr}};
    for (const auto& [output, extension, name] : names) {
        const Expected<std::string> got = discNameOf(output, extension);
        EXPECT_EQ(got ? got.value() : std::string("refused"), name ? name : "refused") << output;
    }
    const std::array<Byte, 11> entry = directoryName("AB.C").value();
    EXPECT_EQ(std::string(entry.begin(), entry.end()), "AB      C  ");
    for (const auto& [name, reason] : {std::pair{"NINECHARS.SCR", "1 to 8 characters"},
                                       {"A.SCRX", "more than 3"},
                                       {"lower.scr", "holds 'l'"},
                                       {"A B.SCR", "holds ' '"},
                                       {"A.S*R", "holds '*'"}})
        EXPECT_NE(directoryName(name).reason().find(reason), std::string::npos) << name;
}

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
    target.rasterFileName = "PIC.RAS";  // line pens: the raster routine shows the picture
    EXPECT_EQ(list(basicLoaderProgram(target, "PIC.SCR")),
              "10 MEMORY &3FFF:LOAD\"PIC.SCR\":LOAD\"PIC.RAS\":CALL &8000\n");
    target.rasterFileName.clear();
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
    EXPECT_EQ(test::withAmsdosChecksum(header), header);
    EXPECT_EQ(Bytes(file.begin() + 128, file.end()), program);
}

TEST(DiscName, SpellsEveryLatinAndCyrillicLetterInReadableAscii) {
    const std::pair<const char*, const char*> cases[] = {
        {"sunset-mode0.pcx", "SUNSET-M"},
        {"/photos/été à Noël.png", "ETE_A_NO"},
        {"Straße.jpg", "STRASSE"},
        {"Æsir Œuvre", "AESIR_OE"},
        {"Łódź–Kraków", "LODZ-KRA"},  // an en dash
        {"закат.png", "ZAKAT"},
        {"Щука", "SHCHUKA"},
        {"e\xCC\x81te\xCC\x81.gif", "ETE"},  // decomposed accents, as some file systems store them
        {"日本.png", "PICTURE"},
        {".hidden", "PICTURE"},
        {"a\xFF"
         "b.png",
         "AB"},  // a byte that is no UTF-8 is left out
    };
    for (const auto& [file, name] : cases) EXPECT_EQ(proposeDiscName(file), name) << file;
}

TEST(DiscName, AcceptsOnlyNamesTheDiscSaveKeepsAsTheyAre) {
    for (const char* name : {"A", "SUNSET-M", "PIC_1", "12345678"}) EXPECT_TRUE(isDiscName(name)) << name;
    for (const char* name : {"", "123456789", "sunset", "A.B", "A B", "ÉTÉ"}) EXPECT_FALSE(isDiscName(name)) << name;
}

TEST(DiscName, FilesOnDiscListsUserZeroAndLeavesTheImageAlone) {
    const TestFolder folder;
    const fs::path disc = folder / "pictures.dsk";
    const std::vector<Byte> bytes(3000, 7);
    const std::array<DiscFile, 2> files{{{"SUNSET.SCR", bytes}, {"SUNSET.PAL", bytes}}};
    ASSERT_TRUE(addFilesToDiscImage(disc, files, Log()));
    test::writeBytes(folder / "other.bin", bytes);
    // cpmtools puts one file in user 0 and one in user 1.
    const std::string cpmcp = "cd '" + folder.path().string() + "' && cpmcp -f cpcdata pictures.dsk other.bin ";
    const test::ProgramRun put = runCommand(cpmcp + "0:OTHER.BIN && " + cpmcp + "1:HIDDEN.BIN");
    ASSERT_EQ(put.status, 0) << put.err;
    const std::vector<Byte> before = test::readBytes(disc);

    const Expected<Strings> names = filesOnDisc(disc);
    ASSERT_TRUE(names) << names.reason();
    EXPECT_EQ(names.value(), (Strings{"SUNSET.SCR", "SUNSET.PAL", "OTHER.BIN"}));
    EXPECT_EQ(test::readBytes(disc), before);

    test::writeBytes(folder / "notes.dsk", std::vector<Byte>(300, 'x'));
    const Expected<Strings> notADisc = filesOnDisc(folder / "notes.dsk");
    ASSERT_FALSE(notADisc);
    EXPECT_EQ(notADisc.reason().find("libdsk reads it as"), std::string::npos) << notADisc.reason();
}

}  // namespace
}  // namespace varnoke
