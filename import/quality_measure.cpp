#include "import/quality_measure.h"

#include "import/colour_science.h"
#include "import/parallel_work.h"
#include "main/program_state.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace varnoke {

namespace {

// S-CIELAB's opponent channels from XYZ, and back.
using Matrix3 = std::array<std::array<double, 3>, 3>;
constexpr Matrix3 kToOpponent{{{0.279, 0.72, -0.107}, {-0.449, 0.29, -0.077}, {0.086, -0.59, 0.501}}};

constexpr Matrix3 inverse(const Matrix3& m) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Matrix3 r{};
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) {
            // Cofactor of (j, i) over the determinant.
            const std::size_t r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
            r[i][j] = (m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0]) / det;
        }
    }
    return r;
}
constexpr Matrix3 kFromOpponent = inverse(kToOpponent);

const std::array<std::vector<GaussianTerm>, 3> kChannelFilters{{
    {{1.00327, 0.05}, {0.114416, 0.225}, {-0.117686, 7.0}},
    {{0.616725, 0.0685}, {0.383275, 0.826}},
    {{0.567885, 0.092}, {0.432115, 0.6451}},
}};

struct Plane {
    int width = 0;
    int height = 0;
    std::vector<float> values;
    float* row(int y) { return values.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width); }
    const float* row(int y) const {
        return values.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    }
};

std::size_t at(int i) { return static_cast<std::size_t>(i); }

// Position i of a line of n samples reflected about its edges (the edge sample repeats), so
// that any i maps back into 0..n-1.
int reflectIndex(int i, int n) {
    const int period = 2 * n;
    int m = i % period;
    if (m < 0) m += period;
    return m < n ? m : period - 1 - m;
}

// The discrete Gaussian of spread sigma over offsets -radius..radius, summing to 1.
std::vector<float> gaussianTaps(double sigma, int radius) {
    std::vector<double> taps(at(2 * radius + 1));
    double sum = 0;
    for (int d = -radius; d <= radius; ++d) {
        taps[at(d + radius)] = std::exp(-0.5 * d * d / (sigma * sigma));
        sum += taps[at(d + radius)];
    }
    std::vector<float> result(taps.size());
    for (std::size_t i = 0; i < taps.size(); ++i) result[i] = static_cast<float>(taps[i] / sum);
    return result;
}

// The number of samples kept of a line of n when only every step-th is.
int keptOf(int n, int step) { return (n + step - 1) / step; }

// Direct separable filtering, for spreads that are small against the canvas. Only the
// samples whose column and row are multiples of `step` are filtered: `sum` holds those,
// keptOf(width) × keptOf(height) (the measure compares no others).
void gaussianDirect(const Plane& in, double sigma, float weight, int step, Plane& sum) {
    const int radius = static_cast<int>(std::ceil(3.0 * sigma));
    const std::vector<float> taps = gaussianTaps(sigma, radius);
    const int columns = keptOf(in.width, step);
    Plane across{columns, in.height, std::vector<float>(at(columns * in.height))};
    std::vector<float> padded(at(in.width + 2 * radius));
    for (int y = 0; y < in.height; ++y) {
        const float* source = in.row(y);
        for (int x = -radius; x < in.width + radius; ++x) padded[at(x + radius)] = source[reflectIndex(x, in.width)];
        float* out = across.row(y);
        for (std::size_t k = 0; k < taps.size(); ++k) {
            const float tap = taps[k];
            const float* shifted = padded.data() + k;
            if (step == 1)
                for (int x = 0; x < columns; ++x) out[x] += tap * shifted[x];
            else
                for (int x = 0; x < columns; ++x) out[x] += tap * shifted[x * step];
        }
    }
    for (int row = 0; row < sum.height; ++row) {
        float* out = sum.row(row);
        for (std::size_t k = 0; k < taps.size(); ++k) {
            const float tap = weight * taps[k];
            const float* source = across.row(reflectIndex(row * step - radius + static_cast<int>(k), in.height));
            for (int x = 0; x < columns; ++x) out[x] += tap * source[x];
        }
    }
}

// Medium spreads: the plane averaged over blocks of f × f, filtered there with a spread
// narrowed by what the block means and the linear interpolation back add (f² / 12 and
// f² / 6 of variance), then interpolated back onto every sample.
void gaussianDecimated(const Plane& in, double sigma, float weight, int f, int step, Plane& sum) {
    const int lowWidth = (in.width + f - 1) / f;
    const int lowHeight = (in.height + f - 1) / f;
    Plane low{lowWidth, lowHeight, std::vector<float>(at(lowWidth * lowHeight))};
    Plane count = low;
    for (int y = 0; y < in.height; ++y) {
        for (int x = 0; x < in.width; ++x) {
            low.row(y / f)[x / f] += in.row(y)[x];
            count.row(y / f)[x / f] += 1.0f;
        }
    }
    for (std::size_t i = 0; i < low.values.size(); ++i) low.values[i] /= count.values[i];
    Plane blurred{lowWidth, lowHeight, std::vector<float>(low.values.size())};
    gaussianDirect(low, std::sqrt(sigma * sigma - f * f / 4.0) / f, 1.0f, 1, blurred);
    // Where each full sample falls between two block centres, per axis.
    auto between = [f](int i, int n, int& first, int& second, float& share) {
        const float u = (static_cast<float>(i) - static_cast<float>(f - 1) / 2.0f) / static_cast<float>(f);
        const int base = static_cast<int>(std::floor(u));
        share = u - static_cast<float>(base);
        first = reflectIndex(base, n);
        second = reflectIndex(base + 1, n);
    };
    std::vector<int> x0(at(sum.width)), x1(at(sum.width));
    std::vector<float> xs(at(sum.width));
    for (int x = 0; x < sum.width; ++x) between(x * step, lowWidth, x0[at(x)], x1[at(x)], xs[at(x)]);
    for (int row = 0; row < sum.height; ++row) {
        int y0 = 0, y1 = 0;
        float ys = 0;
        between(row * step, lowHeight, y0, y1, ys);
        const float* top = blurred.row(y0);
        const float* bottom = blurred.row(y1);
        float* out = sum.row(row);
        for (int x = 0; x < sum.width; ++x) {
            const float upper = top[x0[at(x)]] + xs[at(x)] * (top[x1[at(x)]] - top[x0[at(x)]]);
            const float lower = bottom[x0[at(x)]] + xs[at(x)] * (bottom[x1[at(x)]] - bottom[x0[at(x)]]);
            out[x] += weight * (upper + ys * (lower - upper));
        }
    }
}

// For a spread as wide as the canvas: the weight that block j (of `block` samples) of a
// reflected line of n samples has in output sample x, as a matrix n × blocks. The line
// is reflected about both ends, so it repeats with period 2n; the folded kernel sums the
// Gaussian over every image of each sample.
std::vector<float> foldedBlockWeights(int n, int block, double sigma) {
    const int period = 2 * n;
    const int reach = static_cast<int>(std::ceil(4.0 * sigma));
    // periodic[d + period] = sum over k of G(d + k × period), for d in -period..period.
    std::vector<double> periodic(at(2 * period + 1));
    double total = 0;
    for (int d = -reach; d <= reach; ++d) total += std::exp(-0.5 * d * d / (sigma * sigma));
    for (int d = -period; d <= period; ++d) {
        double value = 0;
        for (int e = d - (reach / period + 1) * period; e <= reach; e += period) {
            if (e >= -reach) value += std::exp(-0.5 * e * e / (sigma * sigma));
        }
        periodic[at(d + period)] = value / total;
    }
    const int blocks = (n + block - 1) / block;
    std::vector<float> weights(at(n * blocks));
    for (int x = 0; x < n; ++x) {
        for (int i = 0; i < n; ++i) {
            const double k = periodic[at(x - i + period)] + periodic[at(x + i + 1 + period)];
            weights[at(x * blocks + i / block)] += static_cast<float>(k);
        }
    }
    return weights;
}

// Wide Gaussians: the plane averaged over blocks of 8 × 8, then the folded kernel applied
// from the blocks to every output sample. The kernel barely changes across a block, so
// this matches the direct filtering to well under a thousandth of the signal.
void gaussianWide(const Plane& in, double sigma, float weight, int step, Plane& sum) {
    constexpr int kBlock = 8;
    const int blocksX = (in.width + kBlock - 1) / kBlock;
    const int blocksY = (in.height + kBlock - 1) / kBlock;
    Plane low{blocksX, blocksY, std::vector<float>(at(blocksX * blocksY))};
    for (int y = 0; y < in.height; ++y) {
        for (int x = 0; x < in.width; ++x) low.row(y / kBlock)[x / kBlock] += in.row(y)[x];
    }
    for (int by = 0; by < blocksY; ++by) {
        const int rows = std::min(kBlock, in.height - by * kBlock);
        for (int bx = 0; bx < blocksX; ++bx)
            low.row(by)[bx] /= static_cast<float>(rows * std::min(kBlock, in.width - bx * kBlock));
    }
    const std::vector<float> wx = foldedBlockWeights(in.width, kBlock, sigma);
    const std::vector<float> wy = foldedBlockWeights(in.height, kBlock, sigma);
    Plane across{sum.width, blocksY, std::vector<float>(at(sum.width * blocksY))};
    for (int by = 0; by < blocksY; ++by) {
        for (int x = 0; x < sum.width; ++x) {
            float value = 0;
            for (int bx = 0; bx < blocksX; ++bx) value += wx[at(x * step * blocksX + bx)] * low.row(by)[bx];
            across.row(by)[x] = value;
        }
    }
    for (int row = 0; row < sum.height; ++row) {
        float* out = sum.row(row);
        for (int by = 0; by < blocksY; ++by) {
            const float w = weight * wy[at(row * step * blocksY + by)];
            const float* source = across.row(by);
            for (int x = 0; x < sum.width; ++x) out[x] += w * source[x];
        }
    }
}

// A matrix times a colour.
Vec3 transformed(const Matrix3& m, Vec3 v) {
    return {static_cast<float>(m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z),
            static_cast<float>(m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z),
            static_cast<float>(m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z)};
}

Vec3 xyzToOpponent(Vec3 xyz) { return transformed(kToOpponent, xyz); }

// The three opponent planes of a canvas.
std::array<Plane, 3> opponentPlanes(const LinearImage& canvas) {
    std::array<Plane, 3> planes;
    for (Plane& plane : planes) plane = {canvas.width, canvas.height, std::vector<float>(canvas.pixelCount())};
    for (std::size_t i = 0; i < canvas.pixelCount(); ++i) {
        const float* p = canvas.rgb.data() + 3 * i;
        const Vec3 xyz = linearToXyz({p[0], p[1], p[2]});
        for (std::size_t c = 0; c < 3; ++c) {
            planes[c].values[i] =
                static_cast<float>(kToOpponent[c][0] * xyz.x + kToOpponent[c][1] * xyz.y + kToOpponent[c][2] * xyz.z);
        }
    }
    return planes;
}

// The planes filtered by the channels' filters, at the samples whose column and row are
// multiples of `step` (see gaussianDirect).
std::array<Plane, 3> filtered(const std::array<Plane, 3>& planes, double pixelsPerDegree, int step,
                              bool inParallel = false) {
    std::array<Plane, 3> filtered;
    auto channel = [&](std::size_t c) {
        const int columns = keptOf(planes[c].width, step), rows = keptOf(planes[c].height, step);
        filtered[c] = {columns, rows, std::vector<float>(at(columns * rows))};
        for (const GaussianTerm& term : kChannelFilters[c]) {
            const double sigma = term.spreadDegrees * pixelsPerDegree;
            const auto weight = static_cast<float>(term.weight);
            if (sigma > 64.0)
                gaussianWide(planes[c], sigma, weight, step, filtered[c]);
            else if (sigma > 16.0)
                gaussianDecimated(planes[c], sigma, weight, 4, step, filtered[c]);
            else if (sigma > 6.0)
                gaussianDecimated(planes[c], sigma, weight, 2, step, filtered[c]);
            else
                gaussianDirect(planes[c], sigma, weight, step, filtered[c]);
        }
    };
    if (inParallel)
        forEachInParallel(3, channel);
    else
        for (std::size_t c = 0; c < 3; ++c) channel(c);
    return filtered;
}

Lab labOfOpponent(const double (&o)[3]) {
    Vec3 xyz;
    xyz.x = static_cast<float>(kFromOpponent[0][0] * o[0] + kFromOpponent[0][1] * o[1] + kFromOpponent[0][2] * o[2]);
    xyz.y = static_cast<float>(kFromOpponent[1][0] * o[0] + kFromOpponent[1][1] * o[1] + kFromOpponent[1][2] * o[2]);
    xyz.z = static_cast<float>(kFromOpponent[2][0] * o[0] + kFromOpponent[2][1] * o[1] + kFromOpponent[2][2] * o[2]);
    return xyzToLab(xyz);
}

// The CIELAB of every pixel of the filtered planes, three floats a pixel, row by row; with
// inParallel, in runs of rows side by side.
std::vector<float> labOf(const std::array<Plane, 3>& planes, bool inParallel) {
    const int columns = planes[0].width;
    const int rows = planes[0].height;
    std::vector<float> lab(3 * at(columns) * at(rows));
    constexpr int kParts = 4;
    auto part = [&](std::size_t index) {
        const int first = rows * static_cast<int>(index) / kParts;
        const int end = rows * (static_cast<int>(index) + 1) / kParts;
        for (int row = first; row < end; ++row) {
            float* out = lab.data() + 3 * at(row) * at(columns);
            for (int x = 0; x < columns; ++x, out += 3) {
                const double o[3] = {planes[0].row(row)[x], planes[1].row(row)[x], planes[2].row(row)[x]};
                const Lab value = labOfOpponent(o);
                out[0] = static_cast<float>(value.l);
                out[1] = static_cast<float>(value.a);
                out[2] = static_cast<float>(value.b);
            }
        }
    };
    if (inParallel)
        forEachInParallel(kParts, part);
    else
        for (std::size_t index = 0; index < kParts; ++index) part(index);
    return lab;
}

}  // namespace

Vec3 linearToOpponent(Vec3 rgb) { return xyzToOpponent(linearToXyz(rgb)); }

Vec3 opponentToXyz(Vec3 o) { return transformed(kFromOpponent, o); }

const std::array<std::vector<GaussianTerm>, 3>& opponentFilters() { return kChannelFilters; }

LinearImage cpcCanvasOfLines(Byte cpcMode, std::span<const Byte> penOfPixel, std::span<const Byte> penColoursOfLines,
                             std::size_t pensPerLine, ScreenFormat screen) {
    const int canvasW = screen == ScreenFormat::Overscan ? 768 : 640;
    const int canvasH = 2 * pictureHeight(screen);
    const int gridWidth = pictureWidth(cpcMode, screen);
    const int stretch = canvasW / gridWidth;
    LinearImage canvas{canvasW, canvasH, std::vector<float>(3 * at(canvasW * canvasH))};
    std::array<Vec3, 27> display{};
    for (Byte n = 0; n < 27; ++n) display[n] = cpcLinearColour(n);
    for (int y = 0; y < canvasH; ++y) {
        const std::span<const Byte> penColours =
            penColoursOfLines.size() >= (at(y / 2) + 1) * pensPerLine
                ? penColoursOfLines.subspan(at(y / 2) * pensPerLine, pensPerLine)
                : penColoursOfLines.first(std::min(pensPerLine, penColoursOfLines.size()));
        for (int x = 0; x < canvasW; ++x) {
            const std::size_t cell = at((y / 2) * gridWidth + x / stretch);
            const Byte pen = cell < penOfPixel.size() ? penOfPixel[cell] : Byte{0};
            const Byte colour = pen < penColours.size() ? penColours[pen] : Byte{0};
            const Vec3 c = display[colour < 27 ? colour : 0];  // a pen without colour shows black
            float* out = canvas.pixel(x, y);
            out[0] = c.x;
            out[1] = c.y;
            out[2] = c.z;
        }
    }
    return canvas;
}

LinearImage cpcCanvas(Byte cpcMode, std::span<const Byte> penOfPixel, std::span<const Byte> penColours,
                      ScreenFormat screen) {
    return cpcCanvasOfLines(cpcMode, penOfPixel, penColours, penColours.size(), screen);
}

ScielabReference::ScielabReference(const LinearImage& reference, double pixelsPerDegree, int sampleStep)
    : width_(reference.width),
      height_(reference.height),
      pixelsPerDegree_(pixelsPerDegree),
      sampleStep_(std::max(1, sampleStep)) {
    lab_ = filteredLab(reference, pixelsPerDegree_, sampleStep_, true);
}

std::vector<float> ScielabReference::filteredLab(const LinearImage& result, double pixelsPerDegree, int sampleStep,
                                                 bool inParallel) {
    if (result.pixelCount() == 0) return {};
    return labOf(filtered(opponentPlanes(result), pixelsPerDegree, std::max(1, sampleStep), inParallel), inParallel);
}

namespace {

// Calls compare(i) for every compared pixel i, in kParts runs of pixels side by side.
constexpr std::size_t kComparedParts = 4;
template <typename Compare>
void forEachComparedPixel(std::size_t pixels, Compare compare) {
    forEachInParallel(kComparedParts, [&](std::size_t part) {
        const std::size_t end = pixels * (part + 1) / kComparedParts;
        for (std::size_t i = pixels * part / kComparedParts; i < end; ++i) compare(part, i);
    });
}

}  // namespace

double ScielabReference::difference(std::span<const float> filteredResult) const {
    if (filteredResult.size() != lab_.size() || lab_.empty()) return 0;
    const std::size_t pixels = lab_.size() / 3;
    std::array<double, kComparedParts> totals{};
    forEachComparedPixel(pixels, [&](std::size_t part, std::size_t i) {
        totals[part] += ciede2000({lab_[3 * i], lab_[3 * i + 1], lab_[3 * i + 2]},
                                  {filteredResult[3 * i], filteredResult[3 * i + 1], filteredResult[3 * i + 2]});
    });
    double total = 0;
    for (const double t : totals) total += t;
    return total / static_cast<double>(pixels);
}

double ScielabReference::difference(const LinearImage& result) const {
    if (result.width != width_ || result.height != height_ || lab_.empty()) return 0;
    return difference(filteredLab(result, pixelsPerDegree_, sampleStep_, true));
}

std::vector<float> ScielabReference::differences(std::span<const float> filteredResult) const {
    std::vector<float> result;
    if (filteredResult.size() != lab_.size()) return result;
    result.resize(lab_.size() / 3);
    forEachComparedPixel(result.size(), [&](std::size_t, std::size_t i) {
        result[i] = static_cast<float>(
            ciede2000({lab_[3 * i], lab_[3 * i + 1], lab_[3 * i + 2]},
                      {filteredResult[3 * i], filteredResult[3 * i + 1], filteredResult[3 * i + 2]}));
    });
    return result;
}

std::array<std::vector<float>, 3> ScielabReference::gradient(const LinearImage& result) const {
    std::array<std::vector<float>, 3> slope;
    if (result.width != width_ || result.height != height_ || lab_.empty()) return slope;
    const std::array<Plane, 3> planes = filtered(opponentPlanes(result), pixelsPerDegree_, sampleStep_, true);
    // Each compared pixel's share of the mean, differentiated by central differences in
    // each channel, placed where it was compared; then the filters again (they are
    // symmetric, so they carry the slope back from the filtered planes to the canvas).
    std::array<Plane, 3> share;
    for (Plane& plane : share) plane = {width_, height_, std::vector<float>(result.pixelCount())};
    const double pixels = static_cast<double>(lab_.size()) / 3.0;
    constexpr double kStep = 1e-3;
    const int rows = planes[0].height;  // the compared pixels, each way
    const int columns = planes[0].width;
    constexpr int kParts = 4;
    forEachInParallel(kParts, [&](std::size_t part) {
        for (int row = rows * static_cast<int>(part) / kParts; row < rows * (static_cast<int>(part) + 1) / kParts;
             ++row) {
            std::size_t k = 3 * static_cast<std::size_t>(row) * static_cast<std::size_t>(columns);
            for (int column = 0; column < columns; ++column, k += 3) {
                const Lab reference{lab_[k], lab_[k + 1], lab_[k + 2]};
                for (std::size_t c = 0; c < 3; ++c) {
                    double o[3] = {planes[0].row(row)[column], planes[1].row(row)[column], planes[2].row(row)[column]};
                    o[c] += kStep;
                    const double up = ciede2000(reference, labOfOpponent(o));
                    o[c] -= 2 * kStep;
                    const double down = ciede2000(reference, labOfOpponent(o));
                    share[c].row(row * sampleStep_)[column * sampleStep_] =
                        static_cast<float>((up - down) / (2 * kStep * pixels));
                }
            }
        }
    });
    std::array<Plane, 3> back = filtered(share, pixelsPerDegree_, 1, true);
    for (std::size_t c = 0; c < 3; ++c) slope[c] = std::move(back[c].values);
    return slope;
}

double scielabDifference(const LinearImage& reference, const LinearImage& result) {
    return ScielabReference(reference).difference(result);
}

}  // namespace varnoke
