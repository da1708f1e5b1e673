// The colour difference against its published test data, and the quality measure on
// canvases whose answer is known without it.
#include "import/colour_science.h"
#include "import/geometry.h"
#include "import/quality_measure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <functional>
#include <tuple>

namespace varnoke {
namespace {

TEST(ColourDifference, MatchesThePublishedPairsInBothOrders) {
    // Sharma, Wu and Dalal (2005), table 1: two colours' L*, a*, b*, then their CIEDE2000.
    std::ifstream pairs(std::string(VARNOKE_TEST_DATA_DIR) + "/ciede2000-pairs.txt");
    pairs.ignore(1000, '\n');
    int count = 0;
    for (std::array<double, 7> p{}; pairs >> p[0] >> p[1] >> p[2] >> p[3] >> p[4] >> p[5] >> p[6]; ++count) {
        EXPECT_NEAR(ciede2000({p[0], p[1], p[2]}, {p[3], p[4], p[5]}), p[6], 5e-5) << "pair " << count + 1;
        EXPECT_NEAR(ciede2000({p[3], p[4], p[5]}, {p[0], p[1], p[2]}), p[6], 5e-5) << "pair " << count + 1;
    }
    EXPECT_EQ(count, 34);
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
    // By default every filtered pixel is compared; the eye's filters are symmetric, so a
    // pair mirrored left to right measures the same.
    const LinearImage ramp = canvasOf([](int x, int y) { return static_cast<float>(x * y % 997) / 997.0f; });
    const LinearImage mirrored =
        canvasOf([](int x, int y) { return static_cast<float>((639 - x) * y % 997) / 997.0f; });
    EXPECT_EQ(ScielabReference(ramp).difference(coarseChecks),
              ScielabReference(ramp, 32.0, 1).difference(coarseChecks));
    EXPECT_NEAR(scielabDifference(ramp, half), scielabDifference(mirrored, half), 1e-4);
    // Every filter sums to 1, so flat fields keep their colour: white against black is
    // the CIEDE2000 of L* 100 against L* 0.
    EXPECT_NEAR(scielabDifference(white, black), 100.0, 0.01);
    // The eye blurs a one-pixel chequer into its mean, but not one of 2 degrees.
    EXPECT_LT(scielabDifference(fineChecks, half), 1.0);
    EXPECT_GT(scielabDifference(coarseChecks, half), 15.0);
    EXPECT_NEAR(scielabDifference(coarseChecks, half), scielabDifference(half, coarseChecks), 1.0);
    // Comparing every other filtered pixel each way gives nearly the same mean.
    EXPECT_NEAR(ScielabReference(white, 32.0, 2).difference(black), 100.0, 0.01);
    EXPECT_NEAR(ScielabReference(coarseChecks, 32.0, 2).difference(half), scielabDifference(coarseChecks, half), 0.3);
}

// The measure's slope, checked against the measure itself: a small patch of the result
// made a little lighter, redder or bluer moves the mean by the slope summed over the patch
// times the patch's change in each opponent channel.
TEST(QualityMeasure, SlopePredictsTheChangeOfASmallPatch) {
    auto picture = [](float phase) {
        LinearImage image{160, 100, std::vector<float>(3 * 160 * 100)};
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 160; ++x) {
                const float u = static_cast<float>(x) / 160.0f + phase, v = static_cast<float>(y) / 100.0f;
                const std::array<float, 3> rgb{0.2f + 0.6f * u * v,
                                               0.5f * (1 - u) + 0.2f * v + 0.1f * static_cast<float>((x + y) % 3),
                                               0.1f + 0.4f * v};
                std::copy(rgb.begin(), rgb.end(), image.pixel(x, y));
            }
        return image;
    };
    const ScielabReference reference(picture(0.0f), 32.0, 2);
    const LinearImage result = picture(0.15f);
    const std::array<std::vector<float>, 3> slope = reference.gradient(result);
    for (const std::array<float, 3>& step :
         {std::array<float, 3>{0.01f, 0.01f, 0.01f}, std::array<float, 3>{0.01f, -0.005f, 0.0f},
          std::array<float, 3>{0.0f, 0.0f, -0.01f}}) {
        // The patch moved each way, so that the measure's curvature cancels.
        LinearImage up = result, down = result;
        double predicted = 0;
        for (int y = 40; y < 46; ++y)
            for (int x = 70; x < 76; ++x) {
                float* p = up.pixel(x, y);
                float* q = down.pixel(x, y);
                for (std::size_t c = 0; c < 3; ++c) {
                    p[c] += step[c];
                    q[c] -= step[c];
                }
                const Vec3 o1 = linearToOpponent({p[0], p[1], p[2]}), o0 = linearToOpponent({q[0], q[1], q[2]});
                const auto i = static_cast<std::size_t>(y * 160 + x);
                predicted += slope[0][i] * (o1.x - o0.x) + slope[1][i] * (o1.y - o0.y) + slope[2][i] * (o1.z - o0.z);
            }
        const double actual = reference.difference(up) - reference.difference(down);
        EXPECT_NEAR(actual, predicted, 0.03 * std::abs(predicted)) << step[0] << " " << step[1];
    }
}

TEST(Geometry, FitBordersAWidePictureAboveAndBelowAndATallOneAtEachSide) {
    // 32 × 10 (wider than 8 : 5) and 10 × 32, each a ramp from black to white along its
    // short side.
    for (const bool wide : {true, false}) {
        LinearImage ramp{wide ? 32 : 10, wide ? 10 : 32, std::vector<float>(3 * 320)};
        for (int y = 0; y < ramp.height; ++y)
            for (int x = 0; x < ramp.width; ++x)
                std::fill_n(ramp.pixel(x, y), 3, static_cast<float>(wide ? y : x) / 9.0f);
        const GridPicture grid = toModeGrid(ramp, 1, ResizeRule::Fit);
        ASSERT_EQ(std::tuple(grid.image.width, grid.image.height, grid.border.size()), std::tuple(320, 200, 64000u));
        // The picture keeps its shape: 320 × 100 rows in the middle, or 62.5 × 200 columns,
        // dark at its first row or column and light at its last.
        const int first = wide ? 50 : 129, last = wide ? 149 : 190;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 320; ++x) {
                const int along = wide ? y : x;
                const bool inside = along >= first && along <= last;
                if (along == first - 1 || along == last + 1) continue;  // rounding
                ASSERT_EQ(grid.border[static_cast<std::size_t>(y * 320 + x)], !inside) << wide << " " << x << "," << y;
                const float expected = inside && along == last ? 1.0f : 0.0f;  // black border, ends of the ramp
                if (!inside || along == first || along == last) {
                    ASSERT_NEAR(grid.image.pixel(x, y)[0], expected, 0.1f) << wide << " " << x << "," << y;
                }
            }
    }
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
