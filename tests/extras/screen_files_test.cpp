// What is made beside and from the screen files: the palette fit (nearest pen of the
// mode, ties to the lower pen), the preview PNG of --preview and --show checked pixel by
// pixel as netpbm decodes it (which reads back screen files of every mode and layout),
// and screen files refused for every damage with a reason that says what and where.
#include "cpc/overscan_screen.h"
#include "cpc/save_command.h"
#include "cpc/screen_file_reader.h"
#include "import/import_session.h"
#include "palette/palette_check.h"
#include "palette/palette_fit.h"
#include "pcx/open_command.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace varnoke {
namespace {

using test::Bytes;
using test::runConverter;
using test::TestFolder;
using Strings = std::vector<std::string>;

TEST(PaletteFit, DistanceWeighsGreenThenRedThenBlue) {
    // One level of green, red, blue; two of green; all two; a mix.
    const int cases[][3] = {{0, 0, 0},  {13, 13, 0},  {0, 9, 59},   {0, 3, 30},
                            {0, 1, 11}, {0, 18, 236}, {0, 26, 400}, {12, 6, 89}};
    for (const auto& [a, b, distance] : cases) {
        EXPECT_EQ(cpcColorDistance(Byte(a), Byte(b)), distance) << a << "-" << b;
        EXPECT_EQ(cpcColorDistance(Byte(b), Byte(a)), distance);
    }
}

// A 320 × 200 picture of bands of rows, one colour each, whose row counts order the pens:
//   rows  filter colour   pen  fitted to (levels as green, red, blue)
//    60   26 white         0
//    40    6 red           1
//    30    0 black         2
//    20   18 green         3
//    15    2 blue          4   black 44                      -> pen 2, colour 0
//    12   12 (1,1,0)       5   red, black, green all 89      -> pen 1, colour 6
//    10    4 (0,1,1)       6   red 41, black 41              -> pen 1, colour 6
//     8    8 (0,2,2)       7   --map 8=26 shows white        -> left alone
//     5   20 (2,0,2)       8   --map 20=1 shows (0,0,1): black 11 -> pen 2, colour 0
// (a fit measured from filter colour 20 rather than the colour it shows would pick green)
struct Band {
    int rows, filterColor, shownAfterFit;
};
constexpr Band kBands[] = {{60, 26, 26}, {40, 6, 6}, {30, 0, 0}, {20, 18, 18}, {15, 2, 0},
                           {12, 12, 6},  {10, 4, 6}, {8, 8, 26}, {5, 20, 0}};
const char* const kFitLines =
    "Fit: pen 4 (filter colour 2) now shows CPC colour 0, like pen 2\n"
    "Fit: pen 5 (filter colour 12) now shows CPC colour 6, like pen 1\n"
    "Fit: pen 6 (filter colour 4) now shows CPC colour 6, like pen 1\n"
    "Fit: pen 8 (filter colour 20) now shows CPC colour 0, like pen 2\n";

Bytes bandPicture() {
    Bytes pixels;
    std::vector<test::Rgb3> palette;
    for (std::size_t band = 0; band < std::size(kBands); ++band) {
        pixels.insert(pixels.end(), static_cast<std::size_t>(kBands[band].rows) * 320, static_cast<Byte>(band));
        palette.push_back(test::paletteEntryOf(kBands[band].filterColor));
    }
    return test::pcxFile(320, pixels, palette);
}

TEST(PaletteFit, MakesAPictureOfAll27ColoursFitEveryMode) {
    for (const int width : {160, 320, 640}) {
        Bytes pixels;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < width; ++x) pixels.push_back(static_cast<Byte>((x * 27 / width + y) % 27));
        std::vector<test::Rgb3> palette;
        for (int n = 0; n < 27; ++n) palette.push_back(test::paletteEntryOf(n));
        ProgramState state;
        ASSERT_TRUE(openPicture(state, "all.pcx", test::pcxFile(width, pixels, palette), Log()).ok());
        const std::vector<PenFit> fits = fitPalette(state, Log());
        EXPECT_EQ(fits.size(), 27u - pensPerMode(state)) << width;
        EXPECT_TRUE(Palette_Ok(state, Log())) << width;
        // Each fit took a colour of the mode that no other pen of the mode is nearer to.
        for (const PenFit& fit : fits)
            for (Byte pen = 0; pen < pensPerMode(state); ++pen) {
                const int distance =
                    cpcColorDistance(fit.previousColor, state.colorSubstitution[state.inkBoxes[pen].filterColor]);
                const int chosen = cpcColorDistance(fit.previousColor, fit.cpcColor);
                EXPECT_TRUE(distance > chosen || (distance == chosen && pen >= fit.modePen))
                    << "pen " << int{fit.pen} << " went to pen " << int{fit.modePen} << " before pen " << int{pen};
            }
        EXPECT_TRUE(fitPalette(state, Log()).empty());  // its log line: window_test's Ctrl+F
    }
    ProgramState empty;
    EXPECT_TRUE(fitPalette(empty, Log()).empty());
    EXPECT_EQ(empty.colorSubstitution, ProgramState().colorSubstitution);
}

TEST(PaletteFitProgram, FitsAfterTheMapOptionsAndSavesWhatThePreviewShows) {
    const TestFolder folder;
    test::writeBytes(folder / "fit.pcx", bandPicture());
    const std::string files = folder.str("fit.pcx") + " " + folder.str("fit.scr");
    test::ProgramRun run = runConverter("--map 8=26 --map 20=1 " + files);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("pen 4 shows filter colour 2"), std::string::npos) << run.err;
    EXPECT_EQ(folder.names(), Strings{"fit.pcx"});

    run = runConverter("--map 8=26 --fit --map 20=1 --log --preview " + folder.str("fit.png") + " " + files);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("- Building Palette ...\n" + std::string(kFitLines) + "- Building Palette ...\n"),
              std::string::npos)
        << run.out;
    const Bytes scr = test::readBytes(folder / "fit.scr");
    ASSERT_EQ(scr.size(), 16512u);
    EXPECT_EQ(Bytes(scr.begin() + 128 + 0x7D0, scr.begin() + 128 + 0x7D4), (Bytes{26, 6, 0, 18}));
    const test::NetpbmPicture png = test::decodePng(folder / "fit.png");
    ASSERT_EQ(png.width * png.height, 640 * 400);
    int row = 0;
    for (const Band& band : kBands)
        for (int r = 0; r < band.rows; ++r, ++row)
            for (int x = 0; x < 640 * 2; x += 37)
                ASSERT_EQ(png.at(x / 2, 2 * row + x % 2), test::displayRgb(band.shownAfterFit)) << row;
}

// A picture of each mode with every pen in use in a pattern that no row, column or byte
// boundary repeats trivially: pixel (x, y) has index (x + 3y + x / 7) mod the mode's
// pens, and index i CPC colour colors[i].
struct ModeCase {
    int width;
    std::vector<int> colors;
    int indexAt(int x, int y) const { return (x + 3 * y + x / 7) % static_cast<int>(colors.size()); }
};

TEST(CpcPreviewProgram, PreviewAndShowDrawEveryPixelAtTheCpcPixelShape) {
    const ModeCase modes[] = {
        {160, {0, 26, 6, 18, 2, 13, 24, 8, 20, 3, 9, 1, 15, 21, 7, 11}}, {320, {14, 0, 25, 4}}, {640, {23, 12}}};
    for (const ModeCase& c : modes) {
        const TestFolder folder;
        Bytes pixels;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < c.width; ++x) pixels.push_back(static_cast<Byte>(c.indexAt(x, y)));
        std::vector<test::Rgb3> palette;
        for (const int color : c.colors) palette.push_back(test::paletteEntryOf(color));
        test::writeBytes(folder / "in.pcx", test::pcxFile(c.width, pixels, palette));
        const std::string in = folder.str("in.pcx") + " ";
        ASSERT_EQ(runConverter("--preview " + folder.str("p.png") + " " + in + folder.str("a.scr")).status, 0);
        const test::NetpbmPicture png = test::decodePng(folder / "p.png");
        ASSERT_EQ(std::pair(png.width, png.height), std::pair(640, 400));
        for (int line = 0; line < 400; ++line)
            for (int x = 0; x < 640; ++x)
                ASSERT_EQ(png.at(x, line),
                          test::displayRgb(c.colors[std::size_t(c.indexAt(x * c.width / 640, line / 2))]))
                    << "width " << c.width << " at " << x << ", " << line;

        // --show draws the same from the screen file, for either layout; a substitution
        // changes the ink table, and the picture --show draws follows it.
        const test::ProgramRun show = runConverter("--log --show " + folder.str("a.scr") + " " + folder.str("s.png"));
        ASSERT_EQ(show.status, 0);
        EXPECT_EQ(test::readBytes(folder / "s.png"), test::readBytes(folder / "p.png"));
        // The log names the mode and every pen of the mode.
        EXPECT_NE(show.out.find("Mode = " + std::to_string(c.width / 320) + "\nPen 0 = "), std::string::npos);
        EXPECT_NE(show.out.find("Pen " + std::to_string(c.colors.size() - 1) + " = "), std::string::npos);
        ASSERT_EQ(runConverter("--c000 --map " + std::to_string(c.colors[0]) + "=5 " + in + folder.str("c.scr")).status,
                  0);
        ASSERT_EQ(runConverter("--show " + folder.str("c.scr") + " --c000 " + folder.str("c.png")).status, 0);
        const test::NetpbmPicture shown = test::decodePng(folder / "c.png");
        for (int x = 0; x < 640; ++x) {
            const int index = c.indexAt(x * c.width / 640, 0);
            ASSERT_EQ(shown.at(x, 1), test::displayRgb(index == 0 ? 5 : c.colors[std::size_t(index)])) << x;
        }
    }
}

TEST(CpcPreviewProgram, ShowRefusesTheWrongLayoutDamageAndUsageMistakes) {
    const TestFolder folder;
    const std::string scr = folder.str("at4000.scr");
    ASSERT_EQ(runConverter(test::sample("sunset-mode0.pcx") + " " + scr).status, 0);
    Bytes cut = test::readBytes(scr);
    cut.resize(16000);
    test::writeBytes(folder / "cut.scr", cut);
    const std::tuple<std::string, int, std::string> runs[] = {
        {"--show " + scr + " --c000 " + folder.str("x.png"), 1, "loads at &4000, not at &C000; drop --c000"},
        {"--show " + folder.str("cut.scr") + " " + folder.str("x.png"), 1,
         "varnoke-pcx-convert: " + folder.str("cut.scr") +
             " is not a screen file of this program: it is 16000 bytes long; "
             "a screen file is 16512 bytes (a 128-byte AMSDOS header and 16384 bytes of screen memory)\n"},
        {"--show " + folder.str("missing.scr") + " " + folder.str("x.png"), 1, "missing.scr"},
        {"--show " + scr + " " + folder.str("no-such-folder/x.png"), 1, "nothing written: cannot create"},
        {"--show " + scr + " --fit x.png", 2, "--show draws a screen file; it takes only --c000 and --log"},
        {"--show " + scr, 2, ""},
        {"--preview", 2, "--preview needs a value"},
    };
    for (const auto& [arguments, status, message] : runs) {
        const test::ProgramRun run = runConverter(arguments);
        EXPECT_EQ(run.status, status) << arguments;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
    EXPECT_EQ(folder.names(), (Strings{"at4000.pal", "at4000.scr", "cut.scr"}));
}

Bytes screenFileOf(const std::string& sampleName, ScreenLayout layout) {
    ProgramState state;
    EXPECT_TRUE(openPictureFile(state, test::sample(sampleName), sampleName, Log()).ok());
    const OutputFiles files = buildOutputFiles(state, layout, Log());
    return {files.screenFile.begin(), files.screenFile.end()};
}

std::string reasonFor(const Bytes& file) {
    const Expected<ScreenFile> parsed = parseScreenFile(file);
    return parsed ? std::string("accepted") : parsed.reason();
}

TEST(ScreenFileReader, RefusesDamagedHeadersSizesModesAndInkTables) {
    const Bytes valid = screenFileOf("sunset-mode0.pcx", ScreenLayout::At4000);
    for (std::size_t bit = 0; bit < 69 * 8; ++bit) {
        Bytes file = valid;
        file[bit / 8] ^= static_cast<Byte>(1 << (bit % 8));
        EXPECT_NE(reasonFor(file).find("no valid AMSDOS header: the checksum at offset 67 is 0x"), std::string::npos)
            << bit;
    }
    Bytes file = valid;
    file[100] ^= 0xFF;  // outside the checksum, and nothing this reader needs
    EXPECT_EQ(reasonFor(file), "accepted");
    for (std::size_t size = 0; size < valid.size() + 2; size += (size < 200 || size > 16500 ? 1 : 97))
        if (size != valid.size()) {
            Bytes resized = valid;
            resized.resize(size);
            EXPECT_NE(
                reasonFor(resized).find("it is " + std::to_string(size) + " bytes long; a screen file is 16512 bytes"),
                std::string::npos);
        }

    // Changed fields, with the checksum made right again; then image bytes.
    const std::tuple<std::size_t, Byte, std::string> header[] = {
        {18, 0, "its AMSDOS header gives file type 0 at offset 18, not 2 (binary)"},
        {22, 0x80, "its AMSDOS header loads it at &8000; a screen file of this program loads at &4000 or &C000"},
        {24, 0xEF, "gives a length of 16623 (offset 24) and 16384 (offset 64); a screen file holds 16384 bytes"},
        {66, 1, "gives a length of 16384 (offset 24) and 81920 (offset 64); a screen file holds 16384 bytes"},
        {128 + 0x7F1, 3, "the mode byte at image offset 0x07F1 is 3, not a CPC screen mode (0, 1 or 2)"},
        {128 + 0x7F1, 255, "the mode byte at image offset 0x07F1 is 255, not a CPC screen mode (0, 1 or 2)"},
        {128 + 0x7D2, 27, "pen 2 has colour number 27 at image offset 0x07D2, beyond the 27 CPC colours (0 to 26)"},
        {128 + 0x7D0, 26, "pen 0 has gate-array code 0x56 at image offset 0x07E0, but its colour 26 has code 0x4B"},
        {128 + 0x7EF, 0, "pen 15 has gate-array code 0x00 at image offset 0x07EF"},
    };
    for (const auto& [offset, value, reason] : header) {
        file = valid;
        file[offset] = value;
        EXPECT_NE(reasonFor(test::withAmsdosChecksum(file)).find(reason), std::string::npos) << offset;
    }
    // In mode 2 only pens 0 and 1 count: the rest of the table is not read.
    Bytes mode2 = screenFileOf("checkerboard-mode2.pcx", ScreenLayout::AtC000);
    mode2[128 + 0x7D5] = 200;
    mode2[128 + 0x7E5] = 0x12;
    EXPECT_EQ(reasonFor(mode2), "accepted");
}

// An overscan file is read with or without its AMSDOS header; its pens' colours come back
// from their codes; damage gets a reason that names what is wrong.
TEST(OverscanFileReader, ReadsThePensBackAndRefusesDamage) {
    ProgramState state;
    Bytes pens(768 * 272, 1);
    for (std::size_t i = 0; i < pens.size(); i += 3) pens[i] = 0;
    installImport(state, {2, ScreenFormat::Overscan, {26, 6}, pens, 0, {}, {}}, Log());
    const Bytes valid = buildOutputFiles(state, ScreenLayout::At4000, Log()).screenFile;
    for (const Bytes& file : {valid, Bytes(valid.begin() + 128, valid.end())}) {
        const Expected<OverscanFile> read = parseOverscanFile(file);
        ASSERT_TRUE(read) << read.reason();
        EXPECT_EQ(std::make_tuple(read.value().mode, read.value().colors[0], read.value().colors[1]),
                  std::make_tuple(Byte{2}, Byte{6}, Byte{26}));
    }
    for (const auto& [offset, value, reason] : {std::tuple{0x94, 0x11, "the mode byte at &0184 is &11, not &0E"},
                                                {0x7E11, 0x20, "pen 1 has code &20 at &7F01, not a gate-array"},
                                                {18, 0, "gives file type 0 loaded at &0170; an overscan file is"}}) {
        Bytes file = valid;
        file[std::size_t(offset)] = Byte(value);
        EXPECT_NE(parseOverscanFile(test::withAmsdosChecksum(file)).reason().find(reason), std::string::npos) << offset;
    }
}

}  // namespace
}  // namespace varnoke
