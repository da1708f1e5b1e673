// Drawing the picture into the picture area with the geometry of each mode.
#include "display/picture_display.h"
#include "main/cpc_colors.h"
#include "palette/palette_building.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace varnoke {
namespace {

using test::CapturedLog;

constexpr std::uint32_t kBackground = 0xFFD4D0C8;

// A picture of `count` pixels whose pixel i has palette index i % 3; palette entries
// 0, 1, 2 are black, full red and full blue.
ProgramState pictureOfMode(Byte mode, std::size_t count) {
    ProgramState state;
    CapturedLog captured;
    state.cpcMode = mode;
    state.pixelData.resize(count);
    for (std::size_t i = 0; i < count; ++i) state.pixelData[i] = static_cast<Byte>(i % 3);
    state.pcxPalette[3] = 255;
    state.pcxPalette[8] = 255;
    buildPalette(state, captured.log);
    return state;
}

PictureArea drawn(const ProgramState& state) {
    PictureArea area;
    blankPictureArea(area, Rgb{0xD4, 0xD0, 0xC8});
    CapturedLog captured;
    drawPicture(state, area, captured.log);
    EXPECT_EQ(captured.lines, (std::vector<std::string>{"- Viewing Picture ...", "- Picture Ready"}));
    return area;
}

std::uint32_t colorOfPixel(std::size_t i) {
    static const std::uint32_t colors[] = {cpcDisplayColor(0).argb(), cpcDisplayColor(6).argb(),
                                           cpcDisplayColor(2).argb()};
    return colors[i % 3];
}

TEST(PictureDisplay, ModeZeroPixelsAreTwoWideInTheTopLeftQuarter) {
    const PictureArea area = drawn(pictureOfMode(0, 32000 + 10));
    for (const std::size_t i : {0u, 1u, 160u, 161u, 31999u}) {
        const int x = static_cast<int>(2 * (i % 160));
        const int y = static_cast<int>(i / 160);
        EXPECT_EQ(area.at(x, y), colorOfPixel(i)) << i;
        EXPECT_EQ(area.at(x + 1, y), colorOfPixel(i)) << i;
    }
    // The ten pixels past the picture fall on line 200; the rest stays background.
    for (int x = 0; x < 20; ++x) EXPECT_EQ(area.at(x, 200), colorOfPixel(32000 + static_cast<std::size_t>(x) / 2));
    EXPECT_EQ(area.at(20, 200), kBackground);
    EXPECT_EQ(area.at(320, 0), kBackground);
    EXPECT_EQ(area.at(639, 399), kBackground);
}

TEST(PictureDisplay, ModeOnePixelsAreOneByOne) {
    const PictureArea area = drawn(pictureOfMode(1, 64000));
    EXPECT_EQ(area.at(0, 1), colorOfPixel(320));
    EXPECT_EQ(area.at(319, 199), colorOfPixel(63999));
    EXPECT_EQ(area.at(318, 199), colorOfPixel(63998));
    EXPECT_EQ(area.at(320, 199), kBackground);
    EXPECT_EQ(area.at(0, 200), kBackground);
}

TEST(PictureDisplay, ModeTwoPixelsAreTwoHighOverTheWholeArea) {
    const PictureArea area = drawn(pictureOfMode(2, 128000 + 62));
    EXPECT_EQ(area.at(0, 2), colorOfPixel(640));
    EXPECT_EQ(area.at(0, 3), colorOfPixel(640));
    EXPECT_EQ(area.at(639, 398), colorOfPixel(127999));
    EXPECT_EQ(area.at(639, 399), colorOfPixel(127999));
    EXPECT_EQ(area.at(1, 399), colorOfPixel(127361));
}

TEST(PictureDisplay, SubstitutionRecoloursOnlyItsFilterColour) {
    ProgramState state = pictureOfMode(1, 64000);
    state.colorSubstitution[6] = 24;
    const PictureArea area = drawn(state);
    EXPECT_EQ(area.at(0, 0), cpcDisplayColor(0).argb());
    EXPECT_EQ(area.at(1, 0), cpcDisplayColor(24).argb());
    EXPECT_EQ(area.at(2, 0), cpcDisplayColor(2).argb());
}

TEST(PictureDisplay, NoPixelsDrawsNothing) {
    const PictureArea area = drawn(ProgramState());
    EXPECT_EQ(area.at(0, 0), kBackground);
}

}  // namespace
}  // namespace varnoke
