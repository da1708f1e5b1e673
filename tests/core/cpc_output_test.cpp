// From decoded pixels to CPC files: run-length decoding, drawing each mode, screen
// encoding, and the Save command. The bytes of the AMSDOS headers, the ink table and the
// palette block are the golden files' to check; every pixel's packing and row, the
// emulated CPC's (CpcShowsWhatTheWindowShows).
#include "cpc/amsdos_header.h"
#include "cpc/save_command.h"
#include "cpc/screen_encoding.h"
#include "display/picture_display.h"
#include "import/import_session.h"
#include "main/cpc_colors.h"
#include "palette/palette_building.h"
#include "pcx/pcx_decoder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <numeric>

namespace varnoke {
namespace {

using test::Bytes;
using test::CapturedLog;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

// A mode 0 file around a body given byte by byte, with palette byte i = 7 i.
Bytes fileWithBody(const Bytes& body) {
    Bytes file = test::pcxFile(160, {}, {});
    file.resize(128);
    file.insert(file.end(), body.begin(), body.end());
    for (std::size_t i = 0; i < 768; ++i) file.push_back(static_cast<Byte>(i * 7));
    return file;
}

TEST(PcxDecoding, RunsSingleBytesAndTheRunThatPassesTheTarget) {
    // 0xC5 0x07: five pixels of 7; 0xC0: one of 192; 0xC1 0xC1: one of 193; 0x3F: one of
    // 63; runs of zeros up to 31990, then a run of 20 twos (kept whole: 32010 pixels)
    // and bytes that are never read.
    Bytes body{0xC5, 0x07, 0xC0, 0xC1, 0xC1, 0x3F};
    std::size_t pixels = 8;
    for (; pixels + 62 <= 31990; pixels += 62) body.insert(body.end(), {0xFE, 0x00});
    body.insert(body.end(), {static_cast<Byte>(0xC0 | (31990 - pixels)), 0x00, 0xD4, 0x02, 0xFF, 0x03});
    Expected<DecodedPicture> decoded = decodePCX(fileWithBody(body), 0);
    ASSERT_TRUE(decoded) << decoded.reason();
    const Bytes& p = decoded.value().pixelData;
    EXPECT_EQ(Bytes(p.begin(), p.begin() + 8), (Bytes{7, 7, 7, 7, 7, 192, 193, 63}));
    EXPECT_EQ(p.size(), 32010u);
    const auto& usage = decoded.value().colorUsage;
    EXPECT_EQ((std::array{usage[7], usage[192], usage[2], usage[3]}), (std::array<std::uint32_t, 4>{5, 1, 20, 0}));
    EXPECT_EQ(std::accumulate(usage.begin(), usage.end(), std::size_t{0}), p.size());
    for (std::size_t i = 0; i < 768; ++i) ASSERT_EQ(decoded.value().pcxPalette[i], static_cast<Byte>(i * 7));
}

// A picture of `count` pixels (a whole screen's by default) whose palette entry f reads
// as CPC colour f (f < 27); pixel i, at x = i % width, y = i / width, is pixelOf(x, y).
template <typename F>
ProgramState pictureWith(Byte mode, F pixelOf, std::size_t count = SIZE_MAX) {
    ProgramState state;
    state.cpcMode = mode;
    const auto width = static_cast<std::size_t>(pictureWidth(mode));
    if (count == SIZE_MAX) count = 200 * width;
    for (std::size_t i = 0; i < count; ++i)
        state.pixelData.push_back(pixelOf(static_cast<int>(i % width), static_cast<int>(i / width)));
    for (int f = 0; f < 27; ++f) {
        const test::Rgb3 entry = test::paletteEntryOf(f);
        std::copy(entry.begin(), entry.end(), state.pcxPalette.begin() + 3 * f);
    }
    for (const Byte p : state.pixelData) ++state.colorUsage[p];
    buildPalette(state, Log());
    return state;
}

// Pixel i shows black, full red (colour 6, substituted by 24) or full blue by i % 3. The
// emulation tests compare each picture pixel with the CPC; here, what they do not see:
// the second column and line of a pixel, the pixels past the screen, the background.
TEST(PictureDisplay, EachModeDrawsItsPixelShapeAndNothingElse) {
    struct Probe {
        int x, y;
        long pixel;  // the picture pixel drawn there, -1 for the background
    };
    struct Case {
        Byte mode;
        std::size_t pixels;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        {0, 32010, {{1, 0, 0}, {19, 200, 32009}, {20, 200, -1}, {320, 0, -1}, {639, 399, -1}}},
        {1, 64000, {{0, 0, 0}, {1, 0, 1}, {2, 0, 2}, {320, 199, -1}, {0, 200, -1}}},
        {2, 128062, {{0, 3, 640}, {639, 399, 127999}, {1, 399, 127361}}},
        {1, 0, {{0, 0, -1}}},
    };
    for (const Case& c : cases) {
        const int width = pictureWidth(c.mode);
        auto colourAt = [width](int x, int y) { return Byte(std::array{0, 6, 2}[std::size_t(y * width + x) % 3]); };
        ProgramState state = pictureWith(c.mode, colourAt, c.pixels);
        state.colorSubstitution[6] = 24;
        PictureArea area;
        blankPictureArea(area, Rgb{0xD4, 0xD0, 0xC8});
        CapturedLog captured;
        drawPicture(state, area, captured.log);
        EXPECT_EQ(captured.lines, (Strings{"- Viewing Picture ...", "- Picture Ready"}));
        for (const Probe& p : c.probes)
            EXPECT_EQ(
                area.at(p.x, p.y),
                p.pixel < 0 ? 0xFFD4D0C8 : cpcDisplayColor(Byte(std::array{0, 24, 2}[std::size_t(p.pixel) % 3])).argb())
                << "mode " << int{c.mode} << " at " << p.x << ", " << p.y;
    }
}

TEST(PictureDisplay, AnOverscanPictureFillsItsOwnAreaAndShrinksIntoASmallerView) {
    ProgramState state;
    std::vector<Byte> pens(384 * 272);
    for (std::size_t i = 0; i < pens.size(); ++i) pens[i] = Byte(i % 384 / 7 % 2);
    installImport(state, {1, ScreenFormat::Overscan, {0, 26}, pens, 0, {}, {}}, Log());
    PictureArea area;
    drawPicture(state, area, Log());
    ASSERT_EQ(std::make_pair(area.width, area.height), std::make_pair(768, 544));
    for (const int x : {0, 6, 7, 383})  // each pixel 2 × 2
        EXPECT_EQ(area.at(2 * x + 1, 543), cpcDisplayColor(x / 7 % 2 ? 26 : 0).argb()) << x;
    const AreaPart part = pictureAreaPart(state);
    const auto rect = [part](int w, int h) {
        const ViewRect r = placeInView(part, w, h);
        return std::array{r.left, r.top, r.width, r.height};
    };
    EXPECT_EQ(rect(640, 400), (std::array{38, 0, 564, 400}));  // 768 × 400 / 544 = 564.7
    EXPECT_EQ(rect(1600, 1100), (std::array{32, 6, 1536, 1088}));
}

// Both pens of a mode 2 picture show black: every pixel takes the lower pen.
TEST(ScreenEncoding, TwoPensOfOneColourEncodeWithTheLowerPen) {
    ProgramState state = pictureWith(2, [](int x, int) { return static_cast<Byte>(x < 400 ? 0 : 26); });
    state.colorSubstitution[26] = 0;
    buildPalette(state, Log());
    const ScreenImage image = encodeScreenImage(state);
    for (int y = 0; y < 200; ++y)
        for (std::size_t x = 0; x < 80; ++x) ASSERT_EQ(image[rowOffset(y) + x], 0);
}

TEST(PaletteBlock, OcpModeByteHoldsTheModeAndChangesNothingElse) {
    for (const Byte mode : {Byte{0}, Byte{1}, Byte{2}}) {
        const ProgramState state = pictureWith(mode, [](int x, int) { return static_cast<Byte>(x % 3 * 13); });
        std::array<Byte, kPaletteBlockSize> plain{}, ocp{};
        buildPaletteBlock(state, plain);
        buildPaletteBlock(state, ocp, PaletteModeByte::PictureMode);
        EXPECT_EQ(ocp[0], mode);  // plain[0]: the golden files
        EXPECT_TRUE(std::equal(plain.begin() + 1, plain.end(), ocp.begin() + 1)) << "mode " << int{mode};
    }
}

// A header built over a buffer that held something else is the same as one over zeros.
TEST(AmsdosHeader, OverwritesEveryByteOfAUsedBuffer) {
    std::array<Byte, kAmsdosHeaderSize> fresh{}, used;
    used.fill(0xE5);
    buildAmsdosHeader(fresh, false, ScreenLayout::At4000, Log());
    buildAmsdosHeader(used, false, ScreenLayout::At4000, Log());
    EXPECT_EQ(used, fresh);
}

TEST(SaveCommand, BaseNameDropsOnlyALowerCaseScrEnding) {
    // "title.scr", "title" and "TITLE.SCR": the save test below.
    const std::pair<const char*, const char*> names[] = {{"/a/t.bmp", "/a/t.bmp"}, {".scr", ""}, {"scr", "scr"}};
    for (const auto& [name, base] : names) EXPECT_EQ(screenBaseName(name), base);
}

// The bytes and the log lines are the golden files' to check.
TEST(SaveCommand, WritesBothFilesAtTheBaseNameAndTheSameBytesAgain) {
    const test::TestFolder folder;
    const ProgramState state = pictureWith(0, [](int x, int y) { return static_cast<Byte>((x + y) % 5); });
    ASSERT_TRUE(saveFiles(state, ScreenLayout::At4000, folder.str("title.scr"), Log()).ok());
    const Bytes screen = test::readBytes(folder / "title.scr");
    EXPECT_TRUE(saveFiles(state, ScreenLayout::At4000, folder.str("title"), Log()).ok());
    EXPECT_EQ(test::readBytes(folder / "title.scr"), screen);
    EXPECT_TRUE(saveFiles(state, ScreenLayout::AtC000, folder.str("TITLE.SCR"), Log()).ok());
    EXPECT_EQ(folder.names(), (Strings{"TITLE.SCR.pal", "TITLE.SCR.scr", "title.pal", "title.scr"}));
}

TEST(SaveCommand, RefusalsAndFailuresLeaveTheFolderAsItWas) {
    const test::TestFolder folder;
    CapturedLog captured;
    const std::string name = folder.str("title.scr");
    EXPECT_EQ(saveFiles(ProgramState(), ScreenLayout::At4000, name, captured.log).kind(), FailureKind::NoPicture);
    EXPECT_EQ(captured.lines.size(), 2u);

    // The palette file cannot replace a folder: the older screen file stays whole.
    const ProgramState state = pictureWith(2, [](int x, int) { return static_cast<Byte>(x % 2 ? 26 : 0); });
    std::ofstream(folder / "title.scr") << "an older screen";
    fs::create_directory(folder / "title.pal");
    captured.lines.clear();
    const Expected<SavedFiles> outcome = saveFiles(state, ScreenLayout::At4000, name, captured.log);
    EXPECT_EQ(outcome.kind(), FailureKind::CannotWrite);
    EXPECT_NE(outcome.reason().find("title.pal"), std::string::npos) << outcome.reason();
    EXPECT_NE(captured.lines.back().find("title.pal"), std::string::npos);
    const Bytes older = test::readBytes(folder / "title.scr");
    EXPECT_EQ(std::string(older.begin(), older.end()), "an older screen");
    EXPECT_EQ(folder.names(), (Strings{"title.pal", "title.scr"}));  // no temporary left
}

}  // namespace
}  // namespace varnoke
