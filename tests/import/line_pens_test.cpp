// Pens whose colours change on every line, from the import to the files and what the
// preview draws of them.
#include "cpc/basic_loader.h"
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
    const ImportResult result = session.run(settings);
    ASSERT_EQ(result.linePens, (std::vector<Byte>{1, 2, 3}));
    ASSERT_EQ(result.lineColours.size(), 600u);
    EXPECT_LT(result.score, 0.01);

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

namespace varnoke {
namespace {

// 10 MEMORY &3FFF:LOAD"PIC.SCR":LOAD"PIC.RAS":CALL &8000, as Locomotive BASIC stores it,
// behind a header for a BASIC file (type 0) at &0170.
TEST(RasterLoader, IsTheOneLineBasicProgramThatShowsThePicture) {
    const std::vector<Byte> file =
        basicLoaderFile({ScreenFormat::Standard, ScreenLayout::At4000, 1, {}, "PIC.RAS"}, "PIC.SCR", "PIC.BAS");
    const std::vector<Byte> program{0x26, 0x00, 0x0A, 0x00, 0xAA, ' ', 0x1C, 0xFF, 0x3F, 0x01, 0xA8, '"', 'P', 'I',
                                    'C',  '.',  'S',  'C',  'R',  '"', 0x01, 0xA8, '"',  'P',  'I',  'C', '.', 'R',
                                    'A',  'S',  '"',  0x01, 0x83, ' ', 0x1C, 0x00, 0x80, 0x00, 0x00, 0x00};
    ASSERT_EQ(file.size(), 128 + program.size());
    EXPECT_EQ(std::vector<Byte>(file.begin() + 128, file.end()), program);
    EXPECT_EQ(std::string(file.begin() + 1, file.begin() + 12), "PIC     BAS");
    EXPECT_EQ(file[18], 0);                       // BASIC
    EXPECT_EQ(file[21] | file[22] << 8, 0x0170);  // where BASIC programs start
    EXPECT_EQ(file[24] | file[25] << 8, int(program.size()));
    unsigned sum = 0;
    for (std::size_t i = 0; i < 67; ++i) sum += file[i];
    EXPECT_EQ(file[67] | file[68] << 8, int(sum & 0xFFFF));
}

}  // namespace
}  // namespace varnoke
