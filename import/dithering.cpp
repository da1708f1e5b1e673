#include "import/dithering.h"

#include "import/colour_science.h"
#include "import/optimised_dither.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <optional>

namespace varnoke {

namespace {

std::size_t at(int i) { return static_cast<std::size_t>(i); }

using Tap = DiffusionTap;

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

Vec3 minus(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 plus(Vec3 a, Vec3 b, float t) { return {a.x + t * b.x, a.y + t * b.y, a.z + t * b.z}; }
float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// The point of segment ab nearest to p.
Vec3 nearestOnSegment(Vec3 p, Vec3 a, Vec3 b) {
    const Vec3 ab = minus(b, a);
    const float length = dot(ab, ab);
    return length > 0 ? plus(a, ab, std::clamp(dot(minus(p, a), ab) / length, 0.0f, 1.0f)) : a;
}

// The point of triangle abc nearest to p (by the regions of its corners and edges).
Vec3 nearestOnTriangle(Vec3 p, Vec3 a, Vec3 b, Vec3 c) {
    const Vec3 ab = minus(b, a);
    const Vec3 ac = minus(c, a);
    const Vec3 ap = minus(p, a);
    const float d1 = dot(ab, ap);
    const float d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) return a;
    const Vec3 bp = minus(p, b);
    const float d3 = dot(ab, bp);
    const float d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3) return b;
    const float vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) return plus(a, ab, d1 / (d1 - d3));
    const Vec3 cp = minus(p, c);
    const float d5 = dot(ab, cp);
    const float d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6) return c;
    const float vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) return plus(a, ac, d2 / (d2 - d6));
    const float va = d3 * d6 - d5 * d4;
    if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) return plus(b, minus(c, b), (d4 - d3) / ((d4 - d3) + (d5 - d6)));
    const float sum = va + vb + vc;
    if (sum <= 1e-12f) {  // the corners in a line
        Vec3 best = nearestOnSegment(p, a, b);
        for (const Vec3 q : {nearestOnSegment(p, b, c), nearestOnSegment(p, a, c)})
            if (squaredDistance(p, q) < squaredDistance(p, best)) best = q;
        return best;
    }
    return plus(plus(a, ab, vb / sum), ac, vc / sum);
}

// The colours that a set of pens can mix in linear light (their convex hull), to which
// error diffusion may bring each pixel's colour before it carries the error: whatever
// lies beyond, no mix of the pens can show. Two pens keep the whole line through their
// colours (the part of the error along it is carried, however far).
class MixHull {
public:
    explicit MixHull(const PenPalette& pens) {
        std::vector<Vec3> colours;
        for (std::size_t pen = 0; pen < pens.size(); ++pen) colours.push_back(pens.linear(static_cast<Byte>(pen)));
        if (colours.size() == 2) {
            axis_ = minus(colours[1], colours[0]);
            line_ = dot(axis_, axis_) > 0;
            return;
        }
        // Every triangle of three pens that has all the others on one side is a face (both
        // ways when all are on its plane).
        const std::size_t n = colours.size();
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = i + 1; j < n; ++j)
                for (std::size_t k = j + 1; k < n; ++k) {
                    const Vec3 normal = cross(minus(colours[j], colours[i]), minus(colours[k], colours[i]));
                    const float tolerance = 1e-6f * std::sqrt(dot(normal, normal));
                    if (tolerance <= 0) continue;
                    bool above = false;
                    bool below = false;
                    for (const Vec3 c : colours) {
                        const float side = dot(minus(c, colours[i]), normal);
                        above = above || side > tolerance;
                        below = below || side < -tolerance;
                    }
                    const std::array<Vec3, 3> face{colours[i], colours[j], colours[k]};
                    if (!above) faces_.push_back({face, normal});
                    if (!below) faces_.push_back({face, {-normal.x, -normal.y, -normal.z}});
                }
    }

    // Whether any colour lies beyond the hull (one pen, or pens all of one colour: none).
    bool bounds() const { return line_ || !faces_.empty(); }

    // The colour that the error is carried from, for a pixel of colour p shown as `shown`:
    // p brought onto the hull, or for two pens, `shown` plus the part of p − shown along their line.
    Vec3 within(Vec3 p, Vec3 shown) const {
        if (line_) return plus(shown, axis_, dot(minus(p, shown), axis_) / dot(axis_, axis_));
        // The nearest point of a convex hull lies on a face that p is beyond.
        Vec3 best = p;
        float bestDistance = 1e30f;
        for (const Face& face : faces_) {
            if (dot(minus(p, face.corners[0]), face.outward) <= 0) continue;
            const Vec3 q = nearestOnTriangle(p, face.corners[0], face.corners[1], face.corners[2]);
            if (const float d = squaredDistance(p, q); d < bestDistance) {
                bestDistance = d;
                best = q;
            }
        }
        return best;
    }

private:
    struct Face {
        std::array<Vec3, 3> corners;
        Vec3 outward;
    };
    std::vector<Face> faces_;
    bool line_ = false;
    Vec3 axis_{};
};

// The hull of the pens when the dithering brings colours within it and it bounds any.
std::optional<MixHull> hullFor(const PenPalette& pens, bool withinPens) {
    if (!withinPens) return std::nullopt;
    MixHull hull(pens);
    return hull.bounds() ? std::optional<MixHull>(std::move(hull)) : std::nullopt;
}

// One line of error diffusion over a working copy that collects the error (serpentine:
// odd lines run from the right); each pixel is clamped to the displayable range before
// its pen is chosen, so that no error beyond what a pen could show is carried. `line`
// holds the line's values; `work`, the whole picture's, takes the error carried to the
// lines below (none when it is null: a trial of the line's pens). With a hull, the error
// is carried from the pixel's colour, unclamped, brought within the hull instead
// (MixHull::within): the hull bounds what the pens can show, and a clamp of each
// component alone would drop error that they can (the excess of one component below
// zero, say, that a darker pen would pay back). Returns the line's summed squared OKLab
// error.
float diffuseLine(const GridPicture& picture, int y, const PenPalette& pens, const std::vector<Tap>& taps,
                  float strength, const MixHull* hull, float* line, float* work, Byte* result) {
    const int width = gridWidthOf(picture);
    const int height = picture.image.height;
    const bool backwards = (y % 2) == 1;
    const Byte darkest = pens.darkest();
    float total = 0;
    for (int step = 0; step < width; ++step) {
        const int x = backwards ? width - 1 - step : step;
        if (isBorder(picture, at(y * width + x))) {
            result[x] = darkest;
            continue;
        }
        float* p = line + 3 * at(x);
        const Vec3 value{std::clamp(p[0], 0.0f, 1.0f), std::clamp(p[1], 0.0f, 1.0f), std::clamp(p[2], 0.0f, 1.0f)};
        float distance = 0;
        const Byte pen = pens.nearest(value, &distance);
        total += std::sqrt(distance);
        result[x] = pen;
        const Vec3 shown = pens.linear(pen);
        const Vec3 from = hull != nullptr ? hull->within({p[0], p[1], p[2]}, shown) : value;
        const Vec3 error{(from.x - shown.x) * strength, (from.y - shown.y) * strength, (from.z - shown.z) * strength};
        if (error.x == 0 && error.y == 0 && error.z == 0) continue;
        for (const Tap& tap : taps) {
            const int nx = backwards ? x - tap.dx : x + tap.dx;
            const int ny = y + tap.dy;
            if (nx < 0 || nx >= width || ny >= height || (tap.dy != 0 && work == nullptr)) continue;
            float* q = tap.dy == 0 ? line + 3 * at(nx) : work + 3 * at(ny * width + nx);
            q[0] += error.x * tap.weight;
            q[1] += error.y * tap.weight;
            q[2] += error.z * tap.weight;
        }
    }
    return total;
}

std::vector<Byte> diffuse(const GridPicture& picture, const PenPalette& pens, const DitherOptions& options) {
    const int width = gridWidthOf(picture);
    const std::vector<Tap> taps = shapedTaps(options.method, picture.cpcMode);
    const float strength = static_cast<float>(std::clamp(options.strength, 0, 100)) / 100.0f;
    const std::optional<MixHull> hull = hullFor(pens, options.withinPens);
    std::vector<float> work = picture.image.rgb;
    std::vector<Byte> result(picture.image.pixelCount());
    for (int y = 0; y < picture.image.height; ++y)
        diffuseLine(picture, y, pens, taps, strength, hull ? &*hull : nullptr, work.data() + 3 * at(y * width),
                    work.data(), result.data() + at(y * width));
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
void orderedPairs(const GridPicture& picture, int y, const PenPalette& pens, int order, float strength, Byte* result) {
    const int side = 1 << order;
    const std::vector<int> matrix = bayerMatrix(order);
    const int levels = side * side;
    const int width = gridWidthOf(picture);
    const Byte darkest = pens.darkest();
    for (int x = 0; x < width; ++x) {
        if (isBorder(picture, at(y * width + x))) {
            result[x] = darkest;
            continue;
        }
        const float* p = picture.image.pixel(x, y);
        const PairMix mix = bestPairMix({p[0], p[1], p[2]}, pens, levels);
        const float threshold =
            (static_cast<float>(matrix[at((y % side) * side + x % side)]) + 0.5f) / static_cast<float>(levels);
        result[x] = threshold < mix.share * strength ? mix.second : mix.first;
    }
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

void knollPattern(const GridPicture& picture, int y, const PenPalette& pens, float strength, Byte* result) {
    const std::vector<int> matrix = bayerMatrix(3);
    const int width = gridWidthOf(picture);
    // The pens from the darkest (by luminance, then by number): the plan's order.
    std::vector<Byte> order(pens.size());
    std::iota(order.begin(), order.end(), Byte{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](Byte a, Byte b) { return luma(pens.linear(a)) < luma(pens.linear(b)); });
    std::vector<int> counts(pens.size());
    for (int x = 0; x < width; ++x) {
        if (isBorder(picture, at(y * width + x))) {
            result[x] = pens.darkest();
            continue;
        }
        knollPlan(picture.image.pixel(x, y), pens, strength, counts);
        // The entry that the matrix picks, among the plan's 16 ordered by lightness.
        int entry = matrix[at((y % 8) * 8 + x % 8)] / 4;
        for (const Byte pen : order) {
            if (entry < counts[pen]) {
                result[x] = pen;
                break;
            }
            entry -= counts[pen];
        }
    }
}

// The nearest pen of each pixel of line y; returns the summed squared OKLab distances.
float nearestOnly(const GridPicture& picture, int y, const PenPalette& pens, Byte* result) {
    const int width = gridWidthOf(picture);
    const Byte darkest = pens.darkest();
    float total = 0;
    for (int x = 0; x < width; ++x) {
        const float* p = picture.image.pixel(x, y);
        float distance = 0;
        result[x] = isBorder(picture, at(y * width + x)) ? darkest : pens.nearest({p[0], p[1], p[2]}, &distance);
        total += std::sqrt(distance);
    }
    return total;
}

// Line y by a method that treats each pixel on its own (ordered, pattern, none).
void ditherLineOnItsOwn(const GridPicture& picture, int y, const PenPalette& pens, const DitherOptions& options,
                        Byte* result) {
    const float strength = static_cast<float>(std::clamp(options.strength, 0, 100)) / 100.0f;
    if (strength == 0) {
        nearestOnly(picture, y, pens, result);
        return;
    }
    switch (options.method) {
        case DitherMethod::Bayer4: orderedPairs(picture, y, pens, 2, strength, result); break;
        case DitherMethod::Bayer8: orderedPairs(picture, y, pens, 3, strength, result); break;
        case DitherMethod::Pattern: knollPattern(picture, y, pens, strength, result); break;
        default: nearestOnly(picture, y, pens, result); break;
    }
}

bool diffuses(const DitherOptions& options) { return options.strength > 0 && !kernelOf(options.method).taps.empty(); }

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

Byte PenPalette::nearest(Vec3 linearColour, float* squaredOklabDistance) const {
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
    if (squaredOklabDistance != nullptr) *squaredOklabDistance = bestDistance;
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
    if (options.method == DitherMethod::Best && options.strength > 0) {
        std::vector<Byte> colours;
        for (std::size_t pen = 0; pen < pens.size(); ++pen) colours.push_back(pens.colour(static_cast<Byte>(pen)));
        OptimiseOptions search;
        search.budget = defaultOptimiseBudget(picture.cpcMode);
        search.fixedColours = colours;
        return optimiseDither(picture, colours,
                              diffuse(picture, pens, {defaultDither(picture.cpcMode), options.strength}), search)
            ->penOfPixel;
    }
    if (diffuses(options)) return diffuse(picture, pens, options);
    std::vector<Byte> result(picture.image.pixelCount());
    for (int y = 0; y < picture.image.height; ++y)
        ditherLineOnItsOwn(picture, y, pens, options, result.data() + at(y * gridWidthOf(picture)));
    return result;
}

LineDithering::LineDithering(const GridPicture& picture, const DitherOptions& options)
    : picture_(picture),
      options_(options),
      taps_(diffuses(options_) ? shapedTaps(options_.method, picture.cpcMode) : std::vector<DiffusionTap>{}),
      strength_(static_cast<float>(std::clamp(options_.strength, 0, 100)) / 100.0f),
      work_(taps_.empty() ? std::vector<float>{} : picture.image.rgb),
      scratchPens_(at(gridWidthOf(picture))) {}

float LineDithering::trial(int y, const PenPalette& pens) {
    const int width = gridWidthOf(picture_);
    const bool diffusing = !taps_.empty();
    const float* target = (diffusing ? work_.data() : picture_.image.rgb.data()) + 3 * at(y * width);
    float noise = 0;
    if (!diffusing) {
        noise = nearestOnly(picture_, y, pens, scratchPens_.data());
    } else {
        scratch_.assign(target, target + 3 * at(width));
        const std::optional<MixHull> hull = hullFor(pens, options_.withinPens);
        noise = diffuseLine(picture_, y, pens, taps_, strength_, hull ? &*hull : nullptr, scratch_.data(), nullptr,
                            scratchPens_.data());
    }
    // How far the line's local means (5 pixels wide) are from the target's, in OKLab; the
    // target's are worked out once a line.
    constexpr int kRadius = 2;
    constexpr float kMean = 1.0f / (2 * kRadius + 1);
    if (wantedLine_ != y) {
        wanted_.assign(at(width), Vec3{});
        for (int x = 0; x < width; ++x) {
            Vec3 sum{};
            for (int dx = -kRadius; dx <= kRadius; ++dx) {
                const float* t = target + 3 * at(std::clamp(x + dx, 0, width - 1));
                sum = {sum.x + std::clamp(t[0], 0.0f, 1.0f), sum.y + std::clamp(t[1], 0.0f, 1.0f),
                       sum.z + std::clamp(t[2], 0.0f, 1.0f)};
            }
            wanted_[at(x)] = linearToOklab({sum.x * kMean, sum.y * kMean, sum.z * kMean});
        }
        wantedLine_ = y;
    }
    float total = 0;
    for (int x = 0; x < width; ++x) {
        Vec3 shown{};
        for (int dx = -kRadius; dx <= kRadius; ++dx) {
            const Vec3 c = pens.linear(scratchPens_[at(std::clamp(x + dx, 0, width - 1))]);
            shown = {shown.x + c.x, shown.y + c.y, shown.z + c.z};
        }
        total += std::sqrt(
            squaredDistance(linearToOklab({shown.x * kMean, shown.y * kMean, shown.z * kMean}), wanted_[at(x)]));
    }
    // The noise of the dithering counts too, a quarter as much.
    return total + 0.25f * noise;
}

void LineDithering::dither(int y, const PenPalette& pens, std::span<Byte> linePens) {
    const std::optional<MixHull> hull = hullFor(pens, options_.withinPens);
    if (taps_.empty())
        ditherLineOnItsOwn(picture_, y, pens, options_, linePens.data());
    else
        diffuseLine(picture_, y, pens, taps_, strength_, hull ? &*hull : nullptr,
                    work_.data() + 3 * at(y * gridWidthOf(picture_)), work_.data(), linePens.data());
}

std::vector<Byte> ditherToPens(const GridPicture& picture, std::span<const Byte> penColours,
                               const DitherOptions& options) {
    return ditherToPens(picture, PenPalette(penColours), options);
}

}  // namespace varnoke
