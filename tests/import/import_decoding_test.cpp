// Decoding: every format, written by Pillow or ImageMagick, reads as that tool reads it
// (an embedded colour profile included);
// the EXIF orientation turns the picture upright; cut files are refused with a reason.
// (import_converter_test checks the reasons given for bad pictures.)
#include "import/colour_science.h"
#include "import/display_pixels.h"
#include "import/picture_decoding.h"
#include "import/raw_picture.h"
#include "main/file_access.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <tuple>

namespace varnoke {
namespace {

std::filesystem::path pictureFile(const std::string& name) {
    return std::filesystem::path(VARNOKE_IMPORT_PICTURES_DIR) / name;
}

std::vector<Byte> bytesOf(const std::string& name) {
    Expected<std::vector<Byte>> file = readWholeFile(pictureFile(name), 1u << 26);
    EXPECT_TRUE(file) << name << " is missing: CTest makes it with tests/import/make_import_pictures.py";
    return file ? file.value() : std::vector<Byte>{};
}

int srgbByte(float linear) {
    const double v = linear;
    return static_cast<int>(std::lround(255 * (v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055)));
}

// Every pixel within `tolerance` of the tool's reading (NAME.ppm beside the file).
void expectSameAsTool(const std::string& name, int tolerance) {
    SCOPED_TRACE(name);
    const Expected<LinearImage> decoded = decodePicture(bytesOf(name), DecodeOptions{});
    ASSERT_TRUE(decoded) << decoded.reason();
    // The tool's reading of NAME: NAME.ppm beside it.
    const std::optional<test::NetpbmPicture> tool = test::readNetpbm(pictureFile(name + ".ppm"));
    ASSERT_TRUE(tool && tool->channels == 3);
    const LinearImage& ours = decoded.value();
    ASSERT_EQ(std::tuple(ours.width, ours.height, ours.rgb.size()),
              std::tuple(tool->width, tool->height, tool->samples.size()));
    int worst = 0;
    for (std::size_t i = 0; i < ours.rgb.size(); ++i)
        worst = std::max(worst, std::abs(srgbByte(ours.rgb[i]) - tool->samples[i]));
    EXPECT_LE(worst, tolerance);
}

TEST(PictureDecoding, EveryFormatReadsAsTheToolThatWroteIt) {
    // Lossless formats must match exactly; two JPEG or lossy WebP decoders may round apart,
    // and tools scale 16-bit and 5-bit samples to 8 bits with different rounding.
    const std::pair<const char*, int> cases[] = {
        {"pillow-rgb.png", 0},         {"pillow-rgba.png", 0},       {"pillow-palette.png", 0},
        {"pillow-grey.png", 0},        {"pillow-bilevel.png", 0},    {"magick-rgb16.png", 1},
        {"magick-interlaced.png", 0},  {"magick-grey16.png", 1},     {"magick-rgb16-plain.png", 1},
        {"pillow-profile.png", 1},     {"pillow-profile.jpg", 3},    {"pillow-baseline.jpg", 2},
        {"pillow-progressive.jpg", 2}, {"pillow-grey.jpg", 2},       {"magick-cmyk.jpg", 3},
        {"pillow-transparent.gif", 0}, {"magick-interlaced.gif", 0}, {"pillow-rgb.bmp", 0},
        {"pillow-palette.bmp", 0},     {"pillow-bilevel.bmp", 0},    {"magick-rgb565.bmp", 1},
        {"magick-rle8.bmp", 0},        {"magick-alpha.bmp", 0},      {"pillow-lossless.webp", 0},
        {"pillow-lossy.webp", 2},      {"pillow-rgb.pcx", 0},        {"pillow-bilevel.pcx", 0},
        {"pillow-palette.pcx", 0},     {"pillow-animated.webp", 0},  {"pillow-wide.png", 0},
    };
    for (const auto& [name, tolerance] : cases) expectSameAsTool(name, tolerance);
}

// Shrunk to fit, each shown pixel is the source pixel at its centre, in sRGB.
TEST(PictureDecoding, ShownShrunkEachPixelIsTheSourcesAtItsCentre) {
    LinearImage picture{4, 2, std::vector<float>(24)};
    const std::array<float, 3> orange{1.0f, srgbToLinear(100 / 255.0f), 0.0f};  // sRGB 255, 100, 0
    for (const int x : {1, 3}) std::copy(orange.begin(), orange.end(), picture.pixel(x, 1));
    const DisplayPixels shown = displayPixels(picture, 2, 2);
    EXPECT_EQ(std::tuple(shown.width, shown.height), std::tuple(2, 1));
    EXPECT_EQ(shown.pixels, (std::vector<std::uint32_t>{0xFFFF6400u, 0xFFFF6400u}));
}

TEST(PictureDecoding, ExifOrientationTurnsThePictureUpright) {
    for (int value = 1; value <= 8; ++value) {
        expectSameAsTool("pillow-orientation" + std::to_string(value) + ".png", 0);
        expectSameAsTool("pillow-orientation" + std::to_string(value) + ".jpg", 2);
    }
    // Blocks written here in both byte orders: "II" (little-endian) and "MM", each with one
    // IFD entry (tag 0x0112, SHORT, count 1).
    const std::vector<Byte> little{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0};
    const std::vector<Byte> big{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 3, 0, 0};
    EXPECT_EQ(exifOrientation(little), static_cast<Orientation>(6));
    EXPECT_EQ(exifOrientation(big), static_cast<Orientation>(3));
}

TEST(PictureDecoding, CmykWithoutProfileLeavesEachInkItsShareOfTheLight) {
    // Full cyan, then half black: plain CMYK (0 is no ink), then Adobe's inverted CMYK.
    const std::vector<Byte> expected{0, 255, 255, 255, 127, 127, 127, 255};
    std::vector<Byte> rgba(8);
    cmykToRgba(std::vector<Byte>{255, 0, 0, 0, 0, 0, 0, 128}, false, {}, rgba);
    EXPECT_EQ(rgba, expected);
    cmykToRgba(std::vector<Byte>{0, 255, 255, 255, 255, 255, 255, 127}, true, {}, rgba);
    EXPECT_EQ(rgba, expected);
}

TEST(PictureDecoding, AGifScreenOutsideItsFirstFrameIsTransparent) {
    expectSameAsTool("magick-offset-frame.gif", 0);
    DecodeOptions white;
    white.background = {255, 255, 255};
    const Expected<LinearImage> decoded = decodePicture(bytesOf("magick-offset-frame.gif"), white);
    ASSERT_TRUE(decoded) << decoded.reason();
    for (const float* corner : {decoded.value().pixel(0, 0), decoded.value().pixel(36, 22)})
        EXPECT_EQ(std::tuple(srgbByte(corner[0]), srgbByte(corner[1]), srgbByte(corner[2])), std::tuple(255, 255, 255));
}

TEST(PictureDecoding, CutFilesAreRefusedAndNeverReadPastTheirEnd) {
    for (const char* name : {"pillow-rgb.png", "magick-interlaced.png", "pillow-progressive.jpg", "magick-cmyk.jpg",
                             "pillow-transparent.gif", "pillow-rgb.bmp", "magick-rle8.bmp", "pillow-lossless.webp",
                             "pillow-lossy.webp", "pillow-rgb.pcx", "pillow-palette.pcx"}) {
        const std::vector<Byte> file = bytesOf(name);
        for (const std::size_t kept : {std::size_t{3}, std::size_t{20}, file.size() / 2}) {
            // A copy of exactly the kept bytes, so that the sanitizers see any read past them.
            const std::vector<Byte> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(kept));
            const Expected<LinearImage> decoded = decodePicture(cut, DecodeOptions{});
            EXPECT_TRUE(!decoded && !decoded.reason().empty()) << name << " cut to " << kept << " bytes";
        }
    }
}

// A 37 × 23 picture shrunk by 2 (at least 10 pixels a side): each pixel is the mean of its
// block of the whole picture, the last column's and row's blocks one pixel wide or high.
TEST(PictureDecoding, LargePicturesShrinkByBlockMeansKeepingTheMinimumSide) {
    const LinearImage whole = decodePicture(bytesOf("pillow-rgb.png"), DecodeOptions{}).value();
    const LinearImage shrunk = decodePicture(bytesOf("pillow-rgb.png"), DecodeOptions{{0, 0, 0}, 10}).value();
    ASSERT_EQ(std::pair(shrunk.width, shrunk.height), std::pair(19, 12));
    for (int i = 0; i < 19 * 12 * 3; ++i) {
        const int x = i / 3 % 19 * 2, y = i / 3 / 19 * 2, c = i % 3, w = std::min(2, 37 - x), h = std::min(2, 23 - y);
        float sum = 0;
        for (int k = 0; k < w * h; ++k) sum += whole.pixel(x + k % w, y + k / w)[c];
        EXPECT_NEAR(shrunk.rgb[static_cast<std::size_t>(i)], sum / static_cast<float>(w * h), 1e-6f) << i;
    }
    const Expected<LinearImage> jpeg = decodePicture(bytesOf("pillow-baseline.jpg"), DecodeOptions{{0, 0, 0}, 10});
    ASSERT_TRUE(jpeg && std::min(jpeg.value().width, jpeg.value().height) >= 10 && jpeg.value().width < 37);
}

}  // namespace
}  // namespace varnoke
