// Pens whose colours change on every line, from the import to the files and what the
// preview draws of them.
#include "extras/cpc_preview.h"
#include "import/colour_science.h"
#include "import/import_session.h"
#include "import/optimised_dither.h"
#include "main/cpc_colors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

namespace varnoke {
namespace {

// Mode 1: black on the left quarter of every line, then three colours of CPC colours in
// equal stripes that change from line to line (line y: 1 + (y + 5k) mod 26, k = 0..2).
// Four pens cannot show it; one fixed pen and three line pens show it exactly.
int colourAt(int x, int y) { return x < 80 ? 0 : 1 + (y + 5 * ((x - 80) / 80)) % 26; }

LinearImage stripes() {
    LinearImage image{320, 200, std::vector<float>(3 * 320 * 200)};
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            const Vec3 c = cpcLinearColour(static_cast<Byte>(colourAt(x, y)));
            image.pixel(x, y)[0] = c.x, image.pixel(x, y)[1] = c.y, image.pixel(x, y)[2] = c.z;
        }
    return image;
}

TEST(LinePens, ShowAPictureOfManyColoursExactlyThroughTheFilesAndThePreview) {
    const ImportSession session(stripes());
    ImportSettings settings;
    settings.cpcMode = 1;
    settings.linePens = 3;
    settings.score = true;
    // The dialog's first answer, before any search, shows it exactly too; once the search
    // has run, its answer is the search's.
    const ImportResult quick = session.quickRun(settings);
    EXPECT_TRUE(quick.quick);
    ASSERT_EQ(quick.lineColours.size(), 600u);
    EXPECT_LT(quick.score, 0.01);
    const ImportResult result = session.run(settings);
    ASSERT_EQ(result.linePens, (std::vector<Byte>{1, 2, 3}));
    ASSERT_EQ(result.lineColours.size(), 600u);
    EXPECT_LT(result.score, 0.01);
    EXPECT_FALSE(session.quickRun(settings).quick);

    settings.linePens = 0;
    EXPECT_GT(session.run(settings).score, 1.0) << "four fixed pens should not show it";

    const LinePenFiles files = buildLinePenFiles(linePenColoursOf(result), result.penOfPixel);
    const Expected<PictureArea> shown = previewLinePenScreen(
        std::span<const Byte, kScreenImageSize>(files.screenFile.data() + kAmsdosHeaderSize, kScreenImageSize),
        files.rasterFile);
    ASSERT_TRUE(shown) << shown.reason();
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x)
            ASSERT_EQ(shown.value().at(x, y), cpcDisplayColor(static_cast<Byte>(colourAt(x / 2, y / 2))).argb())
                << "(" << x << ", " << y << ")";

    // A raster file of another mode is refused.
    const LinePenColours mode0{0, {}, {5}, std::vector<Byte>(200, 3)};
    EXPECT_FALSE(previewLinePenScreen(
        std::span<const Byte, kScreenImageSize>(files.screenFile.data() + kAmsdosHeaderSize, kScreenImageSize),
        buildRasterFile(mode0)));
}

// A smooth picture that no few pens show exactly.
LinearImage gradient(int width, int height) {
    LinearImage image{width, height, std::vector<float>(3 * static_cast<std::size_t>(width * height))};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / static_cast<float>(width);
            const float v = static_cast<float>(y) / static_cast<float>(height);
            const std::array<float, 3> rgb{0.8f * u * v, 0.4f * (1 - u) + 0.3f * std::sin(9 * u * v), v * (1 - u)};
            std::copy(rgb.begin(), rgb.end(), image.pixel(x, y));
        }
    return image;
}

// The optimising dither with colours that change from line to line: each line's colours
// chosen again never raise the cost, never touch a fixed pen and never show a colour twice
// on a line; the error kept in place follows each pixel's own line's colours, and the
// sweeps settle where no swap across lines helps. Through the session, the best dithering
// ends closer to the picture than the lines' default dithering, with the same fixed pens.
TEST(LinePens, TheOptimisingDitherJudgesEachPixelInItsLinesColours) {
    const GridPicture picture{1, gradient(24, 12), {}};
    std::vector<Byte> table;
    for (int y = 0; y < 12; ++y)
        for (const int colour : {0, 1 + y % 26, 10 + y, 14 + y}) table.push_back(static_cast<Byte>(colour));
    std::mt19937 random(7);
    std::vector<Byte> start(24 * 12);
    for (Byte& pen : start) pen = static_cast<Byte>(random() % 4);
    DitherSearch search(picture, table, start, {}, 4);
    for (int y = 0; y < 12; ++y) {
        const double before = search.cost();
        search.recolourLine(y, std::vector<Byte>{1, 2, 3});
        EXPECT_LE(search.cost(), before);
        const auto line = search.penColours().begin() + 4 * y;
        EXPECT_EQ(line[0], 0);
        EXPECT_EQ(std::set<Byte>(line, line + 4).size(), 4u) << y;
    }
    for (int sweeps = 0; sweeps < 50 && search.sweep({}) > 0;) ++sweeps;
    EXPECT_NEAR(search.cost(), search.costFromScratch(), 1e-5 * search.cost());
    // Settled: no swap with the pixel below, which shows each pen in other colours, helps.
    for (std::size_t i = 0; i + 24 < start.size(); ++i) {
        DitherSearch swapped = search;
        const Byte mine = swapped.penOfPixel()[i], below = swapped.penOfPixel()[i + 24];
        swapped.change(i, below);
        swapped.change(i + 24, mine);
        EXPECT_GE(swapped.cost(), search.cost() * (1 - 1e-6)) << i;
    }

    const ImportSession session(gradient(160, 100));
    ImportSettings settings;
    settings.linePens = 3;
    settings.score = true;
    const ImportResult plain = session.run(settings);
    settings.dither.method = DitherMethod::Best;
    const ImportResult best = session.run(settings);
    EXPECT_LT(best.score, plain.score);
    EXPECT_EQ(std::vector<Byte>(best.penColours.begin(), best.penColours.begin() + 13),
              std::vector<Byte>(plain.penColours.begin(), plain.penColours.begin() + 13));
    // Strength 0 dithers by no method, the search neither.
    settings.dither = {DitherMethod::Best, 0};
    const ImportResult flat = session.run(settings);
    settings.dither.method = DitherMethod::None;
    EXPECT_EQ(flat.penOfPixel, session.run(settings).penOfPixel);
}

}  // namespace
}  // namespace varnoke
