// Pens whose colours change on every line, from the import to the files and what the
// preview draws of them.
#include "extras/cpc_preview.h"
#include "import/colour_science.h"
#include "import/import_session.h"
#include "main/cpc_colors.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace varnoke
