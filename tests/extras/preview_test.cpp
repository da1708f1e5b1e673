// What the CPC shows: screen bytes decoded back into pens, and the preview PNG of
// --preview and --show checked pixel by pixel (decoded by netpbm) against pictures
// whose pixels the test chose.
#include "extras_support.h"

#include "cpc/screen_encoding.h"
#include "extras/cpc_preview.h"

#include <gtest/gtest.h>

namespace varnoke::extras {
namespace {

TEST(CpcPreview, UnpacksTheWorkedExamplesOfEachMode) {
    struct Case {
        Byte mode, value;
        std::vector<Byte> pens;
    };
    const Case cases[] = {{2, 0xB2, {1, 0, 1, 1, 0, 0, 1, 0}}, {1, 0x53, {0, 1, 2, 3}}, {0, 0xA5, {5, 10}}, {0, 0x80, {1, 0}}, {0, 0x55, {0, 15}}};
    for (const Case& c : cases) {
        const auto pens = unpackPens(c.mode, c.value);
        EXPECT_EQ((std::vector<Byte>(pens.begin(), pens.begin() + std::ptrdiff_t(c.pens.size()))), c.pens) << int{c.value};
    }
}

TEST(CpcPreview, UnpackingUndoesPackingForEveryByteOfEveryMode) {
    for (Byte mode = 0; mode <= 2; ++mode) {
        const std::size_t pixels = std::size_t{2} << mode;
        for (int value = 0; value < 256; ++value) {
            const auto pens = unpackPens(mode, static_cast<Byte>(value));
            for (std::size_t k = 0; k < pixels; ++k) ASSERT_LT(pens[k], 1 << (4 >> mode));  // 4, 2, 1 bits
            EXPECT_EQ(packPens(mode, std::span<const Byte>(pens.data(), pixels)), value)
                << "mode " << int{mode} << " byte " << value;
        }
    }
}

// A picture of each mode with every pen in use and a pattern that no row, column or
// byte boundary repeats trivially; pixel (x, y) uses palette index (x + 3y + x / 7) mod
// the mode's pens, and index i has CPC colour colours[i].
struct ModeCase {
    int mode;
    int width;
    std::vector<int> colors;
};
const ModeCase kModes[] = {
    {0, 160, {0, 26, 6, 18, 2, 13, 24, 8, 20, 3, 9, 1, 15, 21, 7, 11}},
    {1, 320, {14, 0, 25, 4}},
    {2, 640, {23, 12}},
};

int indexAt(const ModeCase& c, int x, int y) {
    return (x + 3 * y + x / 7) % static_cast<int>(c.colors.size());
}

std::vector<Byte> casePicture(const ModeCase& c) {
    std::vector<Byte> pixels;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < c.width; ++x) pixels.push_back(static_cast<Byte>(indexAt(c, x, y)));
    std::vector<std::array<Byte, 3>> palette;
    for (const int color : c.colors) palette.push_back(paletteEntryOf(color));
    return pcxFile(c.width, pixels, palette);
}

TEST(CpcPreviewProgram, DrawsEveryPixelAtTheCpcPixelShapeInEveryMode) {
    for (const ModeCase& c : kModes) {
        TestFolder folder;
        writeBytes(folder / "in.pcx", casePicture(c));
        const std::string png = (folder / "preview.png").string();
        const ProgramRun run = runConverter("--preview " + png + " " + (folder / "in.pcx").string() + " " +
                                                (folder / "out.scr").string(),
                                            folder);
        ASSERT_EQ(run.status, 0) << run.err;
        const RgbPicture picture = decodePng(png, folder);
        ASSERT_EQ(picture.width, 640);
        ASSERT_EQ(picture.height, 400);
        const int pixelWidth = 640 / c.width;  // 4, 2, 1
        for (int line = 0; line < 400; ++line)
            for (int x = 0; x < 640; ++x) {
                const int expected = c.colors[static_cast<std::size_t>(indexAt(c, x / pixelWidth, line / 2))];
                ASSERT_EQ(picture.at(x, line), displayRgb(expected))
                    << "mode " << c.mode << " at " << x << ", " << line;
            }

        // --show draws the same picture from the screen file, for either layout.
        const ProgramRun shown =
            runConverter("--show " + (folder / "out.scr").string() + " " + (folder / "shown.png").string(), folder);
        ASSERT_EQ(shown.status, 0) << shown.err;
        EXPECT_EQ(readBytes(folder / "shown.png"), readBytes(png)) << "mode " << c.mode;

        ASSERT_EQ(runConverter("--c000 " + (folder / "in.pcx").string() + " " + (folder / "c000.scr").string(), folder)
                      .status,
                  0);
        const ProgramRun c000 = runConverter(
            "--show " + (folder / "c000.scr").string() + " --c000 " + (folder / "c000.png").string(), folder);
        ASSERT_EQ(c000.status, 0) << c000.err;
        EXPECT_EQ(readBytes(folder / "c000.png"), readBytes(png)) << "mode " << c.mode;
    }
}

TEST(CpcPreviewProgram, ShowsThePenColoursOfTheScreenFileNotOfThePicture) {
    // A substitution changes the ink table; the preview follows it.
    TestFolder folder;
    const ModeCase& c = kModes[2];
    writeBytes(folder / "in.pcx", casePicture(c));
    ASSERT_EQ(runConverter("--map 23=6 " + (folder / "in.pcx").string() + " " + (folder / "out.scr").string(), folder)
                  .status,
              0);
    ASSERT_EQ(runConverter("--show " + (folder / "out.scr").string() + " " + (folder / "out.png").string(), folder)
                  .status,
              0);
    const RgbPicture picture = decodePng(folder / "out.png", folder);
    for (int x = 0; x < 640; ++x) {
        const int index = indexAt(c, x, 0);
        EXPECT_EQ(picture.at(x, 1), displayRgb(index == 0 ? 6 : 12)) << x;
    }
}

TEST(CpcPreviewProgram, ShowRefusesTheWrongLayoutAndUsageMistakes) {
    TestFolder folder;
    const std::string scr = (folder / "at4000.scr").string();
    ASSERT_EQ(runConverter(sample("sunset-mode0.pcx") + " " + scr, folder).status, 0);

    ProgramRun run = runConverter("--show " + scr + " --c000 " + (folder / "x.png").string(), folder);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("loads at &4000, not at &C000; drop --c000"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(folder / "x.png"));

    // Usage mistakes: status 2.
    for (const auto& [arguments, message] : {std::pair<std::string, std::string>{"--show " + scr + " --fit x.png", "--show draws a screen file; it takes only --c000 and --log"},
                                             {"--show " + scr, ""},
                                             {"--preview", "--preview needs a value"}}) {
        run = runConverter(arguments, folder);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }

    run = runConverter("--show " + (folder / "missing.scr").string() + " " + (folder / "x.png").string(), folder);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("missing.scr"), std::string::npos);

    // A PNG that cannot be written leaves no file and says why.
    run = runConverter("--show " + scr + " " + (folder / "no-such-folder" / "x.png").string(), folder);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("nothing written: cannot create"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace varnoke::extras
