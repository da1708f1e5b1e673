// The import through the real converter and the session: a picture of CPC colours comes
// back as drawn; --save-pcx writes a PCX that gives the same screen files again; bad
// pictures are refused with one line, exit status 1 and nothing written.
#include "import/dithering.h"
#include "import/import_session.h"
#include "main/cpc_colors.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace varnoke {
namespace {

namespace fs = std::filesystem;

const fs::path kPictures = VARNOKE_IMPORT_PICTURES_DIR;

class ImportThroughConverter : public ::testing::Test {
protected:
    // Runs the converter in the work folder.
    test::ProgramRun convert(const std::string& arguments) const {
        return test::runCommand("cd '" + folder_.path().string() + "' && " VARNOKE_CONVERTER " " + arguments);
    }
    test::Bytes bytes(const std::string& name) const { return test::readBytes(folder_ / name); }

    test::TestFolder folder_;
};

TEST_F(ImportThroughConverter, SavedPcxOpensAsItIsAndGivesTheSameScreenFiles) {
    const std::string photo = (kPictures / "pillow-baseline.jpg").string();
    for (const char* mode : {"0", "1", "2"}) {
        SCOPED_TRACE(std::string("mode ") + mode);
        ASSERT_EQ(convert(std::string("--mode ") + mode + " --save-pcx pic.pcx " + photo + " first").status, 0);
        // Without import options, Open takes the PCX as it is.
        const test::ProgramRun run = convert("--log pic.pcx again");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(bytes("first.scr"), bytes("again.scr"));
        EXPECT_EQ(bytes("first.pal"), bytes("again.pal"));
    }
}

TEST_F(ImportThroughConverter, PlainImportIsMode0AndSilentAndModeImportsEvenAPcxThatOpens) {
    EXPECT_EQ(convert((kPictures / "pillow-rgb.png").string() + " plain").out, "");
    const double score = std::stod(convert("--score " + (kPictures / "pillow-rgb.png").string() + " x").out.substr(8));
    EXPECT_TRUE(score > 0.5 && score < 30) << score;  // "Score = " and a measure of a real difference
    // The same picture over the whole display is about as close: the measure reads all its pixels.
    const double overscan =
        std::stod(convert("--screen overscan --score " + (kPictures / "pillow-rgb.png").string() + " o").out.substr(8));
    EXPECT_NEAR(overscan, score, 0.25 * score);
    ASSERT_EQ(bytes("plain.scr").size(), 16512u);
    EXPECT_EQ(bytes("plain.scr")[128 + 0x7F1], 0);  // the mode byte
    const std::string pcx = std::string(VARNOKE_SAMPLES_DIR) + "/sunset-mode0.pcx";
    const std::string log = convert("--log --mode 1 " + pcx + " again").out;
    EXPECT_EQ(log.rfind(pcx + "\nThresholds back to 21 and 41, every colour shown as itself: the picture shows as "
                              "imported\n- Importing Picture ...\nMode = 1\n",
                        0),
              0u)
        << log;
}

TEST_F(ImportThroughConverter, BadPicturesAreRefusedWithOneLineAndNothingWritten) {
    test::writeBytes(folder_ / "empty.png", {});
    const test::Bytes png = test::readBytes(kPictures / "pillow-rgb.png");
    test::writeBytes(folder_ / "cut.png",
                     test::Bytes(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)));
    const std::pair<std::string, const char*> cases[] = {
        {"empty.png", "the file is empty"},
        {"cut.png", "the PNG picture data is damaged or cut short"},
        {(kPictures / "refused-text.png").string(), "not a picture of a kind"},
        {(kPictures / "refused-huge.png").string(), "40000 × 20000 pixels, more than this program takes"},
        {(kPictures / "refused-huge.gif").string(), "20000 × 20000 pixels, more than this program takes"},
        {(kPictures / "refused-one-pixel.png").string(), "only 1 × 1 pixels: a picture needs at least 2 pixels a side"},
        {(kPictures / "refused-transparent.png").string(), "fully transparent"},
        {"missing.jpg", "No such file"},
    };
    for (const auto& [file, reason] : cases) {
        const test::ProgramRun run = convert("--preview out.png --save-pcx out.pcx " + file + " out");
        EXPECT_EQ(run.status, 1) << file;
        EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        for (const char* output : {"out.scr", "out.pal", "out.png", "out.pcx"})
            EXPECT_FALSE(fs::exists(folder_ / output)) << file << " wrote " << output;
    }
}

// --line-pens: the screen and raster files, a preview that --show draws again from them
// (netpbm reads both), and every impossible request refused with exit 2, one line and
// nothing written.
TEST_F(ImportThroughConverter, LinePensWriteTheRasterFileAndRefuseWhatCannotBe) {
    const std::string photo = (kPictures / "pillow-baseline.jpg").string();
    const test::ProgramRun run = convert("--mode 1 --line-pens 3 --preview out.png " + photo + " out.scr");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(bytes("out.scr").size(), 16512u);
    EXPECT_EQ(bytes("out.ras").size(), 1252u);
    EXPECT_FALSE(fs::exists(folder_ / "out.pal"));
    ASSERT_EQ(convert("--show out.scr again.png").status, 0);
    EXPECT_EQ(test::decodePng(folder_ / "out.png").samples, test::decodePng(folder_ / "again.png").samples);
    // A picture in no more CPC colours than the pens comes back as drawn, its line pens unchanging.
    const test::ProgramRun drawn =
        convert("--mode 1 --line-pens 3 " + std::string(VARNOKE_SAMPLES_DIR) + "/sunset-mode1.pcx drawn");
    EXPECT_EQ(drawn.status, 0) << drawn.err;
    EXPECT_EQ(bytes("drawn.ras").size(), 1252u);

    const std::pair<std::string, const char*> refused[] = {
        {"--mode 2 --line-pens 2", "mode 2 can change at most 1 pen a line"},
        {"--mode 0 --line-pens 4", "from 1 to 3"},
        {"--mode 1 --colours 2 --line-pens 2", "leaves no fixed pen"},
        {"--mode 1 --line-pens 3 --pens 0,26", "leaves 1 fixed pen"},
        {"--mode 1 --line-pens 1 --c000", "not with --c000"},
        {"--mode 1 --line-pens 1 --screen overscan", "do not go together"},
        {"--mode 1 --line-pens 1 --map 1=2", "do not apply"},
    };
    for (const auto& [options, reason] : refused) {
        const test::ProgramRun bad = convert(options + " --preview bad.png " + photo + " bad");
        EXPECT_EQ(bad.status, 2) << options;
        EXPECT_NE(bad.err.find(reason), std::string::npos) << bad.err;
        EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1) << bad.err;
        for (const char* output : {"bad.scr", "bad.ras", "bad.png"}) EXPECT_FALSE(fs::exists(folder_ / output));
    }
}

// A picture on the mode's grid that uses only CPC colours, no more than the mode's pens:
// pixel (x, y) shows colours[colourIndex(x, y)].
std::size_t colourIndex(int x, int y, std::size_t count) { return static_cast<std::size_t>(x / 7 + y / 5) % count; }

LinearImage cpcPicture(Byte mode, const std::vector<Byte>& colours) {
    LinearImage image{pictureWidth(mode), kPictureHeight, {}};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const Rgb shown = cpcDisplayColor(colours[colourIndex(x, y, colours.size())]);
            for (const Byte level : {shown.r, shown.g, shown.b}) {
                const double v = level / 255.0;  // sRGB to linear
                image.rgb.push_back(static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4)));
            }
        }
    return image;
}

TEST(ImportSession, PictureInCpcColoursComesBackAsDrawn) {
    const std::vector<Byte> colours[] = {
        {0, 3, 6, 9, 13, 26, 24, 11, 1, 2, 15, 18, 20, 22, 5, 8}, {26, 0, 15, 6}, {4, 23}};
    for (Byte mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        ImportSettings settings;
        settings.cpcMode = mode;
        settings.score = true;
        if (mode == 1) settings.fixedColours = {0};  // black may be asked for: it comes first
        const ImportResult result = ImportSession(cpcPicture(mode, colours[mode])).run(settings);
        if (mode == 1) {
            EXPECT_EQ(result.penColours, (std::vector<Byte>{0, 26, 15, 6}));
        }
        ASSERT_EQ(result.penOfPixel.size(), targetPixelCount(mode));
        const int width = pictureWidth(mode);
        for (std::size_t i = 0; i < result.penOfPixel.size(); ++i) {
            const int x = static_cast<int>(i) % width, y = static_cast<int>(i) / width;
            ASSERT_EQ(result.penColours[result.penOfPixel[i]], colours[mode][colourIndex(x, y, colours[mode].size())])
                << "pixel " << i;
        }
        EXPECT_LT(result.score, 1e-4);  // 0 but for float rounding

        // Installed, the pens show exactly those colours (in their own order) with the default
        // thresholds.
        ProgramState state;
        installImport(state, result, Log());
        std::vector<Byte> shown;
        for (std::size_t pen = 0; pen < result.penColours.size(); ++pen)
            shown.push_back(state.inkBoxes[pen].filterColor);
        EXPECT_TRUE(std::ranges::is_permutation(shown, result.penColours));
    }
}

// Fit's border is no part of the picture: a square of one colour that no pen shows
// exactly measures as far from its result with the border as without it.
TEST(ImportSession, FitMeasuresThePictureNotItsBorder) {
    LinearImage square;
    square.width = square.height = 120;
    for (int i = 0; i < square.width * square.height; ++i) square.rgb.insert(square.rgb.end(), {0.55f, 0.12f, 0.03f});
    const ImportSession session(square);
    ImportSettings settings;
    settings.score = true;
    settings.dither.method = DitherMethod::None;
    const double filled = session.run(settings).score;
    settings.resize = ResizeRule::Fit;
    const double fitted = session.run(settings).score;
    EXPECT_GT(filled, 2.0);
    EXPECT_NEAR(fitted, filled, 0.05 * filled);
}

// A method picked with the strength left to choose: the result says which strength was
// chosen (the import dialog shows it on its slider).
TEST(ImportSession, AStrengthChosenForAPickedMethodIsReported) {
    LinearImage ramp{64, 40, {}};
    for (int i = 0; i < 64 * 40; ++i)
        ramp.rgb.insert(ramp.rgb.end(), {static_cast<float>(i % 64) / 64, 0.3f, static_cast<float>(i / 64) / 40});
    ImportSettings settings;
    settings.dither = {DitherMethod::Sierra, 75, true, false};
    const std::optional<DitherOptions> chosen = ImportSession(ramp).run(settings).chosenDither;
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->method, DitherMethod::Sierra);
    EXPECT_TRUE(std::ranges::count(kChoosableStrengths, chosen->strength) == 1) << chosen->strength;
}

}  // namespace
}  // namespace varnoke
