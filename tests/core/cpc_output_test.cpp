// The CPC files: screen encoding (pixel packing, row interleave, ink table), the AMSDOS
// headers, the viewer routine's place, the palette block, and the Save command.
#include "cpc/amsdos_header.h"
#include "cpc/save_command.h"
#include "cpc/screen_encoding.h"
#include "cpc/viewer_routine.h"
#include "main/cpc_colors.h"
#include "palette/palette_building.h"
#include "pcx/open_command.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace varnoke {
namespace {

using test::CapturedLog;
namespace fs = std::filesystem;

// The pen of pixel k (leftmost 0) of a screen byte, read from the CPC's pixel layout:
// mode 2 one bit per pixel, mode 1 bits 0/1 of pixel k at bits 7-k/3-k, mode 0 bits
// 0/1/2/3 of pixel k at bits 7-k/3-k/5-k/1-k.
int unpackPen(Byte mode, Byte value, int k) {
    auto bitAt = [value](int position) { return (value >> position) & 1; };
    if (mode == 2) return bitAt(7 - k);
    if (mode == 1) return bitAt(7 - k) | bitAt(3 - k) << 1;
    return bitAt(7 - k) | bitAt(3 - k) << 1 | bitAt(5 - k) << 2 | bitAt(1 - k) << 3;
}

TEST(ScreenEncoding, WorkedExamplesOfPacking) {
    EXPECT_EQ(packPens(2, std::vector<Byte>{1, 0, 1, 1, 0, 0, 1, 0}), 0xB2);
    EXPECT_EQ(packPens(1, std::vector<Byte>{0, 1, 2, 3}), 0x53);
    EXPECT_EQ(packPens(0, std::vector<Byte>{5, 10}), 0xA5);
    EXPECT_EQ(packPens(0, std::vector<Byte>{1, 0}), 0x80);
    EXPECT_EQ(packPens(0, std::vector<Byte>{0, 15}), 0x55);
}

TEST(ScreenEncoding, EveryPenCombinationUnpacksToItself) {
    for (Byte mode = 0; mode < 3; ++mode) {
        const int perByte = mode == 0 ? 2 : mode == 1 ? 4 : 8;
        const int pens = mode == 0 ? 16 : mode == 1 ? 4 : 2;
        int combinations = 1;
        for (int k = 0; k < perByte; ++k) combinations *= pens;
        for (int c = 0; c < combinations; ++c) {
            std::vector<Byte> p(static_cast<std::size_t>(perByte));
            for (int k = 0, rest = c; k < perByte; ++k, rest /= pens) p[static_cast<std::size_t>(k)] = static_cast<Byte>(rest % pens);
            const Byte value = packPens(mode, p);
            for (int k = 0; k < perByte; ++k) ASSERT_EQ(unpackPen(mode, value, k), p[static_cast<std::size_t>(k)]);
        }
    }
}

TEST(ScreenEncoding, RowsAreInterleavedByEight) {
    EXPECT_EQ(rowOffset(0), 0x0000u);
    EXPECT_EQ(rowOffset(1), 0x0800u);
    EXPECT_EQ(rowOffset(7), 0x3800u);
    EXPECT_EQ(rowOffset(8), 0x0050u);
    EXPECT_EQ(rowOffset(9), 0x0850u);
    EXPECT_EQ(rowOffset(199), 0x3F80u);
}

// A picture whose palette entry i has the display colour of CPC colour i (i < 27), so
// that its pens are known, with pixel values from `pixelOf(x, y)`.
template <typename F>
ProgramState pictureWith(Byte mode, std::vector<std::uint32_t> usage, F pixelOf) {
    ProgramState state;
    CapturedLog captured;
    state.cpcMode = mode;
    const int width = pictureWidth(mode);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < width; ++x) state.pixelData.push_back(pixelOf(x, y));
    for (Byte f = 0; f < 27; ++f) {
        const Rgb rgb = cpcDisplayColor(f);
        state.pcxPalette[3u * f] = rgb.r;
        state.pcxPalette[3u * f + 1] = rgb.g;
        state.pcxPalette[3u * f + 2] = rgb.b;
    }
    for (const Byte p : state.pixelData) ++state.colorUsage[p];
    (void)usage;
    buildPalette(state, captured.log);
    return state;
}

TEST(ScreenEncoding, WholeImageDecodesBackToThePensOfEveryPixel) {
    std::mt19937 random(11);
    for (Byte mode = 0; mode < 3; ++mode) {
        const int pens = mode == 0 ? 16 : mode == 1 ? 4 : 2;
        // Colours 0..pens-1 with distinct frequencies: pen p holds colour p.
        std::vector<Byte> weights;
        for (int c = 0; c < pens; ++c)
            for (int n = 0; n < pens - c; ++n) weights.push_back(static_cast<Byte>(c));
        std::uniform_int_distribution<std::size_t> pick(0, weights.size() - 1);
        ProgramState state = pictureWith(mode, {}, [&](int, int) { return weights[pick(random)]; });
        const ScreenImage image = encodeScreenImage(state);
        const int width = pictureWidth(mode);
        const int perByte = width / 80;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < width; ++x) {
                const std::size_t at = 2048u * static_cast<std::size_t>(y % 8) + 80u * static_cast<std::size_t>(y / 8) +
                                       static_cast<std::size_t>(x / perByte);
                const int pen = unpackPen(mode, image[at], x % perByte);
                const Byte colour = state.cpcColorOfIndex[state.pixelData[static_cast<std::size_t>(y * width + x)]];
                ASSERT_EQ(state.inkBoxes[static_cast<std::size_t>(pen)].filterColor, colour)
                    << "mode " << int{mode} << " x " << x << " y " << y;
            }
        // Gaps are zero except the ink table and the mode byte.
        for (std::size_t gap = 0xFD0; gap < 0x4000; gap += 0x800)
            for (std::size_t i = gap; i < gap + 48; ++i) ASSERT_EQ(image[i], 0) << i;
        EXPECT_EQ(image[0x7F0], 0);
        EXPECT_EQ(image[0x7F1], mode);
    }
}

TEST(ScreenEncoding, InkTableOfTheModesPens) {
    // Mode 1, three colours; pen 1's colour shown as CPC colour 24; pen 3 empty.
    ProgramState state = pictureWith(1, {}, [](int x, int) { return static_cast<Byte>(x < 200 ? 26 : x < 300 ? 6 : 9); });
    state.colorSubstitution[6] = 24;
    CapturedLog captured;
    buildPalette(state, captured.log);
    const ScreenImage image = encodeScreenImage(state);
    EXPECT_THAT(std::vector<Byte>(image.begin() + 0x7D0, image.begin() + 0x7F2),
                ::testing::ElementsAreArray(std::vector<Byte>{
                    26, 24, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,               // colour numbers
                    0x4B, 0x4A, 0x56, 0x54, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,     // gate-array codes
                    0, 1}));                                                       // end marker, mode
}

TEST(ScreenEncoding, TwoPensOfOneColourEncodeWithTheLowerPen) {
    ProgramState state = pictureWith(2, {}, [](int x, int) { return static_cast<Byte>(x < 400 ? 0 : 26); });
    state.colorSubstitution[26] = 0;  // both pens now show black
    CapturedLog captured;
    buildPalette(state, captured.log);
    const ScreenImage image = encodeScreenImage(state);
    for (int y = 0; y < 200; ++y)
        for (std::size_t x = 0; x < 80; ++x) ASSERT_EQ(image[rowOffset(y) + x], 0);
}

TEST(AmsdosHeader, BytesAndChecksumsOfTheThreeHeaders) {
    CapturedLog captured;
    AmsdosHeader header;
    header.fill(0xEE);
    buildAmsdosHeader(header, false, ScreenLayout::At4000, captured.log);
    AmsdosHeader expected{};
    const char name[] = "VARNOPCXSCR";
    for (std::size_t i = 0; i < 11; ++i) expected[1 + i] = static_cast<Byte>(name[i]);
    expected[18] = 2;
    expected[21] = 0x00, expected[22] = 0x40;  // load &4000
    expected[24] = 0x00, expected[25] = 0x40;  // length &4000
    expected[26] = 0xD0, expected[27] = 0x4F;  // entry &4FD0
    expected[64] = 0x00, expected[65] = 0x40;
    expected[67] = 0x3A, expected[68] = 0x05;  // 1338
    EXPECT_EQ(header, expected);
    EXPECT_EQ(captured.lines, (std::vector<std::string>{"Creation d' une entete Amsdos ... ", "Checksum = 1338"}));

    buildAmsdosHeader(header, false, ScreenLayout::AtC000, captured.log);
    EXPECT_EQ(header[22], 0xC0);
    EXPECT_EQ(header[26], 0x00);
    EXPECT_EQ(header[27], 0x40);
    EXPECT_EQ(captured.lines.back(), "Checksum = 1243");

    buildAmsdosHeader(header, true, ScreenLayout::AtC000, captured.log);
    EXPECT_EQ(captured.lines.back(), "Checksum = 1616");
    EXPECT_EQ(std::string(header.begin() + 9, header.begin() + 12), "PAL");
    EXPECT_EQ(header[21], 0x09);
    EXPECT_EQ(header[22], 0x88);
    EXPECT_EQ(header[24], 0xEF);
    EXPECT_EQ(header[25], 0x00);
    EXPECT_EQ(header[66], 0);
    for (std::size_t i = 69; i < 128; ++i) EXPECT_EQ(header[i], 0);
}

TEST(ViewerRoutine, BlocksLieInTheGapsAtTheirAddresses) {
    ScreenImage image{};
    placeViewerRoutine(image, ScreenLayout::At4000);
    EXPECT_EQ(image[0x0FD0], 0xF3);  // DI, the entry at &4FD0
    EXPECT_EQ(image[0x0FD0 + 37], 0x00);
    EXPECT_EQ(image[0x0FD0 + 38], 0x00);  // filled in by the CPC at run time
    EXPECT_EQ(image[0x0FFF], 0xC9);
    EXPECT_EQ(image[0x17D0], 0x01);
    EXPECT_EQ(image[0x17D0 + 38], 0xC9);
    EXPECT_EQ(image[0x1FD0], 0x21);
    EXPECT_EQ(image[0x1FD0 + 31], 0xC9);
    EXPECT_EQ(image[0x27D0 + 21], 0xC9);
    for (const ViewerBlock& block : viewerBlocks(ScreenLayout::At4000)) {
        EXPECT_EQ(block.bytes.size(), 48u);
        EXPECT_EQ(block.imageOffset % 0x800, 0x7D0u);
    }
    ASSERT_EQ(viewerBlocks(ScreenLayout::AtC000).size(), 1u);
    const std::span<const Byte> c000 = viewerBlocks(ScreenLayout::AtC000)[0].bytes;
    EXPECT_EQ(c000.size(), 32u);
    // Block 3 with the addresses of the &C000 picture and of the routine at &4000.
    EXPECT_THAT(std::vector<Byte>(c000.begin(), c000.end()),
                ::testing::ElementsAre(0x21, 0xF1, 0xC7, 0x7E, 0xCD, 0x0E, 0xBC, 0x01, 0x00, 0x7F, 0x16, 0x00, 0x21,
                                       0xE0, 0xC7, 0x7E, 0xB7, 0x28, 0x0C, 0xED, 0x51, 0xED, 0x79, 0x23, 0x22, 0x0D,
                                       0x40, 0x14, 0xC3, 0x0C, 0x40, 0xC9));
}

TEST(PaletteBlock, SlotsRepeatTheModesPensWithoutSubstitution) {
    ProgramState state = pictureWith(2, {}, [](int x, int) { return static_cast<Byte>(x < 400 ? 0 : 26); });
    state.colorSubstitution[26] = 6;  // shown as bright red, saved in the block as white
    std::array<Byte, kPaletteBlockSize> block;
    block.fill(0xEE);
    buildPaletteBlock(state, block);
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[1], 0xFF);
    EXPECT_EQ(block[2], 0);
    for (std::size_t slot = 0; slot < 16; ++slot)
        for (std::size_t i = 0; i < 12; ++i) ASSERT_EQ(block[3 + 12 * slot + i], slot % 2 == 0 ? 0x54 : 0x4B);
    for (std::size_t i = 195; i < 207; ++i) EXPECT_EQ(block[i], 0x54);
    for (std::size_t i = 207; i < 239; ++i) EXPECT_EQ(block[i], 0);
}

TEST(PaletteBlock, OcpModeByteHoldsTheModeAndChangesNothingElse) {
    for (const Byte mode : {Byte{0}, Byte{1}, Byte{2}}) {
        const ProgramState state = pictureWith(mode, {}, [](int x, int) { return static_cast<Byte>(x % 3 * 13); });
        std::array<Byte, kPaletteBlockSize> plain{};
        std::array<Byte, kPaletteBlockSize> ocp{};
        buildPaletteBlock(state, plain);
        buildPaletteBlock(state, ocp, PaletteModeByte::PictureMode);
        EXPECT_EQ(plain[0], 0);
        EXPECT_EQ(ocp[0], mode);
        EXPECT_TRUE(std::equal(plain.begin() + 1, plain.end(), ocp.begin() + 1)) << "mode " << int{mode};
    }
}

class SaveCommand : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("varnoke-save-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    static std::vector<Byte> read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder_;
};

TEST_F(SaveCommand, BaseNameDropsOnlyALowerCaseScrEnding) {
    EXPECT_EQ(screenBaseName("/a/title.scr"), "/a/title");
    EXPECT_EQ(screenBaseName("/a/title"), "/a/title");
    EXPECT_EQ(screenBaseName("/a/TITLE.SCR"), "/a/TITLE.SCR");
    EXPECT_EQ(screenBaseName("/a/title.bmp"), "/a/title.bmp");
    EXPECT_EQ(screenBaseName(".scr"), "");
    EXPECT_EQ(screenBaseName("scr"), "scr");
}

TEST_F(SaveCommand, WritesBothFilesAndLogsEveryStep) {
    ProgramState state = pictureWith(0, {}, [](int x, int y) { return static_cast<Byte>((x + y) % 5); });
    CapturedLog captured;
    const std::string name = (folder_ / "title.scr").string();
    const SaveOutcome outcome = saveFiles(state, ScreenLayout::At4000, name, captured.log);
    ASSERT_EQ(outcome.status, SaveStatus::Saved) << outcome.reason;
    EXPECT_EQ(filesInFolder(), (std::vector<std::string>{"title.pal", "title.scr"}));

    const std::vector<Byte> screen = read(folder_ / "title.scr");
    const std::vector<Byte> palette = read(folder_ / "title.pal");
    ASSERT_EQ(screen.size(), 16512u);
    ASSERT_EQ(palette.size(), 367u);
    const ScreenImage image = encodeScreenImage(state);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0xFD0, screen.begin() + 128));
    EXPECT_EQ(screen[128 + 0xFD0], 0xF3);

    ASSERT_EQ(captured.lines.size(), 1u + 1 + 400 + 4 + 1);
    EXPECT_EQ(captured.lines[0], name);
    EXPECT_EQ(captured.lines[1], "Saving ... ");
    EXPECT_EQ(captured.lines[2], "offset debut: 0");
    EXPECT_EQ(captured.lines[3], "offset fin: 79");
    EXPECT_EQ(captured.lines[4], "offset debut: 2048");
    EXPECT_EQ(captured.lines[5], "offset fin: 2127");
    EXPECT_EQ(captured.lines[400], "offset debut: 16256");
    EXPECT_EQ(captured.lines[401], "offset fin: 16335");
    EXPECT_EQ(std::vector<std::string>(captured.lines.begin() + 402, captured.lines.end()),
              (std::vector<std::string>{"Creation d' une entete Amsdos ... ", "Checksum = 1338",
                                        "Creation d' une entete Amsdos ... ", "Checksum = 1616", "Saving Ok ... "}));

    // Saving again without changes writes the same bytes; other names keep their ending.
    EXPECT_EQ(saveFiles(state, ScreenLayout::At4000, (folder_ / "title").string(), captured.log).status,
              SaveStatus::Saved);
    EXPECT_EQ(read(folder_ / "title.scr"), screen);
    EXPECT_EQ(saveFiles(state, ScreenLayout::AtC000, (folder_ / "TITLE.SCR").string(), captured.log).status,
              SaveStatus::Saved);
    EXPECT_EQ(filesInFolder(),
              (std::vector<std::string>{"TITLE.SCR.pal", "TITLE.SCR.scr", "title.pal", "title.scr"}));
    EXPECT_EQ(captured.lines[captured.lines.size() - 4], "Checksum = 1243");
}

TEST_F(SaveCommand, RefusalsWriteNothing) {
    CapturedLog captured;
    const std::string name = (folder_ / "title.scr").string();

    // Nothing opened yet.
    ProgramState empty;
    SaveOutcome outcome = saveFiles(empty, ScreenLayout::At4000, name, captured.log);
    EXPECT_EQ(outcome.status, SaveStatus::NoPicture);
    EXPECT_EQ(captured.lines.size(), 2u);

    // Five colours in mode 1; the least used, colour 4, lands in pen 4.
    ProgramState state = pictureWith(
        1, {}, [](int x, int) { return static_cast<Byte>(x < 100 ? 26 : x < 180 ? 1 : x < 240 ? 2 : x < 290 ? 3 : 4); });
    captured.lines.clear();
    outcome = saveFiles(state, ScreenLayout::At4000, name, captured.log);
    EXPECT_EQ(outcome.status, SaveStatus::PaletteRefused);
    ASSERT_TRUE(outcome.penOutsideMode.has_value());
    EXPECT_EQ(outcome.penOutsideMode->pen, 4);
    EXPECT_EQ(captured.lines, (std::vector<std::string>{name, "4 n'est pas dans la palette - index: 4",
                                                        "!!! Des couleurs restent à modifier !!!"}));
    EXPECT_TRUE(filesInFolder().empty());
}

TEST_F(SaveCommand, AFailedWriteKeepsTheUsersFilesWhole) {
    ProgramState state = pictureWith(2, {}, [](int x, int) { return static_cast<Byte>(x % 2 ? 26 : 0); });
    CapturedLog captured;
    {
        std::ofstream(folder_ / "title.scr") << "an older screen";
    }
    fs::create_directory(folder_ / "title.pal");  // cannot be replaced by a file
    const SaveOutcome outcome = saveFiles(state, ScreenLayout::At4000, (folder_ / "title.scr").string(), captured.log);
    EXPECT_EQ(outcome.status, SaveStatus::WriteFailed);
    EXPECT_NE(outcome.reason.find("title.pal"), std::string::npos) << outcome.reason;
    EXPECT_NE(captured.lines.back().find("title.pal"), std::string::npos);
    EXPECT_NE(captured.lines.back(), "Saving Ok ... ");
    const std::vector<Byte> kept = read(folder_ / "title.scr");
    EXPECT_TRUE(std::string(kept.begin(), kept.end()) == "an older screen") << "the older screen file was replaced";
    EXPECT_EQ(filesInFolder(), (std::vector<std::string>{"title.pal", "title.scr"}));  // no temporary left

    captured.lines.clear();
    const SaveOutcome missing =
        saveFiles(state, ScreenLayout::At4000, (folder_ / "no-such-folder" / "x").string(), captured.log);
    EXPECT_EQ(missing.status, SaveStatus::WriteFailed);
    EXPECT_NE(missing.reason.find("No such file"), std::string::npos) << missing.reason;
}

}  // namespace
}  // namespace varnoke
