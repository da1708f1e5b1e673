#include "import/dithering.h"

#include "import/colour_science.h"
#include "import/optimised_dither.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace varnoke {

namespace {

std::size_t at(int i) { return static_cast<std::size_t>(i); }

// One neighbour of an error-diffusion kernel: dx along the scan (forward is positive),
// dy lines down, and its share of the error.
struct Tap {
    int dx;
    int dy;
    float weight;
};

struct Kernel {
    std::vector<Tap> taps;
    float divisor;
};

Kernel kernelOf(DitherMethod method) {
    switch (method) {
        case DitherMethod::FloydSteinberg: return {{{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}, 16};
        case DitherMethod::Atkinson: return {{{1, 0, 1}, {2, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}, {0, 2, 1}}, 8};
        case DitherMethod::Jarvis:
            return {{{1, 0, 7},
                     {2, 0, 5},
                     {-2, 1, 3},
                     {-1, 1, 5},
                     {0, 1, 7},
                     {1, 1, 5},
                     {2, 1, 3},
                     {-2, 2, 1},
                     {-1, 2, 3},
                     {0, 2, 5},
                     {1, 2, 3},
                     {2, 2, 1}},
                    48};
        case DitherMethod::Stucki:
            return {{{1, 0, 8},
                     {2, 0, 4},
                     {-2, 1, 2},
                     {-1, 1, 4},
                     {0, 1, 8},
                     {1, 1, 4},
                     {2, 1, 2},
                     {-2, 2, 1},
                     {-1, 2, 2},
                     {0, 2, 4},
                     {1, 2, 2},
                     {2, 2, 1}},
                    42};
        case DitherMethod::Sierra:
            return {{{1, 0, 5},
                     {2, 0, 3},
                     {-2, 1, 2},
                     {-1, 1, 4},
                     {0, 1, 5},
                     {1, 1, 4},
                     {2, 1, 2},
                     {-1, 2, 2},
                     {0, 2, 3},
                     {1, 2, 2}},
                    32};
        default: return {{}, 1};
    }
}

// Width of a pixel of the mode against its height.
float pixelAspect(Byte cpcMode) { return cpcMode == 0 ? 2.0f : cpcMode == 1 ? 1.0f : 0.5f; }

// The kernel's weights for the mode's pixel shape: each neighbour's share scaled by how
// much nearer or farther it really is than on square pixels (inverse square of the
// distance), then all shares scaled back to the kernel's own total.
std::vector<Tap> shapedTaps(DitherMethod method, Byte cpcMode) {
    const Kernel kernel = kernelOf(method);
    const float aspect = pixelAspect(cpcMode);
    std::vector<Tap> taps = kernel.taps;
    float original = 0;
    float shaped = 0;
    for (Tap& tap : taps) {
        const auto dx = static_cast<float>(tap.dx);
        const auto dy = static_cast<float>(tap.dy);
        const float square = dx * dx + dy * dy;
        const float actual = aspect * aspect * dx * dx + dy * dy;
        original += tap.weight;
        tap.weight *= square / actual;
        shaped += tap.weight;
    }
    for (Tap& tap : taps) tap.weight *= original / (shaped * kernel.divisor);
    return taps;
}

int gridWidthOf(const GridPicture& picture) { return picture.image.width; }

bool isBorder(const GridPicture& picture, std::size_t i) { return !picture.border.empty() && picture.border[i]; }

// Error diffusion: serpentine scan over a working copy that collects the error; each
// pixel is clamped to the displayable range before its pen is chosen, so that no error
// beyond what a pen could show is carried.
std::vector<Byte> diffuse(const GridPicture& picture, const PenPalette& pens, const DitherOptions& options) {
    const int width = gridWidthOf(picture);
    const int height = picture.image.height;
    const std::vector<Tap> taps = shapedTaps(options.method, picture.cpcMode);
    const float strength = static_cast<float>(std::clamp(options.strength, 0, 100)) / 100.0f;
    std::vector<float> work = picture.image.rgb;
    std::vector<Byte> result(picture.image.pixelCount());
    const Byte darkest = pens.darkest();
    for (int y = 0; y < height; ++y) {
        const bool backwards = (y % 2) == 1;
        for (int step = 0; step < width; ++step) {
            const int x = backwards ? width - 1 - step : step;
            const std::size_t i = at(y * width + x);
            if (isBorder(picture, i)) {
                result[i] = darkest;
                continue;
            }
            float* p = work.data() + 3 * i;
            const Vec3 value{std::clamp(p[0], 0.0f, 1.0f), std::clamp(p[1], 0.0f, 1.0f), std::clamp(p[2], 0.0f, 1.0f)};
            const Byte pen = pens.nearest(value);
            result[i] = pen;
            const Vec3 shown = pens.linear(pen);
            const Vec3 error{(value.x - shown.x) * strength, (value.y - shown.y) * strength,
                             (value.z - shown.z) * strength};
            if (error.x == 0 && error.y == 0 && error.z == 0) continue;
            for (const Tap& tap : taps) {
                const int nx = backwards ? x - tap.dx : x + tap.dx;
                const int ny = y + tap.dy;
                if (nx < 0 || nx >= width || ny >= height) continue;
                float* q = work.data() + 3 * at(ny * width + nx);
                q[0] += error.x * tap.weight;
                q[1] += error.y * tap.weight;
                q[2] += error.z * tap.weight;
            }
        }
    }
    return result;
}

// The threshold matrix of Bayer's ordered dithering, side 2^order, values 0..side²-1.
std::vector<int> bayerMatrix(int order) {
    std::vector<int> matrix{0};
    int side = 1;
    for (int level = 0; level < order; ++level) {
        const int next = side * 2;
        std::vector<int> bigger(at(next * next));
        for (int y = 0; y < next; ++y) {
            for (int x = 0; x < next; ++x) {
                const int quadrant = (y / side) * 2 + (x / side);
                static constexpr std::array<int, 4> kOffset{0, 2, 3, 1};
                bigger[at(y * next + x)] = 4 * matrix[at((y % side) * side + x % side)] + kOffset[at(quadrant)];
            }
        }
        matrix = std::move(bigger);
        side = next;
    }
    return matrix;
}

float luma(Vec3 c) { return 0.2126f * c.x + 0.7152f * c.y + 0.0722f * c.z; }

// The best mix of two pens for one colour, in linear light: the pens a and b, and the
// share of b in 1/levels steps. A wide pair pays a penalty, since its pattern shows.
struct PairMix {
    Byte first = 0;
    Byte second = 0;
    float share = 0;
};

PairMix bestPairMix(Vec3 p, const PenPalette& pens, int levels) {
    PairMix best;
    float bestError = 1e30f;
    const auto count = static_cast<Byte>(pens.size());
    for (Byte a = 0; a < count; ++a) {
        const Vec3 ca = pens.linear(a);
        for (Byte b = a; b < count; ++b) {
            const Vec3 cb = pens.linear(b);
            const Vec3 d{cb.x - ca.x, cb.y - ca.y, cb.z - ca.z};
            const float length = d.x * d.x + d.y * d.y + d.z * d.z;
            float t = 0;
            if (length > 0)
                t = std::clamp(((p.x - ca.x) * d.x + (p.y - ca.y) * d.y + (p.z - ca.z) * d.z) / length, 0.0f, 1.0f);
            t = std::round(t * static_cast<float>(levels)) / static_cast<float>(levels);
            const Vec3 mix{ca.x + t * d.x, ca.y + t * d.y, ca.z + t * d.z};
            const float error = squaredDistance(p, mix) + 0.1f * length * t * (1.0f - t);
            if (error < bestError) {
                bestError = error;
                best = {a, b, t};
            }
        }
    }
    return best;
}

// Ordered dithering with Bayer's matrix: each pixel is shown as the best mix of two pens,
// and the matrix decides, pixel by pixel, which of the two it shows.
std::vector<Byte> orderedPairs(const GridPicture& picture, const PenPalette& pens, int order, float strength) {
    const int side = 1 << order;
    const std::vector<int> matrix = bayerMatrix(order);
    const int levels = side * side;
    const int width = gridWidthOf(picture);
    std::vector<Byte> result(picture.image.pixelCount());
    const Byte darkest = pens.darkest();
    for (int y = 0; y < picture.image.height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = at(y * width + x);
            if (isBorder(picture, i)) {
                result[i] = darkest;
                continue;
            }
            const float* p = picture.image.pixel(x, y);
            const PairMix mix = bestPairMix({p[0], p[1], p[2]}, pens, levels);
            const float threshold =
                (static_cast<float>(matrix[at((y % side) * side + x % side)]) + 0.5f) / static_cast<float>(levels);
            result[i] = threshold < mix.share * strength ? mix.second : mix.first;
        }
    }
    return result;
}

// Knoll's pattern dithering: for each pixel a plan of 16 pens whose mean, in linear light,
// follows the colour (each pen the nearest in linear light to the colour plus the error
// of the pens so far),
// ordered by lightness; the 8 × 8 Bayer matrix picks which pen of the plan the pixel shows.
// Knoll's plan for one colour: how many of its 16 entries each pen takes.
void knollPlan(const float* p, const PenPalette& pens, float strength, std::vector<int>& counts) {
    std::fill(counts.begin(), counts.end(), 0);
    Vec3 error{};
    for (int entry = 0; entry < 16; ++entry) {
        const Vec3 attempt{std::clamp(p[0] + error.x * strength, 0.0f, 1.0f),
                           std::clamp(p[1] + error.y * strength, 0.0f, 1.0f),
                           std::clamp(p[2] + error.z * strength, 0.0f, 1.0f)};
        const Byte pen = pens.nearestLinear(attempt);
        ++counts[pen];
        const Vec3 shown = pens.linear(pen);
        error = {error.x + p[0] - shown.x, error.y + p[1] - shown.y, error.z + p[2] - shown.z};
    }
}

std::vector<Byte> knollPattern(const GridPicture& picture, const PenPalette& pens, float strength) {
    const std::vector<int> matrix = bayerMatrix(3);
    const int width = gridWidthOf(picture);
    std::vector<Byte> result(picture.image.pixelCount());
    // The pens from the darkest (by luminance, then by number): the plan's order.
    std::vector<Byte> order(pens.size());
    std::iota(order.begin(), order.end(), Byte{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](Byte a, Byte b) { return luma(pens.linear(a)) < luma(pens.linear(b)); });
    std::vector<int> counts(pens.size());
    for (int y = 0; y < picture.image.height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = at(y * width + x);
            if (isBorder(picture, i)) {
                result[i] = pens.darkest();
                continue;
            }
            knollPlan(picture.image.pixel(x, y), pens, strength, counts);
            // The entry that the matrix picks, among the plan's 16 ordered by lightness.
            int entry = matrix[at((y % 8) * 8 + x % 8)] / 4;
            for (const Byte pen : order) {
                if (entry < counts[pen]) {
                    result[i] = pen;
                    break;
                }
                entry -= counts[pen];
            }
        }
    }
    return result;
}

std::vector<Byte> nearestOnly(const GridPicture& picture, const PenPalette& pens) {
    std::vector<Byte> result(picture.image.pixelCount());
    const Byte darkest = pens.darkest();
    for (std::size_t i = 0; i < result.size(); ++i) {
        const float* p = picture.image.rgb.data() + 3 * i;
        result[i] = isBorder(picture, i) ? darkest : pens.nearest({p[0], p[1], p[2]});
    }
    return result;
}

}  // namespace

PenPalette::PenPalette(std::span<const Byte> penColours) {
    for (const Byte colour : penColours) {
        const Vec3 linear = cpcLinearColour(colour < 27 ? colour : Byte{0});  // no colour shows black
        colours_.push_back(colour < 27 ? colour : Byte{0});
        linear_.push_back(linear);
        oklab_.push_back(linearToOklab(linear));
    }
    for (std::size_t pen = 1; pen < linear_.size(); ++pen) {
        if (luma(linear_[pen]) < luma(linear_[darkest_])) darkest_ = static_cast<Byte>(pen);
    }
}

Byte PenPalette::nearest(Vec3 linearColour) const {
    const Vec3 lab = linearToOklab(linearColour);
    Byte best = 0;
    float bestDistance = 1e30f;
    for (std::size_t pen = 0; pen < oklab_.size(); ++pen) {
        const float distance = squaredDistance(lab, oklab_[pen]);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<Byte>(pen);
        }
    }
    return best;
}

Byte PenPalette::nearestLinear(Vec3 linearColour) const {
    Byte best = 0;
    float bestDistance = 1e30f;
    for (std::size_t pen = 0; pen < linear_.size(); ++pen) {
        const float distance = squaredDistance(linearColour, linear_[pen]);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<Byte>(pen);
        }
    }
    return best;
}

// From the quality benchmark: in mode 2, whose pixels are half as wide as high, Sierra's
// wider kernel spreads the error over more neighbours and scores best; in modes 0 and 1
// Floyd-Steinberg does.
DitherMethod defaultDither(Byte cpcMode) { return cpcMode >= 2 ? DitherMethod::Sierra : DitherMethod::FloydSteinberg; }

std::vector<Byte> ditherToPens(const GridPicture& picture, const PenPalette& pens, const DitherOptions& options) {
    if (pens.size() == 0) return std::vector<Byte>(picture.image.pixelCount());
    const int strength = std::clamp(options.strength, 0, 100);
    if (strength == 0) return nearestOnly(picture, pens);
    switch (options.method) {
        case DitherMethod::None: return nearestOnly(picture, pens);
        case DitherMethod::Bayer4: return orderedPairs(picture, pens, 2, static_cast<float>(strength) / 100.0f);
        case DitherMethod::Bayer8: return orderedPairs(picture, pens, 3, static_cast<float>(strength) / 100.0f);
        case DitherMethod::Pattern: return knollPattern(picture, pens, static_cast<float>(strength) / 100.0f);
        case DitherMethod::Best: {
            std::vector<Byte> colours;
            for (std::size_t pen = 0; pen < pens.size(); ++pen) colours.push_back(pens.colour(static_cast<Byte>(pen)));
            OptimiseOptions search;
            search.budget = defaultOptimiseBudget(picture.cpcMode);
            search.fixedColours = colours;
            return optimiseDither(picture, colours,
                                  diffuse(picture, pens, {defaultDither(picture.cpcMode), options.strength}), search)
                ->penOfPixel;
        }
        default: return diffuse(picture, pens, options);
    }
}

std::vector<Byte> ditherToPens(const GridPicture& picture, std::span<const Byte> penColours,
                               const DitherOptions& options) {
    return ditherToPens(picture, PenPalette(penColours), options);
}

}  // namespace varnoke
