// The colour difference against its published test data, and the quality measure on
// canvases whose answer is known without it.
#include "import/colour_science.h"
#include "import/quality_measure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>

namespace varnoke {
namespace {

// Sharma, Wu and Dalal (2005), table 1: L*, a*, b* of two colours and their CIEDE2000.
constexpr std::array<std::array<double, 7>, 34> kSharmaPairs{{
    {50.0000, 2.6772, -79.7751, 50.0000, 0.0000, -82.7485, 2.0425},
    {50.0000, 3.1571, -77.2803, 50.0000, 0.0000, -82.7485, 2.8615},
    {50.0000, 2.8361, -74.0200, 50.0000, 0.0000, -82.7485, 3.4412},
    {50.0000, -1.3802, -84.2814, 50.0000, 0.0000, -82.7485, 1.0000},
    {50.0000, -1.1848, -84.8006, 50.0000, 0.0000, -82.7485, 1.0000},
    {50.0000, -0.9009, -85.5211, 50.0000, 0.0000, -82.7485, 1.0000},
    {50.0000, 0.0000, 0.0000, 50.0000, -1.0000, 2.0000, 2.3669},
    {50.0000, -1.0000, 2.0000, 50.0000, 0.0000, 0.0000, 2.3669},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0009, 7.1792},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0010, 7.1792},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0011, 7.2195},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0012, 7.2195},
    {50.0000, -0.0010, 2.4900, 50.0000, 0.0009, -2.4900, 4.8045},
    {50.0000, -0.0010, 2.4900, 50.0000, 0.0010, -2.4900, 4.8045},
    {50.0000, -0.0010, 2.4900, 50.0000, 0.0011, -2.4900, 4.7461},
    {50.0000, 2.5000, 0.0000, 50.0000, 0.0000, -2.5000, 4.3065},
    {50.0000, 2.5000, 0.0000, 73.0000, 25.0000, -18.0000, 27.1492},
    {50.0000, 2.5000, 0.0000, 61.0000, -5.0000, 29.0000, 22.8977},
    {50.0000, 2.5000, 0.0000, 56.0000, -27.0000, -3.0000, 31.9030},
    {50.0000, 2.5000, 0.0000, 58.0000, 24.0000, 15.0000, 19.4535},
    {50.0000, 2.5000, 0.0000, 50.0000, 3.1736, 0.5854, 1.0000},
    {50.0000, 2.5000, 0.0000, 50.0000, 3.2972, 0.0000, 1.0000},
    {50.0000, 2.5000, 0.0000, 50.0000, 1.8634, 0.5757, 1.0000},
    {50.0000, 2.5000, 0.0000, 50.0000, 3.2592, 0.3350, 1.0000},
    {60.2574, -34.0099, 36.2677, 60.4626, -34.1751, 39.4387, 1.2644},
    {63.0109, -31.0961, -5.8663, 62.8187, -29.7946, -4.0864, 1.2630},
    {61.2901, 3.7196, -5.3901, 61.4292, 2.2480, -4.9620, 1.8731},
    {35.0831, -44.1164, 3.7933, 35.0232, -40.0716, 1.5901, 1.8645},
    {22.7233, 20.0904, -46.6940, 23.0331, 14.9730, -42.5619, 2.0373},
    {36.4612, 47.8580, 18.3852, 36.2715, 50.5065, 21.2231, 1.4146},
    {90.8027, -2.0831, 1.4410, 91.1528, -1.6435, 0.0447, 1.4441},
    {90.9257, -0.5406, -0.9208, 88.6381, -0.8985, -0.7239, 1.5381},
    {6.7747, -0.2908, -2.4247, 5.8714, -0.0985, -2.2286, 0.6377},
    {2.0776, 0.0795, -1.1350, 0.9033, -0.0636, -0.5514, 0.9082},
}};

TEST(ColourDifference, MatchesThePublishedPairsInBothOrders) {
    for (const auto& pair : kSharmaPairs) {
        const Lab first{pair[0], pair[1], pair[2]};
        const Lab second{pair[3], pair[4], pair[5]};
        EXPECT_NEAR(ciede2000(first, second), pair[6], 5e-5) << pair[0] << " " << pair[1] << " " << pair[2];
        EXPECT_NEAR(ciede2000(second, first), pair[6], 5e-5);
    }
}

TEST(ColourDifference, LabOfTheSrgbPrimariesAndWhite) {
    // Published CIELAB (D65) of sRGB white, red, green and blue.
    const std::array<std::array<float, 6>, 4> cases{{{1, 1, 1, 100.0f, 0.0f, 0.0f},
                                                     {1, 0, 0, 53.2408f, 80.0925f, 67.2032f},
                                                     {0, 1, 0, 87.7347f, -86.1827f, 83.1793f},
                                                     {0, 0, 1, 32.2970f, 79.1875f, -107.8602f}}};
    for (const auto& c : cases) {
        const Lab lab = xyzToLab(linearToXyz({c[0], c[1], c[2]}));
        EXPECT_NEAR(lab.l, c[3], 0.01);
        EXPECT_NEAR(lab.a, c[4], 0.01);
        EXPECT_NEAR(lab.b, c[5], 0.01);
    }
}

LinearImage canvasOf(const std::function<float(int, int)>& grey) {
    LinearImage canvas{640, 400, std::vector<float>(3 * 640 * 400)};
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x) std::fill_n(canvas.pixel(x, y), 3, grey(x, y));
    return canvas;
}

TEST(QualityMeasure, KnownAnswers) {
    const LinearImage black = canvasOf([](int, int) { return 0.0f; });
    const LinearImage white = canvasOf([](int, int) { return 1.0f; });
    const LinearImage fineChecks = canvasOf([](int x, int y) { return static_cast<float>((x + y) % 2); });
    const LinearImage coarseChecks = canvasOf([](int x, int y) { return static_cast<float>((x / 64 + y / 64) % 2); });
    const LinearImage half = canvasOf([](int, int) { return 0.5f; });
    EXPECT_DOUBLE_EQ(scielabDifference(fineChecks, fineChecks), 0.0);
    // Every filter sums to 1, so flat fields keep their colour: white against black is
    // the CIEDE2000 of L* 100 against L* 0.
    EXPECT_NEAR(scielabDifference(white, black), 100.0, 0.01);
    // The eye blurs a one-pixel chequer into its mean, but not one of 2 degrees.
    EXPECT_LT(scielabDifference(fineChecks, half), 1.0);
    EXPECT_GT(scielabDifference(coarseChecks, half), 15.0);
    EXPECT_NEAR(scielabDifference(coarseChecks, half), scielabDifference(half, coarseChecks), 1.0);
}

TEST(QualityMeasure, CpcCanvasDrawsEachModesPixelShape) {
    // Pixel 1 of line 0 in pen 1; everything else in pen 0 (black).
    const std::array<Byte, 2> pens{0, 13};
    const std::array<int, 3> pixelWidth{4, 2, 1};
    for (Byte mode = 0; mode <= 2; ++mode) {
        std::vector<Byte> grid(static_cast<std::size_t>(160 << mode) * 200, 0);
        grid[1] = 1;
        const LinearImage canvas = cpcCanvas(mode, grid, pens);
        const int w = pixelWidth[mode];
        for (int x = 0; x < 3 * w; ++x)
            for (int y = 0; y < 3; ++y) {
                const bool lit = x >= w && x < 2 * w && y < 2;
                EXPECT_NEAR(canvas.pixel(x, y)[1], lit ? 0.2122 : 0.0, 1e-3) << int(mode) << " " << x << "," << y;
            }
    }
}

}  // namespace
}  // namespace varnoke
