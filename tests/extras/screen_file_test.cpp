// Reading back screen files: a valid file of each mode and layout is accepted; a file
// with any damage to its AMSDOS header, its size, its mode byte or its ink table is
// refused with a reason that says what is wrong and where.
#include "extras_support.h"

#include "cpc/save_command.h"
#include "cpc/screen_file_reader.h"
#include "pcx/open_command.h"

#include <gtest/gtest.h>

namespace varnoke::extras {
namespace {

std::vector<Byte> screenFileOf(const std::string& sampleName, ScreenLayout layout) {
    ProgramState state;
    const OpenOutcome opened = openPictureFile(state, sample(sampleName), sampleName, Log());
    EXPECT_TRUE(opened.accepted) << opened.reason;
    const OutputFiles files = buildOutputFiles(state, layout, Log());
    return {files.screenFile.begin(), files.screenFile.end()};
}

// Rewrites the checksum after a deliberate change to the header (bytes 0 to 66 summed).
void fixChecksum(std::vector<Byte>& file) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < 67; ++i) sum += file[i];
    file[67] = static_cast<Byte>(sum & 0xFF);
    file[68] = static_cast<Byte>((sum >> 8) & 0xFF);
}

std::string reasonFor(const std::vector<Byte>& file) {
    const Expected<ScreenFile> parsed = parseScreenFile(file);
    return parsed ? std::string("accepted") : parsed.reason();
}

TEST(ScreenFileReader, AcceptsEveryModeAndLayoutThisProgramWrites) {
    const std::pair<const char*, Byte> samples[] = {
        {"sunset-mode0.pcx", 0}, {"sunset-mode1.pcx", 1}, {"checkerboard-mode2.pcx", 2}};
    for (const auto& [name, mode] : samples)
        for (const ScreenLayout layout : {ScreenLayout::At4000, ScreenLayout::AtC000}) {
            const std::vector<Byte> file = screenFileOf(name, layout);
            const Expected<ScreenFile> parsed = parseScreenFile(file);
            ASSERT_TRUE(parsed) << name << ": " << parsed.reason();
            EXPECT_EQ(parsed.value().layout, layout);
            EXPECT_EQ(parsed.value().inks.mode, mode);
            EXPECT_TRUE(std::equal(parsed.value().image.begin(), parsed.value().image.end(), file.begin() + 128));
        }
    // The checkerboard's two pens: black (0) and white (26), in the order of use.
    const Expected<ScreenFile> checkerboard = parseScreenFile(screenFileOf("checkerboard-mode2.pcx", ScreenLayout::At4000));
    ASSERT_TRUE(checkerboard);
    const auto& colors = checkerboard.value().inks.colors;
    EXPECT_TRUE((colors[0] == 0 && colors[1] == 26) || (colors[0] == 26 && colors[1] == 0));
}

TEST(ScreenFileReader, RefusesEveryBitFlipInTheCheckedHeaderBytes) {
    const std::vector<Byte> valid = screenFileOf("sunset-mode1.pcx", ScreenLayout::At4000);
    for (std::size_t offset = 0; offset < 69; ++offset)
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<Byte> file = valid;
            file[offset] ^= static_cast<Byte>(1 << bit);
            const std::string reason = reasonFor(file);
            EXPECT_NE(reason.find("no valid AMSDOS header: the checksum at offset 67 is 0x"), std::string::npos)
                << "offset " << offset << " bit " << bit << ": " << reason;
        }
    // Bytes 69 to 127 are outside the checksum and carry nothing this reader needs.
    std::vector<Byte> file = valid;
    file[100] ^= 0xFF;
    EXPECT_EQ(reasonFor(file), "accepted");
}

TEST(ScreenFileReader, RefusesEverySizeButTheOne) {
    const std::vector<Byte> valid = screenFileOf("sunset-mode0.pcx", ScreenLayout::At4000);
    for (std::size_t size = 0; size < valid.size(); size += (size < 200 ? 1 : 97)) {
        const std::vector<Byte> cut(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(reasonFor(cut), "it is " + std::to_string(size) +
                                      " bytes long; a screen file is 16512 bytes (a 128-byte AMSDOS header and "
                                      "16384 bytes of screen memory)");
    }
    for (const std::size_t size : {valid.size() - 1, valid.size() + 1}) {
        std::vector<Byte> file = valid;
        file.resize(size);
        EXPECT_NE(reasonFor(file).find("it is " + std::to_string(size) + " bytes long"), std::string::npos);
    }
}

TEST(ScreenFileReader, RefusesHeadersOfOtherFiles) {
    const std::vector<Byte> valid = screenFileOf("sunset-mode0.pcx", ScreenLayout::At4000);
    struct Case {
        std::size_t offset;
        Byte value;
        const char* reason;
    };
    const Case cases[] = {
        {18, 0, "its AMSDOS header gives file type 0 at offset 18, not 2 (binary)"},  // a BASIC program
        {22, 0x80, "its AMSDOS header loads it at &8000; a screen file of this program loads at &4000 or &C000"},
        {24, 0xEF, "its AMSDOS header gives a length of 16623 (offset 24) and 16384 (offset 64); a screen file holds 16384 bytes"},
        {66, 1, "its AMSDOS header gives a length of 16384 (offset 24) and 81920 (offset 64); a screen file holds 16384 bytes"},
    };
    for (const Case& c : cases) {
        std::vector<Byte> file = valid;
        file[c.offset] = c.value;
        fixChecksum(file);
        EXPECT_EQ(reasonFor(file), c.reason) << "offset " << c.offset;
    }
}

TEST(ScreenFileReader, RefusesABadModeByteOrInkTableAndNamesTheOffset) {
    const std::vector<Byte> valid = screenFileOf("sunset-mode0.pcx", ScreenLayout::At4000);
    const std::size_t image = 128;
    for (int mode = 3; mode < 256; ++mode) {
        std::vector<Byte> file = valid;
        file[image + 0x7F1] = static_cast<Byte>(mode);
        EXPECT_EQ(reasonFor(file), "the mode byte at image offset 0x07F1 is " + std::to_string(mode) +
                                       ", not a CPC screen mode (0, 1 or 2)");
    }

    std::vector<Byte> file = valid;
    file[image + 0x7D2] = 27;
    EXPECT_EQ(reasonFor(file), "pen 2 has colour number 27 at image offset 0x07D2, beyond the 27 CPC colours (0 to 26)");

    file = valid;
    file[image + 0x7D0] = 26;  // colour 26 with the code of whatever pen 0 had
    const Byte code = valid[image + 0x7E0];
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "pen 0 has gate-array code 0x%02X at image offset 0x07E0, but its colour 26 has code 0x4B", code);
    ASSERT_NE(code, 0x4B);  // the sample's pen 0 is not white
    EXPECT_EQ(reasonFor(file), expected);

    file = valid;
    file[image + 0x7EF] = 0x00;  // pen 15 in mode 0: a gate-array code must be there
    EXPECT_NE(reasonFor(file).find("pen 15 has gate-array code 0x00 at image offset 0x07EF"), std::string::npos);

    // In mode 2 only pens 0 and 1 count: the rest of the table is not read.
    std::vector<Byte> mode2 = screenFileOf("checkerboard-mode2.pcx", ScreenLayout::AtC000);
    mode2[image + 0x7D5] = 200;
    mode2[image + 0x7E5] = 0x12;
    EXPECT_EQ(reasonFor(mode2), "accepted");
}

TEST(ScreenFileReaderProgram, ShowNamesTheFileAndTheReason) {
    TestFolder folder;
    std::vector<Byte> file = screenFileOf("sunset-mode1.pcx", ScreenLayout::At4000);
    file.resize(16000);
    writeBytes(folder / "cut.scr", file);
    const ProgramRun run = runConverter("--show " + (folder / "cut.scr").string() + " " + (folder / "x.png").string(), folder);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "varnoke-pcx-convert: " + (folder / "cut.scr").string() +
                           " is not a screen file of this program: it is 16000 bytes long; a screen file is 16512 "
                           "bytes (a 128-byte AMSDOS header and 16384 bytes of screen memory)\n");
    EXPECT_FALSE(fs::exists(folder / "x.png"));
}

}  // namespace
}  // namespace varnoke::extras
