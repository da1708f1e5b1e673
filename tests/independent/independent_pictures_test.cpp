// Pictures written by netpbm, Pillow and ImageMagick (see make_pictures.sh): the
// converter must accept them and read every pixel as those tools read it back from the
// same file. What the tools write in their default settings, the converter refuses,
// naming the field that differs.
#include "independent/independent_pictures.h"
#include "pcx/open_command.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace varnoke {
namespace {

const std::filesystem::path kPictures = VARNOKE_INDEPENDENT_PICTURES_DIR;

class IndependentPicture : public ::testing::TestWithParam<std::string> {};

TEST_P(IndependentPicture, IsReadAsEveryToolReadsIt) {
    const std::filesystem::path file = test::independentPicture(GetParam());
    ProgramState state;
    const Expected<void> outcome = openPictureFile(state, file, file.filename().string(), Log());
    ASSERT_TRUE(outcome.ok()) << outcome.reason();
    const int width = std::stoi(GetParam().substr(GetParam().find('-') + 1, 3));
    EXPECT_EQ(state.cpcMode, width == 160 ? 0 : width == 320 ? 1 : 2);
    // These writers encode line by line, so the stream holds exactly 200 lines.
    ASSERT_EQ(state.pixelData.size(), static_cast<std::size_t>(width) * kPictureHeight);

    test::Bytes rgb;  // each pixel's palette entry
    for (const Byte index : state.pixelData)
        rgb.insert(rgb.end(), state.pcxPalette.begin() + 3 * index, state.pcxPalette.begin() + 3 * index + 3);
    for (const char* reader : {"pcxtoppm", "magick", "pillow"}) {
        const auto picture = test::readNetpbm(kPictures / (GetParam() + "." + reader + ".ppm"));
        ASSERT_TRUE(picture && picture->width == width && picture->height == kPictureHeight) << reader;
        EXPECT_TRUE(picture->samples == rgb) << "a pixel differs from what " << reader << " reads";
    }
    const auto indexes = test::readNetpbm(kPictures / (GetParam() + ".pillow-index.pgm"));
    ASSERT_TRUE(indexes) << "Pillow's index map is missing or unreadable";
    EXPECT_EQ(indexes->samples, state.pixelData) << "a palette index differs from Pillow's";
    std::array<std::uint32_t, 256> counts{};
    for (const Byte index : indexes->samples) ++counts[index];
    EXPECT_EQ(state.colorUsage, counts);
}

INSTANTIATE_TEST_SUITE_P(WrittenByOtherTools, IndependentPicture, ::testing::ValuesIn(test::independentPictures()),
                         [](const auto& info) { return test::testNameOf(info.param); });

// The log lines of a refused header are hostile_input_test's to check, field by field.
TEST(RefusedPicture, ToolDefaultsAreRefusedNamingTheField) {
    const std::pair<const char*, const char*> kinds[] = {
        {"pillow-rgb-160.pcx", "colour planes is 3"},       // three planes for colour
        {"pillow-bilevel-160.pcx", "version is 2"},         // two levels: version 2, 1 bit
        {"netpbm-default-640.pcx", "bits per pixel is 1"},  // two colours: 1 bit
        {"magick-default-160.pcx", "colour planes is 3"}};
    for (const auto& [name, reason] : kinds) {
        ProgramState state;
        const Expected<void> outcome = openPictureFile(state, kPictures / name, name, Log());
        EXPECT_FALSE(outcome.ok()) << name;
        EXPECT_NE(outcome.reason().find(reason), std::string::npos) << outcome.reason();
        EXPECT_TRUE(state.pixelData.empty());
    }
}

}  // namespace
}  // namespace varnoke
