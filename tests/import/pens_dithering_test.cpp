// Dithering and pen choice: what every method must keep, and what the search must find.
#include "import/colour_science.h"
#include "import/dithering.h"
#include "import/optimised_dither.h"
#include "import/parallel_work.h"
#include "import/pen_choice.h"
#include "import/quality_measure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numeric>
#include <optional>
#include <random>
#include <stdexcept>
#include <utility>

namespace varnoke {
namespace {

constexpr std::array<DitherMethod, 9> kMethods{
    DitherMethod::None,   DitherMethod::FloydSteinberg, DitherMethod::Atkinson,
    DitherMethod::Jarvis, DitherMethod::Stucki,         DitherMethod::Sierra,
    DitherMethod::Bayer4, DitherMethod::Bayer8,         DitherMethod::Pattern};

// A picture on the mode's grid whose pixel (x, y) has the linear colour `colour(x, y)`.
GridPicture gridOf(Byte mode, const std::function<Vec3(int, int)>& colour) {
    GridPicture picture;
    picture.cpcMode = mode;
    picture.image = {160 << mode, 200, std::vector<float>(static_cast<std::size_t>(3 * (160 << mode) * 200))};
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < picture.image.width; ++x) {
            const Vec3 c = colour(x, y);
            const std::array<float, 3> rgb{c.x, c.y, c.z};
            std::copy(rgb.begin(), rgb.end(), picture.image.pixel(x, y));
        }
    return picture;
}

// A picture of smooth gradients in colours that no CPC colour matches.
GridPicture gradients(Byte mode) {
    return gridOf(mode, [](int x, int y) {
        const float u = static_cast<float>(x % 160) / 160.0f, v = static_cast<float>(y) / 200.0f;
        return Vec3{0.1f + 0.7f * u * v, 0.35f * (1 - u) + 0.3f * v, 0.6f * (1 - v) * u + 0.05f};
    });
}

TEST(Dithering, EveryMethodKeepsAFlatPenColourAndStrengthZeroIsNone) {
    const std::array<Byte, 4> pens{0, 6, 13, 26};
    const GridPicture flat = gridOf(1, [](int, int) { return cpcLinearColour(13); });
    const GridPicture ramp = gridOf(1, [](int x, int y) {
        return Vec3{static_cast<float>(x) / 320.0f, static_cast<float>(y) / 200.0f, 0.3f};
    });
    const std::vector<Byte> plain = ditherToPens(ramp, pens, {DitherMethod::None, 100});
    for (const DitherMethod method : kMethods) {
        for (const bool within : {false, true}) {
            const std::vector<Byte> flatPens = ditherToPens(flat, pens, {method, 100, false, false, within});
            EXPECT_EQ(std::count(flatPens.begin(), flatPens.end(), Byte{2}), 320 * 200) << int(method);
            EXPECT_EQ(ditherToPens(ramp, pens, {method, 0, false, false, within}), plain) << int(method);
            EXPECT_EQ(ditherToPens(ramp, pens, {method, 100, false, false, within}) == plain,
                      method == DitherMethod::None)
                << int(method);
        }
    }
}

// Carried from within two pens, a colour off their line dithers to its nearest mix of
// them in linear light: pure green between black and white, a third white (the whole
// error, clamped, would leave it all white).
TEST(Dithering, ErrorFromWithinTwoPensMixesTheNearestShareOfThem) {
    const std::array<Byte, 2> pens{0, 26};
    const GridPicture green = gridOf(1, [](int, int) { return Vec3{0, 1, 0}; });
    for (const DitherMethod method : {DitherMethod::FloydSteinberg, DitherMethod::Sierra}) {
        const std::vector<Byte> within = ditherToPens(green, pens, {method, 100, false, false, true});
        EXPECT_NEAR(static_cast<double>(std::count(within.begin(), within.end(), Byte{1})) / (320 * 200), 1.0 / 3,
                    0.01);
    }
}

// An ordered method shows a flat mix of two pens on its share of the matrix: a quarter of
// the way from black to green, 4 pixels in 16 (16 in 64) green.
TEST(Dithering, OrderedMethodsShowAFlatMixOnItsShareOfTheMatrix) {
    const std::array<Byte, 2> pens{0, 18};
    const GridPicture quarter = gridOf(1, [](int, int) { return Vec3{0, 0.25f, 0}; });
    for (const DitherMethod method : {DitherMethod::Bayer4, DitherMethod::Bayer8}) {
        const std::vector<Byte> shown = ditherToPens(quarter, pens, {method, 100});
        EXPECT_EQ(std::count(shown.begin(), shown.end(), Byte{1}), 320 * 200 / 4) << int(method);
    }
}

// In mode 1, whose pixels are square, error diffusion is the textbook's: each kernel with
// its published weights, serpentine, in linear light, each pixel clamped and then given its
// nearest pen. Written out here as the publications give the kernels.
TEST(Dithering, ErrorDiffusionInSquarePixelsUsesThePublishedKernels) {
    // Each kernel's weights as published, for the pixels right of the current one (dx 1, 2)
    // and the next two lines (dx -2 to 2), then the divisor.
    struct Published {
        DitherMethod method;
        std::array<int, 12> weights;  // (1, 0), (2, 0), then (-2..2, 1), then (-2..2, 2)
        float divisor;
    };
    // clang-format off
    const std::array<Published, 5> kernels{{
        {DitherMethod::FloydSteinberg, {7, 0,  0, 3, 5, 1, 0,  0, 0, 0, 0, 0}, 16},
        {DitherMethod::Atkinson,       {1, 1,  0, 1, 1, 1, 0,  0, 0, 1, 0, 0}, 8},
        {DitherMethod::Jarvis,         {7, 5,  3, 5, 7, 5, 3,  1, 3, 5, 3, 1}, 48},
        {DitherMethod::Stucki,         {8, 4,  2, 4, 8, 4, 2,  1, 2, 4, 2, 1}, 42},
        {DitherMethod::Sierra,         {5, 3,  2, 4, 5, 4, 2,  0, 2, 3, 2, 0}, 32}}};
    // clang-format on
    constexpr std::array<std::array<int, 2>, 12> kOffsets{
        {{1, 0}, {2, 0}, {-2, 1}, {-1, 1}, {0, 1}, {1, 1}, {2, 1}, {-2, 2}, {-1, 2}, {0, 2}, {1, 2}, {2, 2}}};
    const std::array<Byte, 4> colours{0, 6, 13, 26};
    const PenPalette pens(colours);
    const GridPicture picture = gradients(1);
    for (const Published& kernel : kernels) {
        std::vector<float> work = picture.image.rgb;
        std::vector<Byte> expected(work.size() / 3);
        for (int y = 0; y < 200; ++y)
            for (int step = 0; step < 320; ++step) {
                const int x = y % 2 == 0 ? step : 319 - step, direction = y % 2 == 0 ? 1 : -1;
                float* p = work.data() + 3 * (y * 320 + x);
                const Vec3 value{std::clamp(p[0], 0.0f, 1.0f), std::clamp(p[1], 0.0f, 1.0f),
                                 std::clamp(p[2], 0.0f, 1.0f)};
                const Byte pen = expected[static_cast<std::size_t>(y * 320 + x)] = pens.nearest(value);
                const Vec3 shown = pens.linear(pen);
                const std::array<float, 3> error{value.x - shown.x, value.y - shown.y, value.z - shown.z};
                for (std::size_t k = 0; k < kOffsets.size(); ++k) {
                    const int nx = x + direction * kOffsets[k][0], ny = y + kOffsets[k][1];
                    if (nx < 0 || nx >= 320 || ny >= 200 || kernel.weights[k] == 0) continue;
                    for (int c = 0; c < 3; ++c)
                        work[static_cast<std::size_t>(3 * (ny * 320 + nx) + c)] +=
                            error[static_cast<std::size_t>(c)] * static_cast<float>(kernel.weights[k]) / kernel.divisor;
                }
            }
        const std::vector<Byte> ours = ditherToPens(picture, pens, {kernel.method, 100});
        EXPECT_LT(
            std::inner_product(ours.begin(), ours.end(), expected.begin(), 0, std::plus<>(), std::not_equal_to<>()),
            64)
            << int(kernel.method);  // of 64000: float rounding may tip a few
    }
}

TEST(Dithering, BorderTakesTheDarkestPenInEveryMethod) {
    const std::array<Byte, 3> pens{26, 1, 6};  // white, dark blue, red: pen 1 is darkest
    GridPicture picture = gridOf(0, [](int, int) { return Vec3{1, 1, 1}; });
    picture.border.assign(picture.image.pixelCount(), false);
    for (std::size_t i = 0; i < 160 * 20; ++i) picture.border[i] = true;
    for (const DitherMethod method : kMethods) {
        const std::vector<Byte> result = ditherToPens(picture, pens, {method, 100});
        EXPECT_EQ(std::count(result.begin(), result.begin() + 160 * 20, Byte{1}), 160 * 20) << int(method);
        EXPECT_EQ(std::count(result.begin() + 160 * 20, result.end(), Byte{0}), 160 * 180) << int(method);
    }
    EXPECT_EQ(PenPalette(std::array<Byte, 2>{0, 26}).darkest(), 0);  // the first pen too
    // All border: nothing to choose pens for, so black.
    picture.border.assign(picture.image.pixelCount(), true);
    EXPECT_EQ(choosePens(picture, {}), std::vector<Byte>{0});
}

TEST(PenChoice, APictureInCpcColoursComesBackExactly) {
    // Mode 0 stripes of eleven CPC colours, mode 1 of four, mode 2 of two.
    const std::array<std::vector<Byte>, 3> colourSets{
        {{0, 3, 9, 12, 14, 17, 20, 22, 24, 25, 26}, {1, 15, 19, 26}, {4, 23}}};
    for (Byte mode = 0; mode <= 2; ++mode) {
        const std::vector<Byte>& colours = colourSets[mode];
        const auto colourAt = [&](int x, int y) {
            return colours[static_cast<std::size_t>(x * 7 + y) % colours.size()];
        };
        const GridPicture picture = gridOf(mode, [&](int x, int y) { return cpcLinearColour(colourAt(x, y)); });
        const std::vector<Byte> pens = choosePens(picture, {});
        EXPECT_EQ(pens, darkestFirst(colours)) << int(mode);
        const std::vector<Byte> pixels = ditherToPens(picture, pens, DitherOptions{});
        const int width = picture.image.width;
        for (std::size_t i = 0; i < pixels.size(); ++i)
            ASSERT_EQ(pens[pixels[i]], colourAt(static_cast<int>(i) % width, static_cast<int>(i) / width)) << int(mode);
    }
}

TEST(PenChoice, TheSearchFindsTheBruteForceOptimumOfItsScore) {
    const std::pair<Byte, PenOptions> cases[] = {{2, {}}, {1, {}}, {1, {3, {}, {}}}, {1, {0, {26}, {}}}};
    for (const auto& [mode, options] : cases) {
        const GridPicture picture = gradients(mode);
        const PenProxy score(picture);
        const std::size_t wanted = static_cast<std::size_t>(penCount(picture, options));
        // Every set of `wanted` colours: each 27-bit mask with that many bits (Gosper's
        // next mask with as many bits).
        float best = 1e30f;
        for (std::uint32_t mask = (1u << wanted) - 1; mask < (1u << 27);) {
            const std::uint32_t low = mask & (~mask + 1), ripple = mask + low;
            const std::uint32_t current = std::exchange(mask, (((ripple ^ mask) >> 2) / low) | ripple);
            std::vector<Byte> set;
            for (Byte n = 0; n < 27; ++n)
                if (current & (1u << n)) set.push_back(n);
            if (!options.fixedColours.empty() &&
                std::find(set.begin(), set.end(), options.fixedColours[0]) == set.end())
                continue;
            best = std::min(best, score(set));
        }
        const std::vector<Byte> found = bestByProxy(picture, options);
        EXPECT_EQ(found.size(), wanted);
        EXPECT_FLOAT_EQ(score(found), best) << int(mode);
    }
}

// A night sky in mode 0: black, with a few small galaxies of orange, blue and white and
// their faint glow. The search must fill the pens and keep every galaxy's colour, however
// few pixels show it.
TEST(PenChoice, ADarkSparsePictureKeepsItsFewBrightColours) {
    struct Galaxy {
        int x, y;
        Vec3 colour;
        Byte cpc;  // the CPC colour it shows
    };
    const std::array<Galaxy, 3> galaxies{{{40, 50, {1.0f, 0.22f, 0.0f}, 15},    // orange
                                          {100, 140, {0.0f, 0.0f, 1.0f}, 2},    // bright blue
                                          {130, 60, {1.0f, 1.0f, 1.0f}, 26}}};  // white
    const GridPicture sky = gridOf(0, [&](int x, int y) {
        Vec3 c{};
        for (const Galaxy& g : galaxies) {
            const auto glow = static_cast<float>(std::exp(-((x - g.x) * (x - g.x) + (y - g.y) * (y - g.y)) / 6.0));
            c = {c.x + glow * g.colour.x, c.y + glow * g.colour.y, c.z + glow * g.colour.z};
        }
        return Vec3{std::min(c.x, 1.0f), std::min(c.y, 1.0f), std::min(c.z, 1.0f)};
    });
    const std::vector<Byte> pens = choosePens(sky, {});
    for (const Galaxy& g : galaxies) EXPECT_NE(std::find(pens.begin(), pens.end(), g.cpc), pens.end()) << int(g.cpc);
    EXPECT_EQ(pens.size(), 16u);
}

// A faint green glow on black in mode 1, like a night sky's: dithered at the fixed
// strength, every colour adds more noise than it brings, so the pens stay black alone; with
// the strength chosen, a sparse dither of green wins, and the whole picture's measure
// finds it closer than plain black. A smooth photo-like gradient takes more strength.
TEST(PenChoice, TheChosenStrengthDithersADarkGlowLessAndASmoothGradientMore) {
    const GridPicture glow = gridOf(1, [](int x, int y) {
        const auto g = static_cast<float>(std::exp(-((x - 160) * (x - 160) + (y - 100) * (y - 100)) / 5000.0));
        return Vec3{0.0096f * g, 0.016f * g, 0.004f * g};
    });
    PenOptions options;
    options.dither.chooseStrength = true;
    const PenChoice chosen = choosePensAndStrength(glow, options);
    EXPECT_EQ(chosen.colours, (std::vector<Byte>{0, 9}));
    EXPECT_LT(chosen.strength, DitherOptions{}.strength);
    EXPECT_EQ(choosePens(glow, {}), std::vector<Byte>{0});

    LinearImage canvas{640, 400, std::vector<float>(640 * 400 * 3)};
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x) std::copy_n(glow.image.pixel(x / 2, y / 2), 3, canvas.pixel(x, y));
    const ScielabReference reference(canvas);
    const double black = reference.difference(cpcCanvas(1, std::vector<Byte>(320 * 200), std::vector<Byte>{0}));
    const std::vector<Byte> pixels =
        ditherToPens(glow, chosen.colours, {DitherMethod::FloydSteinberg, chosen.strength});
    EXPECT_LT(reference.difference(cpcCanvas(1, pixels, chosen.colours)), black);

    EXPECT_GT(choosePensAndStrength(gradients(1), options).strength, DitherOptions{}.strength);
}

// The optimising dither on a picture small enough to try every pixel in every pen: its
// error kept in place equals the error computed from the pixels alone after random
// changes; following its cost alone, it ends where no single change lowers that cost; and
// its result (each sweep confirmed by the quality measure) is closer to the picture by
// the measure than where it started.
TEST(OptimisedDither, EndsWhereNoSingleChangeHelpsWithItsErrorKeptInPlace) {
    GridPicture picture;
    picture.image = {24, 12, std::vector<float>(3 * 24 * 12)};
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 24; ++x) {
            const float u = static_cast<float>(x) / 24.0f, v = static_cast<float>(y) / 12.0f;
            const std::array<float, 3> rgb{0.1f + 0.7f * u * v, 0.35f * (1 - u) + 0.3f * v, 0.6f * (1 - v) * u + 0.05f};
            std::copy(rgb.begin(), rgb.end(), picture.image.pixel(x, y));
        }
    const std::vector<Byte> colours{0, 3, 10, 13, 22, 24};
    const std::vector<Byte> start = ditherToPens(picture, colours, DitherOptions{});

    // Weighed again as each round of the search does, with factors on the weights and a
    // slope of its own (the cost's linear term), then changed at random.
    DitherSearch search(picture, colours, start);
    std::mt19937 random(19);
    std::vector<float> emphasis(start.size());
    std::vector<std::array<float, 3>> slope(start.size());
    for (std::size_t i = 0; i < start.size(); ++i) {
        emphasis[i] = 0.2f + static_cast<float>(random() % 100) / 50.0f;
        for (float& s : slope[i]) s = static_cast<float>(static_cast<int>(random() % 200) - 100) / 10.0f;
    }
    std::vector<Byte> shuffled = start;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    search.reweigh(colours, shuffled, emphasis, slope);
    for (int k = 0; k < 300; ++k) search.change(random() % start.size(), static_cast<Byte>(random() % colours.size()));
    EXPECT_NEAR(search.cost(), search.costFromScratch(), 1e-5 * std::abs(search.cost()) + 1e-3);

    OptimiseOptions ownCost;
    ownCost.confirmByMeasure = false;
    const std::optional<OptimisedDither> settled = optimiseDither(picture, colours, start, ownCost);
    ASSERT_TRUE(settled.has_value());
    DitherSearch found(picture, settled->penColours, settled->penOfPixel, {colours, start, {}, {}});
    const double cost = found.costFromScratch();
    for (std::size_t i = 0; i < start.size(); ++i)
        for (Byte pen = 0; pen < colours.size(); ++pen) {
            DitherSearch changed = found;
            changed.change(i, pen);
            ASSERT_GE(changed.costFromScratch(), cost * (1 - 1e-6)) << i << " " << int(pen);
        }
    // Limited to one sweep, it ends after that sweep's changes.
    OptimiseOptions oneSweep = ownCost;
    oneSweep.sweeps = 1;
    DitherSearch swept(picture, colours, start);
    swept.sweep([] { return false; });
    EXPECT_NE(swept.penOfPixel(), settled->penOfPixel);
    EXPECT_EQ(optimiseDither(picture, colours, start, oneSweep)->penOfPixel, swept.penOfPixel());

    // The measure of both on the canvas, each grid pixel as 4 × 2 canvas pixels.
    auto canvas = [&](const std::vector<Byte>& pixels, const std::vector<Byte>& pens) {
        LinearImage image{96, 24, std::vector<float>(3 * 96 * 24)};
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 96; ++x) {
                const std::size_t cell = static_cast<std::size_t>(y / 2 * 24 + x / 4);
                const Vec3 c = pixels.empty() ? Vec3{picture.image.rgb[3 * cell], picture.image.rgb[3 * cell + 1],
                                                     picture.image.rgb[3 * cell + 2]}
                                              : cpcLinearColour(pens[pixels[cell]]);
                const std::array<float, 3> rgb{c.x, c.y, c.z};
                std::copy(rgb.begin(), rgb.end(), image.pixel(x, y));
            }
        return image;
    };
    const LinearImage reference = canvas({}, {});
    const std::optional<OptimisedDither> best = optimiseDither(picture, colours, start, {});
    EXPECT_LT(scielabDifference(reference, canvas(best->penOfPixel, best->penColours)),
              scielabDifference(reference, canvas(start, colours)));

    // Given free pens, it fills them where the measure confirms them: from black and grey,
    // closer than with those two alone.
    const std::vector<Byte> two{0, 13};
    const std::vector<Byte> twoStart = ditherToPens(picture, two, DitherOptions{});
    OptimiseOptions free;
    free.mostPens = 6;
    const std::optional<OptimisedDither> kept = optimiseDither(picture, two, twoStart, {});
    const std::optional<OptimisedDither> filled = optimiseDither(picture, two, twoStart, free);
    EXPECT_EQ(kept->penColours.size(), 2U);
    EXPECT_GT(filled->penColours.size(), 2U);
    EXPECT_LE(filled->penColours.size(), 6U);
    EXPECT_LT(scielabDifference(reference, canvas(filled->penOfPixel, filled->penColours)),
              scielabDifference(reference, canvas(kept->penOfPixel, kept->penColours)));

    // Cancelled at its first report: nothing.
    OptimiseOptions cancel;
    cancel.progress = [](double) { return false; };
    EXPECT_FALSE(optimiseDither(picture, colours, start, cancel).has_value());
}

TEST(OptimisedDither, TheBorderKeepsItsPenInItsColour) {
    // The CPC's blue inside a black border column, in black and white: black's pen, which
    // the picture would have blue, keeps black for the border.
    GridPicture picture;
    picture.image = {24, 12, std::vector<float>(3 * 24 * 12)};
    picture.border.assign(24 * 12, false);
    for (int y = 0; y < 12; ++y) {
        picture.border[static_cast<std::size_t>(y * 24)] = true;
        for (int x = 1; x < 24; ++x) picture.image.pixel(x, y)[2] = cpcLinearColour(1).z;
    }
    const std::vector<Byte> colours{0, 26};
    OptimiseOptions ownCost;
    ownCost.confirmByMeasure = false;
    const std::optional<OptimisedDither> found =
        optimiseDither(picture, colours, ditherToPens(picture, colours, DitherOptions{}), ownCost);
    for (int y = 0; y < 12; ++y) EXPECT_EQ(found->penColours[found->penOfPixel[static_cast<std::size_t>(y * 24)]], 0);
}

TEST(OptimisedDither, TakesBlackForTheDarkestPenWhereItIsCloser) {
    // Black on the left, a grey ramp on the right, in four pens without black: the darkest
    // (blue) shows black instead, unless it is a fixed colour.
    GridPicture picture;
    picture.image = {24, 12, std::vector<float>(3 * 24 * 12)};
    for (int y = 0; y < 12; ++y)
        for (int x = 12; x < 24; ++x) std::fill_n(picture.image.pixel(x, y), 3, static_cast<float>(x - 11) / 12.0f);
    const std::vector<Byte> colours{1, 13, 20, 26};
    const std::vector<Byte> start = ditherToPens(picture, colours, DitherOptions{});
    const std::optional<OptimisedDither> found = optimiseDither(picture, colours, start, {});
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_EQ(found->penColours[found->penOfPixel[static_cast<std::size_t>(y * 24 + x)]], 0);
    OptimiseOptions blueFixed;
    blueFixed.fixedColours = {1};
    const std::optional<OptimisedDither> kept = optimiseDither(picture, colours, start, blueFixed);
    EXPECT_EQ(std::count(kept->penColours.begin(), kept->penColours.end(), 1), 1);
}

TEST(ParallelWork, EveryPieceRunsOnceAndAFailureComesBack) {
    std::vector<std::atomic<int>> runs(50);
    forEachInParallel(runs.size(), [&](std::size_t i) { ++runs[i]; });
    EXPECT_TRUE(std::all_of(runs.begin(), runs.end(), [](const std::atomic<int>& n) { return n == 1; }));
    EXPECT_THROW(forEachInParallel(5, [](std::size_t i) { i == 3 ? throw std::runtime_error("3") : void(); }),
                 std::runtime_error);
}

}  // namespace
}  // namespace varnoke
