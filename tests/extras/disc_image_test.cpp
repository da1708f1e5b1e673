// Disc images: files put on a CPC data disc by varnoke-pcx-convert --dsk (and by the
// core function the window uses) must list and extract byte for byte with cpmtools;
// other files on the disc stay intact; a full disc or directory, or an image of another
// kind, is refused and leaves the image exactly as it was.
#include "extras_support.h"

#include "extras/disc_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace varnoke::extras {
namespace {

// cpmtools' name for the CPC data format; the image type is detected by libdsk.
const std::string kCpm = "-f cpcdata";

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// The names that cpmls lists in user 0, in upper case, sorted.
std::vector<std::string> discListing(const fs::path& disc, const TestFolder& folder) {
    const ProgramRun run = runCommand("cpmls " + kCpm + " " + quoted(disc), folder);
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> names;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line.back() == ':') continue;
        std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) { return std::toupper(c); });
        names.push_back(line);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<Byte> extract(const fs::path& disc, const std::string& name, const TestFolder& folder) {
    const fs::path out = folder / ("extracted-" + name);
    const ProgramRun run = runCommand("cpmcp " + kCpm + " " + quoted(disc) + " 0:" + name + " " + quoted(out), folder);
    EXPECT_EQ(run.status, 0) << "cpmcp " << name << ": " << run.err;
    std::vector<Byte> bytes = readBytes(out);
    fs::remove(out);
    return bytes;
}

// A formatted, empty CPC data disc made by libdsk's own formatter.
fs::path blankDisc(const TestFolder& folder, const std::string& format = "cpcdata") {
    const fs::path disc = folder / ("blank-" + format + ".dsk");
    const ProgramRun run = runCommand("dskform -type dsk -format " + format + " " + quoted(disc), folder);
    EXPECT_EQ(run.status, 0) << run.err;
    return disc;
}

std::vector<Byte> patterned(std::size_t size, int seed) {
    std::vector<Byte> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<Byte>((i * 7 + static_cast<std::size_t>(seed) * 31 + i / 251) & 0xFF);
    return bytes;
}

// Copies a file made here onto the disc with cpmtools.
void putWithCpmtools(const fs::path& disc, const std::string& sources, const std::string& target, const TestFolder& folder) {
    ASSERT_EQ(runCommand("cpmcp " + kCpm + " " + quoted(disc) + " " + sources + " " + target, folder).status, 0);
}

// varnoke-pcx-convert [options] --dsk disc sample folder/out.
ProgramRun toDisc(const fs::path& disc, const std::string& sampleName, const std::string& out, const TestFolder& folder,
                  const std::string& options = "") {
    return runConverter(options + "--dsk " + quoted(disc) + " " + sample(sampleName) + " " + quoted(folder / out), folder);
}

bool noTemporaryFilesBeside(const fs::path& disc) {
    for (const auto& entry : fs::directory_iterator(disc.parent_path()))
        if (entry.path().filename().string().starts_with(disc.filename().string() + ".")) return false;
    return true;
}

TEST(DiscImageProgram, CreatesADiscThatCpmtoolsListsAndExtractsByteForByte) {
    TestFolder folder;
    const fs::path disc = folder / "pictures.dsk";
    const ProgramRun run = toDisc(disc, "sunset-mode1-six-colours.pcx", "Sunset Six.scr", folder, "--fit --log ");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Creating a CPC data disc: 40 tracks of 9 sectors &C1-&C9\n"
                           "Disc file SUNSET_S.SCR: 16512 bytes in 17 KB\n"
                           "Disc file SUNSET_S.PAL: 367 bytes in 1 KB\n"
                           "Disc image Ok: 160 KB and 61 directory entries free\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(discListing(disc, folder), (std::vector<std::string>{"SUNSET_S.PAL", "SUNSET_S.SCR"}));
    EXPECT_EQ(extract(disc, "SUNSET_S.SCR", folder), readBytes(folder / "Sunset Six.scr"));
    EXPECT_EQ(extract(disc, "SUNSET_S.PAL", folder), readBytes(folder / "Sunset Six.pal"));
    // The layout of a CPC data disc as a CPCEMU image: 40 tracks of 9 × 512 bytes,
    // each behind a 256-byte track header; the first track's sectors are &C1 to &C9.
    const std::vector<Byte> image = readBytes(disc);
    EXPECT_EQ(image.size(), 256u + 40u * (256u + 9u * 512u));
    EXPECT_EQ(std::string(image.begin(), image.begin() + 8), "MV - CPC");
    EXPECT_EQ(image[0x30], 40);  // tracks
    EXPECT_EQ(image[0x31], 1);   // sides
    for (std::size_t s = 0; s < 9; ++s) EXPECT_EQ(image[0x100 + 0x18 + 8 * s + 2], 0xC1 + s) << "sector " << s;
    EXPECT_TRUE(noTemporaryFilesBeside(disc));
}

TEST(DiscImageProgram, AddsToADiscAndReplacesFilesOfTheSameName) {
    TestFolder folder;
    const fs::path disc = blankDisc(folder);
    // A file put there by cpmtools, which must survive untouched.
    const std::vector<Byte> other = patterned(5000, 1);
    writeBytes(folder / "OTHER.BIN", other);
    putWithCpmtools(disc, quoted(folder / "OTHER.BIN"), "0:OTHER.BIN", folder);
    ASSERT_EQ(toDisc(disc, "sunset-mode0.pcx", "pic.scr", folder).status, 0);
    ASSERT_EQ(toDisc(disc, "checkerboard-mode2.pcx", "board.scr", folder).status, 0);

    // Saving another picture under the same name replaces the files on the disc.
    const ProgramRun run = toDisc(disc, "sunset-mode1.pcx", "pic.scr", folder, "--log ");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Replaced PIC.SCR on the disc\nReplaced PIC.PAL on the disc\n"), std::string::npos) << run.out;
    EXPECT_EQ(discListing(disc, folder),
              (std::vector<std::string>{"BOARD.PAL", "BOARD.SCR", "OTHER.BIN", "PIC.PAL", "PIC.SCR"}));
    EXPECT_EQ(extract(disc, "PIC.SCR", folder), readBytes(folder / "pic.scr"));
    EXPECT_EQ(extract(disc, "PIC.PAL", folder), readBytes(folder / "pic.pal"));
    EXPECT_EQ(extract(disc, "BOARD.SCR", folder), readBytes(folder / "board.scr"));
    EXPECT_EQ(extract(disc, "OTHER.BIN", folder), other);

    // The freed blocks are used again: fill the disc with pictures saved under one name.
    for (int i = 0; i < 12; ++i)
        ASSERT_EQ(toDisc(disc, "sunset-mode1.pcx", "pic.scr", folder).status, 0) << "save " << i;
    EXPECT_EQ(extract(disc, "PIC.SCR", folder), readBytes(folder / "pic.scr"));
}

TEST(DiscImageProgram, AFullDiscOrDirectoryLeavesTheImageAsItWas) {
    TestFolder folder;
    // 170 KB of the 178 KB of data blocks taken: a picture needs 18 KB.
    const fs::path full = blankDisc(folder);
    writeBytes(folder / "BIG.BIN", patterned(170 * 1024, 2));
    putWithCpmtools(full, quoted(folder / "BIG.BIN"), "0:BIG.BIN", folder);
    const std::vector<Byte> before = readBytes(full);
    ProgramRun run = toDisc(full, "sunset-mode0.pcx", "pic.scr", folder);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("nothing written: the disc is full: the files need 18 KB and only 8 KB are free; "),
              std::string::npos)
        << run.err;
    EXPECT_EQ(readBytes(full), before);
    EXPECT_FALSE(fs::exists(folder / "pic.scr"));  // exit status 1: nothing is written
    EXPECT_TRUE(noTemporaryFilesBeside(full));

    // 62 of the 64 directory entries taken: a picture needs 3 (the screen file has two
    // 16 KB extents).
    const fs::path crowded = folder / "crowded.dsk";
    fs::copy_file(blankDisc(folder), crowded);
    std::string names;
    for (int i = 0; i < 62; ++i) {
        const std::string name = "F" + std::to_string(i) + ".TXT";
        writeBytes(folder / name, patterned(10, i));
        names += " " + quoted(folder / name);
    }
    putWithCpmtools(crowded, names, "0:", folder);
    const std::vector<Byte> crowdedBefore = readBytes(crowded);
    run = toDisc(crowded, "sunset-mode0.pcx", "pic.scr", folder);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("the disc's directory is full: the files need 3 directory entries and only 2 of 64 are free"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(readBytes(crowded), crowdedBefore);
    EXPECT_TRUE(noTemporaryFilesBeside(crowded));
}

TEST(DiscImageProgram, RefusesImagesOfOtherKindsAndLeavesThemAlone) {
    TestFolder folder;
    const fs::path text = folder / "notes.dsk";
    writeBytes(text, std::vector<Byte>(300, 'x'));
    // A directory entry naming a block outside the disc is a damaged directory.
    const fs::path damaged = folder / "damaged.dsk";
    fs::copy_file(blankDisc(folder), damaged);
    writeBytes(folder / "A.BIN", patterned(100, 3));
    putWithCpmtools(damaged, quoted(folder / "A.BIN"), "0:A.BIN", folder);
    std::vector<Byte> bytes = readBytes(damaged);
    ASSERT_EQ(bytes[0x200], 0);  // first directory entry: track 0 data at 0x200, first block at byte 16
    bytes[0x200 + 16] = 200;
    writeBytes(damaged, bytes);
    fs::create_directories(folder / "folder.dsk");

    const std::pair<fs::path, std::string> cases[] = {
        {blankDisc(folder, "cpcsys"), "is not in CPC data format: its tracks hold 9 sectors of 512 bytes numbered from &41"},
        {text, ""},
        {damaged, "directory entry 0 (A.BIN) names block 200, outside the data blocks 2 to 179"},
        {folder / "folder.dsk", "is not a regular file"},
    };
    for (const auto& [image, reason] : cases) {
        const std::vector<Byte> before = fs::is_regular_file(image) ? readBytes(image) : std::vector<Byte>{};
        const ProgramRun run = toDisc(image, "sunset-mode0.pcx", "pic.scr", folder);
        EXPECT_EQ(run.status, 1) << image;
        EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
        if (fs::is_regular_file(image)) {
            EXPECT_EQ(readBytes(image), before) << image;
        }
    }
}

TEST(DiscImage, LaysOutLargeAndOddSizedFilesThatCpmtoolsReadsBack) {
    TestFolder folder;
    const fs::path disc = folder / "mixed.dsk";
    // 0 bytes; under one record; exactly one record; one block plus one byte; exactly
    // one 16 KB extent; three extents (40000 bytes).
    const std::vector<std::pair<std::string, std::vector<Byte>>> files = {
        {"EMPTY.BIN", {}},          {"TINY.BIN", patterned(5, 4)},      {"RECORD.BIN", patterned(128, 5)},
        {"BLOCK.BIN", patterned(1025, 6)}, {"EXTENT.BIN", patterned(16384, 7)}, {"LARGE", patterned(40000, 8)},
    };
    std::vector<DiscFile> discFiles;
    for (const auto& [name, bytes] : files) discFiles.push_back({name, bytes});
    CapturedLog captured;
    ASSERT_TRUE(addFilesToDiscImage(disc, discFiles, captured.log));
    EXPECT_EQ(captured.lines.back(), "Disc image Ok: 118 KB and 56 directory entries free");
    for (const auto& [name, bytes] : files) {
        if (bytes.empty()) continue;  // cpmtools lists an empty file but copies no bytes either way
        EXPECT_EQ(extract(disc, name, folder), bytes) << name;
    }
    EXPECT_EQ(discListing(disc, folder),
              (std::vector<std::string>{"BLOCK.BIN", "EMPTY.BIN", "EXTENT.BIN", "LARGE", "RECORD.BIN", "TINY.BIN"}));
}

TEST(DiscImage, NamesFilesLikeAmsdos) {
    EXPECT_EQ(discNameOf("pictures/sunset.scr", "SCR").value(), "SUNSET.SCR");
    EXPECT_EQ(discNameOf("sunset", "PAL").value(), "SUNSET.PAL");
    EXPECT_EQ(discNameOf("/tmp/My Picture 2.scr", "SCR").value(), "MY_PICTU.SCR");
    EXPECT_EQ(discNameOf("TITLE.SCR", "PAL").value(), "TITLE.PAL");  // the file is TITLE.SCR.pal
    EXPECT_EQ(discNameOf("a-b_c.bmp", "SCR").value(), "A-B_C.SCR");
    EXPECT_EQ(discNameOf("\xC3\xA9t\xC3\xA9.scr", "SCR").value(), "__T__.SCR");
    EXPECT_FALSE(discNameOf("folder/.scr", "SCR"));
    EXPECT_FALSE(discNameOf(".hidden", "SCR"));

    const std::array<Byte, 11> name = directoryName("AB.C").value();
    EXPECT_EQ(std::string(name.begin(), name.end()), "AB      C  ");
    EXPECT_NE(directoryName("NINECHARS.SCR").reason().find("1 to 8 characters"), std::string::npos);
    EXPECT_NE(directoryName("A.SCRX").reason().find("more than 3"), std::string::npos);
    EXPECT_NE(directoryName("lower.scr").reason().find("holds 'l'"), std::string::npos);
    EXPECT_NE(directoryName("A B.SCR").reason().find("holds ' '"), std::string::npos);
    EXPECT_NE(directoryName("A.S*R").reason().find("holds '*'"), std::string::npos);
}

TEST(DiscImage, SaveToDiscImageRefusesLikeSaveAndWritesNothing) {
    TestFolder folder;
    const fs::path disc = folder / "window.dsk";
    ProgramState state;
    CapturedLog captured;
    EXPECT_EQ(saveToDiscImage(state, ScreenLayout::At4000, "pic", disc, captured.log).status, SaveStatus::NoPicture);
    EXPECT_FALSE(fs::exists(disc));
}

}  // namespace
}  // namespace varnoke::extras
