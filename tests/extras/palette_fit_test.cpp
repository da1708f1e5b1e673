// Fitting the palette: the distance between CPC colours, the choice of the nearest pen
// of the mode (ties to the lower pen number), and --fit as a user runs it.
#include "extras_support.h"

#include "cpc/screen_file_reader.h"
#include "palette/palette_check.h"
#include "palette/palette_fit.h"
#include "pcx/open_command.h"

#include <gtest/gtest.h>

namespace varnoke::extras {
namespace {

TEST(PaletteFit, DistanceWeighsGreenThenRedThenBlue) {
    // {a, b, distance}: one level of green, red, blue; two of green; all two; a mix.
    const int cases[][3] = {{0, 0, 0}, {13, 13, 0}, {0, 9, 59}, {0, 3, 30}, {0, 1, 11}, {0, 18, 236}, {0, 26, 400}, {12, 6, 89}};
    for (const auto& [a, b, distance] : cases) EXPECT_EQ(cpcColorDistance(Byte(a), Byte(b)), distance) << a << "-" << b;
    for (Byte a = 0; a < 27; ++a)
        for (Byte b = 0; b < 27; ++b) EXPECT_EQ(cpcColorDistance(a, b), cpcColorDistance(b, a));
}

// The picture of the fit tests, 320 × 200 (mode 1): bands of rows, one colour each,
// with row counts that order the pens.
//   rows  filter colour            pen
//    60   26 white  (2,2,2)         0
//    40    6 red    (0,2,0)         1
//    30    0 black  (0,0,0)         2
//    20   18 green  (2,0,0)         3
//    15    2 blue   (0,0,2)         4  nearest: black 44          -> pen 2, colour 0
//    12   12        (1,1,0)         5  red, black, green all 89   -> pen 1, colour 6
//    10    4        (0,1,1)         6  red 41, black 41           -> pen 1, colour 6
//     8    8        (0,2,2)         7  --map 8=26 shows white     -> left alone
//     5   20        (2,0,2)         8  --map 20=1 shows (0,0,1): black 11 -> pen 2, colour 0
// (levels as green, red, blue; a fit measured from filter colour 20 instead of the
// colour it shows would pick green, 44)
struct Band {
    int rows;
    int filterColor;
};
constexpr Band kBands[] = {{60, 26}, {40, 6}, {30, 0}, {20, 18}, {15, 2}, {12, 12}, {10, 4}, {8, 8}, {5, 20}};

std::vector<Byte> fitPicture() {
    std::vector<Byte> pixels;
    for (std::size_t band = 0; band < std::size(kBands); ++band)
        pixels.insert(pixels.end(), static_cast<std::size_t>(kBands[band].rows) * 320, static_cast<Byte>(band));
    std::vector<std::array<Byte, 3>> palette;
    for (const Band& band : kBands) palette.push_back(paletteEntryOf(band.filterColor));
    return pcxFile(320, pixels, palette);
}

TEST(PaletteFit, GivesEachSurplusPenTheNearestColourOfTheMode) {
    ProgramState state;
    state.colorSubstitution[8] = 26;
    state.colorSubstitution[20] = 1;
    const std::vector<Byte> file = fitPicture();
    ASSERT_TRUE(openPicture(state, "fit.pcx", file, Log()).accepted);
    ASSERT_FALSE(Palette_Ok(state, Log()));

    CapturedLog captured;
    const std::vector<PenFit> fits = fitPalette(state, captured.log);
    ASSERT_EQ(fits.size(), 4u);
    EXPECT_EQ(captured.lines, (std::vector<std::string>{
                                  "Fit: pen 4 (filter colour 2) now shows CPC colour 0, like pen 2",
                                  "Fit: pen 5 (filter colour 12) now shows CPC colour 6, like pen 1",
                                  "Fit: pen 6 (filter colour 4) now shows CPC colour 6, like pen 1",
                                  "Fit: pen 8 (filter colour 20) now shows CPC colour 0, like pen 2",
                                  "- Building Palette ...",
                              }));
    for (const auto& [filter, shown] : {std::pair{2, 0}, {12, 6}, {4, 6}, {8, 26}, {20, 0}})
        EXPECT_EQ(state.colorSubstitution[std::size_t(filter)], shown) << "filter colour " << filter;
    // The pens of the mode kept their colours, and the rebuilt boxes show the new ones.
    EXPECT_EQ(state.inkBoxes[4].box.text, "0");
    EXPECT_EQ(state.inkBoxes[6].box.text, "6");
    EXPECT_TRUE(Palette_Ok(state, Log()));

    // A second fit finds nothing to do, says so, and does not rebuild.
    CapturedLog again;
    EXPECT_TRUE(fitPalette(state, again.log).empty());
    EXPECT_EQ(again.lines,
              std::vector<std::string>{"Fit: nothing to change, every pen shows a colour of the mode"});
}

TEST(PaletteFit, MakesAPictureOfAll27ColoursFitEveryMode) {
    // 27 colours in every mode: mode 2 fits 25 surplus pens onto 2 pens, and so on.
    for (const int width : {160, 320, 640}) {
        std::vector<Byte> pixels;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < width; ++x) pixels.push_back(static_cast<Byte>((x * 27 / width + y) % 27));
        std::vector<std::array<Byte, 3>> palette;
        for (int n = 0; n < 27; ++n) palette.push_back(paletteEntryOf(n));
        ProgramState state;
        const std::vector<Byte> file = pcxFile(width, pixels, palette);
        ASSERT_TRUE(openPicture(state, "all.pcx", file, Log()).accepted);
        const std::vector<PenFit> fits = fitPalette(state, Log());
        EXPECT_EQ(fits.size(), 27u - pensPerMode(state)) << "width " << width;
        EXPECT_TRUE(Palette_Ok(state, Log())) << "width " << width;
        // Each fit took a colour of the mode that no other pen of the mode is nearer to.
        for (const PenFit& fit : fits)
            for (Byte pen = 0; pen < pensPerMode(state); ++pen) {
                const Byte shown = state.colorSubstitution[state.inkBoxes[pen].filterColor];
                const int distance = cpcColorDistance(fit.previousColor, shown);
                const int chosen = cpcColorDistance(fit.previousColor, fit.cpcColor);
                EXPECT_TRUE(distance > chosen || (distance == chosen && pen >= fit.modePen))
                    << "pen " << int{fit.pen} << " went to pen " << int{fit.modePen} << " before pen " << int{pen};
            }
    }
}

TEST(PaletteFit, LeavesAPaletteThatAlreadyFitsAndAnEmptyStateAlone) {
    ProgramState empty;
    const auto substitutions = empty.colorSubstitution;
    EXPECT_TRUE(fitPalette(empty, Log()).empty());
    EXPECT_EQ(empty.colorSubstitution, substitutions);
}

TEST(PaletteFitProgram, FitsAfterTheMapOptionsAndSavesWhatThePreviewShows) {
    TestFolder folder;
    writeBytes(folder / "fit.pcx", fitPicture());
    const std::string out = (folder / "fit.scr").string();
    const std::string preview = (folder / "fit.png").string();

    // Without --fit the palette is refused and nothing is written.
    ProgramRun run = runConverter("--map 8=26 --map 20=1 " + (folder / "fit.pcx").string() + " " + out, folder);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("pen 4 shows filter colour 2"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));

    run = runConverter("--map 8=26 --fit --map 20=1 --log --preview " + preview + " " + (folder / "fit.pcx").string() +
                           " " + out,
                       folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("- Building Palette ...\n"
                           "Fit: pen 4 (filter colour 2) now shows CPC colour 0, like pen 2\n"
                           "Fit: pen 5 (filter colour 12) now shows CPC colour 6, like pen 1\n"
                           "Fit: pen 6 (filter colour 4) now shows CPC colour 6, like pen 1\n"
                           "Fit: pen 8 (filter colour 20) now shows CPC colour 0, like pen 2\n"
                           "- Building Palette ...\n"),
              std::string::npos)
        << run.out;

    // The ink table holds the four colours of the mode: white, red, black, green.
    const std::vector<Byte> scr = readBytes(out);
    ASSERT_EQ(scr.size(), 16512u);
    EXPECT_EQ((std::vector<Byte>(scr.begin() + 128 + 0x7D0, scr.begin() + 128 + 0x7D4)),
              (std::vector<Byte>{26, 6, 0, 18}));

    // The preview shows each band in the colour it now has on the CPC.
    const int shownAs[] = {26, 6, 0, 18, 0, 6, 6, 26, 0};
    const RgbPicture picture = decodePng(preview, folder);
    ASSERT_EQ(picture.width, 640);
    ASSERT_EQ(picture.height, 400);
    int row = 0;
    for (std::size_t band = 0; band < std::size(kBands); ++band) {
        for (int r = 0; r < kBands[band].rows; ++r, ++row)
            for (int line = 2 * row; line < 2 * row + 2; ++line)
                for (int x = 0; x < 640; x += 37)
                    ASSERT_EQ(picture.at(x, line), displayRgb(shownAs[band])) << "band " << band << " line " << line;
    }
}

}  // namespace
}  // namespace varnoke::extras
