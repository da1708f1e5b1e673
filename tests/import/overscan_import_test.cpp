// The import onto the overscan grid: the screen's shape is 24 : 17 (48 µs × 272 lines,
// a µs as wide as 8 lines are high), and a picture saved as PCX imports again to the same
// screen without being resampled.
#include "cpc/save_command.h"
#include "import/geometry.h"
#include "import/import_session.h"
#include "import/picture_decoding.h"
#include "pcx/pcx_writer.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace varnoke {
namespace {

LinearImage gradient(int width, int height) {
    LinearImage image{width, height, {}};
    for (int i = 0; i < width * height; ++i)
        image.rgb.insert(image.rgb.end(), {float(i % width) / float(width), float(i / width) / float(height), 0.5f});
    return image;
}

TEST(OverscanImport, TheGridHasTheDisplaysShapeAndASavedPcxGivesTheSameScreen) {
    for (const Byte mode : {Byte{0}, Byte{1}, Byte{2}}) {
        // An 8 : 5 picture fitted keeps 384 × 5 / 8 = 240 of the 272 lines: 16 border rows above, 16 below.
        const GridPicture wide = toModeGrid(gradient(800, 500), mode, ResizeRule::Fit, ScreenFormat::Overscan);
        const int width = 192 << mode;
        ASSERT_EQ(std::make_pair(wide.image.width, wide.image.height), std::make_pair(width, 272));
        EXPECT_EQ(std::count(wide.border.begin(), wide.border.end(), true), 32 * width);
        EXPECT_TRUE(wide.border[std::size_t(15 * width)] && !wide.border[std::size_t(16 * width)]);
        // A 24 : 17 picture fills it exactly.
        EXPECT_TRUE(toModeGrid(gradient(480, 340), mode, ResizeRule::Fit, ScreenFormat::Overscan).border.empty());
    }
    ImportSettings settings;
    settings.cpcMode = 1;
    settings.screen = ScreenFormat::Overscan;
    ProgramState state, again;
    installImport(state, ImportSession(gradient(900, 600)).run(settings), Log());
    Expected<LinearImage> decoded = decodePicture(encodePcx(state), {});
    ASSERT_TRUE(decoded) << decoded.reason();
    installImport(again, ImportSession(decoded.value()).run(settings), Log());
    EXPECT_EQ(buildOutputFiles(again, ScreenLayout::At4000, Log()).screenFile,
              buildOutputFiles(state, ScreenLayout::At4000, Log()).screenFile);
}

}  // namespace
}  // namespace varnoke
