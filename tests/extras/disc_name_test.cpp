// Names proposed for the files on a disc, and reading back which files a disc holds.
#include "extras/disc_name.h"
#include "extras/disc_image.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace varnoke {
namespace {

using namespace varnoke::test;

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
    writeBytes(folder / "other.bin", bytes);
    // cpmtools puts one file in user 0 and one in user 1.
    const std::string cpmcp = "cd '" + folder.path().string() + "' && cpmcp -f cpcdata pictures.dsk other.bin ";
    const ProgramRun put = runCommand(cpmcp + "0:OTHER.BIN && " + cpmcp + "1:HIDDEN.BIN");
    ASSERT_EQ(put.status, 0) << put.err;
    const std::vector<Byte> before = readBytes(disc);

    const Expected<std::vector<std::string>> names = filesOnDisc(disc);
    ASSERT_TRUE(names) << names.reason();
    EXPECT_EQ(names.value(), (std::vector<std::string>{"SUNSET.SCR", "SUNSET.PAL", "OTHER.BIN"}));
    EXPECT_EQ(readBytes(disc), before);

    writeBytes(folder / "notes.dsk", std::vector<Byte>(300, 'x'));
    const Expected<std::vector<std::string>> notADisc = filesOnDisc(folder / "notes.dsk");
    ASSERT_FALSE(notADisc);
    EXPECT_EQ(notADisc.reason().find("libdsk reads it as"), std::string::npos) << notADisc.reason();
}

}  // namespace
}  // namespace varnoke
