// The import onto the overscan grid: the screen's shape is 24 : 17 (48 µs × 272 lines,
// a µs as wide as 8 lines are high), and a picture saved as PCX imports again to the same
// screen without being resampled.
#include "cpc/save_command.h"
#include "import/geometry.h"
#include "import/import_session.h"
#include "import/picture_decoding.h"
#include "pcx/pcx_writer.h"

#include <gtest/gtest.h>

namespace varnoke {
namespace {

LinearImage gradient(int width, int height) {
    LinearImage image{width, height, std::vector<float>(std::size_t(3 * width * height))};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float* p = image.pixel(x, y);
            p[0] = float(x) / float(width), p[1] = float(y) / float(height), p[2] = float((x + y) % 17) / 17.0f;
        }
    return image;
}

// The rows of the grid that are all letterbox border.
int borderRows(const GridPicture& grid) {
    int rows = 0;
    for (int y = 0; y < grid.image.height; ++y)
        rows += grid.border[std::size_t(y * grid.image.width)] && grid.border[std::size_t((y + 1) * grid.image.width - 1)];
    return rows;
}

TEST(OverscanImport, TheGridHasTheDisplaysShape) {
    for (const Byte mode : {Byte{0}, Byte{1}, Byte{2}}) {
        // An 8 : 5 picture fitted: 384 × 5 / 8 = 240 of the 272 lines, 16 border rows above and below.
        const GridPicture wide = toModeGrid(gradient(800, 500), mode, ResizeRule::Fit, ScreenFormat::Overscan);
        EXPECT_EQ(std::make_pair(wide.image.width, wide.image.height), std::make_pair(192 << mode, 272));
        ASSERT_FALSE(wide.border.empty());
        EXPECT_EQ(borderRows(wide), 32);
        EXPECT_TRUE(wide.border[0] && !wide.border[std::size_t(136 * wide.image.width)]);
        // A 24 : 17 picture fills it exactly.
        EXPECT_TRUE(toModeGrid(gradient(960, 680), mode, ResizeRule::Fit, ScreenFormat::Overscan).border.empty());
    }
}

TEST(OverscanImport, ASavedPcxImportsToTheSameScreenWithoutResampling) {
    const ImportSession session(gradient(900, 600));
    ImportSettings settings;
    settings.cpcMode = 1;
    settings.screen = ScreenFormat::Overscan;
    const ImportResult first = session.run(settings);
    ASSERT_EQ(first.penOfPixel.size(), 384u * 272u);
    ProgramState state;
    installImport(state, first, Log());
    const std::vector<Byte> pcx = encodePcx(state);

    Expected<LinearImage> decoded = decodePicture(pcx, {});
    ASSERT_TRUE(decoded) << decoded.reason();
    ASSERT_EQ(std::make_pair(decoded.value().width, decoded.value().height), std::make_pair(384, 272));
    const ImportResult again = ImportSession(decoded.value()).run(settings);
    ProgramState second;
    installImport(second, again, Log());
    EXPECT_EQ(second.screen, ScreenFormat::Overscan);
    EXPECT_EQ(buildOutputFiles(second, ScreenLayout::At4000, Log()).screenFile,
              buildOutputFiles(state, ScreenLayout::At4000, Log()).screenFile);
}

}  // namespace
}  // namespace varnoke
