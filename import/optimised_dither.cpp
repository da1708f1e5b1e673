#include "import/optimised_dither.h"

#include "import/colour_science.h"
#include "import/parallel_work.h"
#include "import/quality_measure.h"

#include <algorithm>
#include <cmath>

namespace varnoke {

namespace {

constexpr double kPixelsPerDegree = 32.0;  // the measure's 640 × 400 canvas
constexpr int kCanvasRows = 2;             // canvas rows of one grid row
// The kernels are cut where they fall below this share of their centre.
constexpr float kKernelCut = 5e-3f;

std::size_t at(int i) { return static_cast<std::size_t>(i); }

// Canvas columns of one grid pixel: 4 in mode 0, 2 in mode 1, 1 in mode 2.
int canvasColumns(Byte cpcMode) { return 4 >> std::min<int>(cpcMode, 2); }

// One term of a channel's filter along one axis, for a grid pixel `block` canvas pixels
// long: the Gaussian summed over the block, at canvas offsets -reach..reach + block - 1.
std::vector<double> blockGaussian(double sigma, int block, int& reach) {
    reach = static_cast<int>(std::ceil(4.0 * sigma));
    std::vector<double> g(at(2 * reach + 1));
    double sum = 0;
    for (int d = -reach; d <= reach; ++d) sum += g[at(d + reach)] = std::exp(-0.5 * d * d / (sigma * sigma));
    std::vector<double> b(at(2 * reach + block));
    for (std::size_t i = 0; i < g.size(); ++i)
        for (int u = 0; u < block; ++u) b[i + at(u)] += g[i] / sum;
    return b;
}

// The correlation of two block Gaussians at a canvas offset (both start at -reach).
double correlation(const std::vector<double>& a, int reachA, const std::vector<double>& b, int reachB, int offset) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int x = static_cast<int>(i) - reachA;
        const int j = x - offset + reachB;
        if (j >= 0 && j < static_cast<int>(b.size())) sum += a[i] * b[at(j)];
    }
    return sum;
}

// How far CIEDE2000 moves for one unit of each opponent channel, near a colour given by
// its opponent values.
std::array<float, 3> channelScales(Vec3 opponent) {
    const Lab base = xyzToLab(opponentToXyz(opponent));
    std::array<float, 3> scales{};
    constexpr float kStep = 2e-3f;
    for (std::size_t c = 0; c < 3; ++c) {
        Vec3 moved = opponent;
        (c == 0 ? moved.x : c == 1 ? moved.y : moved.z) += kStep;
        scales[c] = static_cast<float>(ciede2000(base, xyzToLab(opponentToXyz(moved))) / kStep);
    }
    return scales;
}

std::array<float, 3> opponentOf(Vec3 linear) {
    const Vec3 o = linearToOpponent(linear);
    return {o.x, o.y, o.z};
}

// The autocorrelation of a channel's filtered grid pixel on the canvas, at grid offsets,
// as a sum of separable terms (one per pair of the filter's Gaussians), cut to the
// rectangle outside which every value is below kKernelCut of the centre.
DitherKernel channelKernel(std::size_t channel, Byte cpcMode) {
    struct Axis {
        std::vector<double> values;
        int reach;
    };
    std::vector<std::pair<double, std::array<Axis, 2>>> gaussians;  // weight, along x and y
    for (const GaussianTerm& term : opponentFilters()[channel]) {
        if (term.spreadDegrees > 1.0) continue;  // the 7-degree term: see the header
        const double sigma = term.spreadDegrees * kPixelsPerDegree;
        std::array<Axis, 2> axes;
        axes[0].values = blockGaussian(sigma, canvasColumns(cpcMode), axes[0].reach);
        axes[1].values = blockGaussian(sigma, kCanvasRows, axes[1].reach);
        gaussians.emplace_back(term.weight, std::move(axes));
    }
    int longest = 0;
    for (const auto& g : gaussians) longest = std::max(longest, g.second[0].reach);
    const int maxX = (2 * longest + canvasColumns(cpcMode)) / canvasColumns(cpcMode) + 1;
    const int maxY = (2 * longest + kCanvasRows) / kCanvasRows + 1;
    std::vector<std::pair<std::vector<float>, std::vector<float>>> full;
    for (const auto& [wa, a] : gaussians) {
        for (const auto& [wb, b] : gaussians) {
            std::pair<std::vector<float>, std::vector<float>> term;
            for (int d = -maxX; d <= maxX; ++d)
                term.first.push_back(static_cast<float>(
                    wa * wb *
                    correlation(a[0].values, a[0].reach, b[0].values, b[0].reach, d * canvasColumns(cpcMode))));
            for (int d = -maxY; d <= maxY; ++d)
                term.second.push_back(
                    static_cast<float>(correlation(a[1].values, a[1].reach, b[1].values, b[1].reach, d * kCanvasRows)));
            full.push_back(std::move(term));
        }
    }
    auto value = [&](int dx, int dy) {
        float v = 0;
        for (const auto& [tx, ty] : full) v += tx[at(dx + maxX)] * ty[at(dy + maxY)];
        return v;
    };
    const float cut = kKernelCut * value(0, 0);
    DitherKernel kernel;
    for (int dy = -maxY; dy <= maxY; ++dy) {
        for (int dx = -maxX; dx <= maxX; ++dx) {
            if (std::abs(value(dx, dy)) < cut) continue;
            kernel.reachX = std::max(kernel.reachX, std::abs(dx));
            kernel.reachY = std::max(kernel.reachY, std::abs(dy));
        }
    }
    for (auto& [tx, ty] : full) {
        tx = std::vector<float>(tx.begin() + (maxX - kernel.reachX), tx.end() - (maxX - kernel.reachX));
        ty = std::vector<float>(ty.begin() + (maxY - kernel.reachY), ty.end() - (maxY - kernel.reachY));
    }
    kernel.terms = std::move(full);
    kernel.values.assign(at((2 * kernel.reachX + 1) * (2 * kernel.reachY + 1)), 0.0f);
    for (const auto& [tx, ty] : kernel.terms)
        for (int dy = -kernel.reachY; dy <= kernel.reachY; ++dy)
            for (int dx = -kernel.reachX; dx <= kernel.reachX; ++dx)
                kernel.values[at((dy + kernel.reachY) * (2 * kernel.reachX + 1) + dx + kernel.reachX)] +=
                    tx[at(dx + kernel.reachX)] * ty[at(dy + kernel.reachY)];
    return kernel;
}

// The CPC colour, none of `taken`, that a pen now showing `now` would lower the cost most
// by showing, and that change: a change by delta changes the cost by
// 2 delta · error + delta² · self, summed over the channels. -1 where none lowers it by
// more than the tolerance.
std::pair<int, double> bestRecolouring(std::span<const Byte> taken, const std::array<float, 3>& now,
                                       const std::array<double, 3>& error, const std::array<double, 3>& self,
                                       double tolerance) {
    double best = -tolerance;
    int bestColour = -1;
    for (Byte colour = 0; colour < 27; ++colour) {
        if (std::find(taken.begin(), taken.end(), colour) != taken.end()) continue;
        const std::array<float, 3> o = opponentOf(cpcLinearColour(colour));
        double cost = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            const double delta = o[c] - now[c];
            cost += delta * (2.0 * error[c] + delta * self[c]);
        }
        if (cost < best) {
            best = cost;
            bestColour = colour;
        }
    }
    return {bestColour, best};
}

// out(p) = sum over offsets d of kernel(d) × in(p - d), zero outside the grid.
std::vector<float> convolve(const DitherKernel& kernel, const std::vector<float>& in, int width, int height) {
    std::vector<float> out(in.size());
    std::vector<float> across(in.size());
    for (const auto& [termX, termY] : kernel.terms) {
        std::fill(across.begin(), across.end(), 0.0f);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                float sum = 0;
                for (int d = std::max(-kernel.reachX, x - width + 1); d <= std::min(kernel.reachX, x); ++d)
                    sum += termX[at(d + kernel.reachX)] * in[at(y * width + x - d)];
                across[at(y * width + x)] = sum;
            }
        }
        for (int y = 0; y < height; ++y) {
            for (int d = std::max(-kernel.reachY, y - height + 1); d <= std::min(kernel.reachY, y); ++d) {
                const float tap = termY[at(d + kernel.reachY)];
                const float* source = across.data() + at((y - d) * width);
                float* target = out.data() + at(y * width);
                for (int x = 0; x < width; ++x) target[x] += tap * source[x];
            }
        }
    }
    return out;
}

}  // namespace

DitherSearch::DitherSearch(const GridPicture& picture, std::span<const Byte> penColours, std::vector<Byte> penOfPixel,
                           const DitherWeighting& weighting, std::size_t pensPerLine)
    : width_(picture.image.width), height_(picture.image.height), stride_(pensPerLine), pens_(std::move(penOfPixel)) {
    for (std::size_t c = 0; c < 3; ++c) kernels_[c] = channelKernel(c, picture.cpcMode);
    const std::size_t count = picture.image.pixelCount();
    fixed_.assign(count, false);
    if (!picture.border.empty()) fixed_ = picture.border;
    target_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const float* p = picture.image.rgb.data() + 3 * i;
        target_[i] =
            opponentOf({std::clamp(p[0], 0.0f, 1.0f), std::clamp(p[1], 0.0f, 1.0f), std::clamp(p[2], 0.0f, 1.0f)});
    }
    setColours(penColours);
    // The weights: CIEDE2000's sensitivity where the eye sees the result, at the mean colour
    // of the weighting result's 5 × 5 grid pixels around each pixel (linearised there
    // rather than at the picture's colour, which a mode with few pens may be far from).
    std::vector<std::array<float, 3>> weightPen;
    for (const Byte colour : weighting.penColours) weightPen.push_back(opponentOf(cpcLinearColour(colour)));
    sensitivity_.resize(count);
    forEachInParallel(4, [&](std::size_t part) {
        for (std::size_t i = part * count / 4; i < (part + 1) * count / 4; ++i) {
            const int x = static_cast<int>(i % at(width_)), y = static_cast<int>(i / at(width_));
            std::array<float, 3> sum{};
            float n = 0;
            for (int oy = std::max(0, y - 2); oy <= std::min(height_ - 1, y + 2); ++oy)
                for (int ox = std::max(0, x - 2); ox <= std::min(width_ - 1, x + 2); ++ox) {
                    const std::size_t j = at(oy * width_ + ox);
                    const std::array<float, 3>& o =
                        weighting.penOfPixel.empty()
                            ? shown(j, pens_[j])
                            : weightPen[stride_ == 0 ? weighting.penOfPixel[j]
                                                     : at(oy) * stride_ + weighting.penOfPixel[j]];
                    for (std::size_t c = 0; c < 3; ++c) sum[c] += o[c];
                    n += 1;
                }
            sensitivity_[i] = channelScales({sum[0] / n, sum[1] / n, sum[2] / n});
        }
    });
    std::vector<Byte> pens = std::move(pens_);
    reweigh(penColours, std::move(pens), weighting.emphasis, weighting.slope);
}

void DitherSearch::reweigh(std::span<const Byte> penColours, std::vector<Byte> penOfPixel,
                           std::span<const float> emphasis, std::span<const std::array<float, 3>> slope) {
    const std::size_t count = sensitivity_.size();
    setColours(penColours);
    pens_ = std::move(penOfPixel);
    scale_ = sensitivity_;
    if (emphasis.size() == count)
        for (std::size_t i = 0; i < count; ++i)
            for (float& s : scale_[i]) s *= std::sqrt(emphasis[i]);
    // The filtered error by separable filtering, then the cost: the sum of each pixel's
    // error times its filtered error.
    filtered_.assign(count, {});
    forEachInParallel(3, [&](std::size_t c) {
        std::vector<float> error(count);
        for (std::size_t i = 0; i < count; ++i) error[i] = scale_[i][c] * (shown(i, pens_[i])[c] - target_[i][c]);
        const std::vector<float> out = convolve(kernels_[c], error, width_, height_);
        for (std::size_t i = 0; i < count; ++i) filtered_[i][c] = out[i];
    });
    cost_ = 0;
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t c = 0; c < 3; ++c)
            cost_ += static_cast<double>(scale_[i][c] * (shown(i, pens_[i])[c] - target_[i][c])) * filtered_[i][c];
    // A slope given: the cost gains a linear term 2 offset · weighted error, so that its
    // slope (2 × weight × kept error, by pixel and channel) is the one given.
    offset_.clear();
    if (slope.size() == count) {
        offset_.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t c = 0; c < 3; ++c) {
                offset_[i][c] = slope[i][c] / (2.0f * scale_[i][c]) - filtered_[i][c];
                filtered_[i][c] += offset_[i][c];
                cost_ += 2.0 * scale_[i][c] * (shown(i, pens_[i])[c] - target_[i][c]) * offset_[i][c];
            }
    }
}

void DitherSearch::setColours(std::span<const Byte> colours) {
    colours_.assign(colours.begin(), colours.end());
    pen_.clear();
    for (const Byte colour : colours_) pen_.push_back(opponentOf(cpcLinearColour(colour < 27 ? colour : Byte{0})));
}

double DitherSearch::costFromScratch() const {
    // Every pair of pixels within the kernels' reach: the error of one times the kernel
    // at their offset times the error of the other.
    double total = 0;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const std::size_t i = at(y * width_ + x);
            for (std::size_t c = 0; c < 3; ++c) {
                const DitherKernel& k = kernels_[c];
                const double e = scale_[i][c] * (shown(i, pens_[i])[c] - target_[i][c]);
                double sum = 0;
                for (int oy = std::max(0, y - k.reachY); oy <= std::min(height_ - 1, y + k.reachY); ++oy)
                    for (int ox = std::max(0, x - k.reachX); ox <= std::min(width_ - 1, x + k.reachX); ++ox) {
                        const std::size_t j = at(oy * width_ + ox);
                        sum += k.at(x - ox, y - oy) * scale_[j][c] * (shown(j, pens_[j])[c] - target_[j][c]);
                    }
                total += e * (sum + (offset_.empty() ? 0.0 : 2.0 * offset_[i][c]));
            }
        }
    }
    return total;
}

double DitherSearch::costOfChange(std::size_t pixel, Byte pen) const {
    double change = 0;
    const std::array<float, 3>&now = shown(pixel, pens_[pixel]), &then = shown(pixel, pen);
    for (std::size_t c = 0; c < 3; ++c) {
        const double delta = scale_[pixel][c] * (then[c] - now[c]);
        change += delta * (2.0 * filtered_[pixel][c] + delta * kernels_[c].at(0, 0));
    }
    return change;
}

double DitherSearch::swapCost(std::size_t first, std::size_t second) const {
    const int dx = static_cast<int>(second % at(width_)) - static_cast<int>(first % at(width_));
    const int dy = static_cast<int>(second / at(width_)) - static_cast<int>(first / at(width_));
    double change = 0;
    // Each pixel takes the other's pen, shown in its own line's colour of that pen.
    const Byte firstPen = pens_[first], secondPen = pens_[second];
    for (std::size_t c = 0; c < 3; ++c) {
        const double a = scale_[first][c] * (shown(first, secondPen)[c] - shown(first, firstPen)[c]);
        const double b = scale_[second][c] * (shown(second, firstPen)[c] - shown(second, secondPen)[c]);
        const DitherKernel& k = kernels_[c];
        change += 2.0 * (a * filtered_[first][c] + b * filtered_[second][c]) + (a * a + b * b) * k.at(0, 0) +
                  2.0 * a * b * k.at(dx, dy);
    }
    return change;
}

void DitherSearch::addError(std::size_t pixel, const std::array<float, 3>& delta) {
    const int x = static_cast<int>(pixel % at(width_));
    const int y = static_cast<int>(pixel / at(width_));
    for (std::size_t c = 0; c < 3; ++c) {
        if (delta[c] == 0) continue;
        const DitherKernel& k = kernels_[c];
        const int x0 = std::max(0, x - k.reachX), x1 = std::min(width_ - 1, x + k.reachX);
        for (int oy = std::max(0, y - k.reachY); oy <= std::min(height_ - 1, y + k.reachY); ++oy) {
            const float* row = k.values.data() + at((oy - y + k.reachY) * (2 * k.reachX + 1) + x0 - x + k.reachX);
            std::array<float, 3>* out = filtered_.data() + at(oy * width_ + x0);
            for (int ox = 0; ox <= x1 - x0; ++ox) out[ox][c] += delta[c] * row[ox];
        }
    }
}

void DitherSearch::change(std::size_t pixel, Byte pen) {
    if (pens_[pixel] == pen) return;
    cost_ += costOfChange(pixel, pen);
    std::array<float, 3> delta{};
    for (std::size_t c = 0; c < 3; ++c)
        delta[c] = scale_[pixel][c] * (shown(pixel, pen)[c] - shown(pixel, pens_[pixel])[c]);
    pens_[pixel] = pen;
    addError(pixel, delta);
}

std::size_t DitherSearch::sweep(const std::function<bool()>& stop) {
    const double tolerance = 1e-6 * (kernels_[0].at(0, 0) + kernels_[1].at(0, 0) + kernels_[2].at(0, 0));
    const auto penCount = static_cast<Byte>(stride_ == 0 ? colours_.size() : stride_);
    std::size_t changes = 0;
    for (int y = 0; y < height_; ++y) {
        if (stop && stop()) return changes;
        for (int x = 0; x < width_; ++x) {
            const std::size_t i = at(y * width_ + x);
            if (fixed_[i]) continue;
            double best = -tolerance;
            int bestPen = -1;
            std::size_t bestNeighbour = i;
            for (Byte pen = 0; pen < penCount; ++pen) {
                if (pen == pens_[i]) continue;
                const double c = costOfChange(i, pen);
                if (c < best) {
                    best = c;
                    bestPen = pen;
                }
            }
            for (int ny = std::max(0, y - 1); ny <= std::min(height_ - 1, y + 1); ++ny) {
                for (int nx = std::max(0, x - 1); nx <= std::min(width_ - 1, x + 1); ++nx) {
                    const std::size_t j = at(ny * width_ + nx);
                    if (fixed_[j] || pens_[j] == pens_[i]) continue;
                    const double c = swapCost(i, j);
                    if (c < best) {
                        best = c;
                        bestPen = -1;
                        bestNeighbour = j;
                    }
                }
            }
            if (bestPen >= 0) {
                change(i, static_cast<Byte>(bestPen));
                ++changes;
            } else if (bestNeighbour != i) {
                const Byte mine = pens_[i];
                change(i, pens_[bestNeighbour]);
                change(bestNeighbour, mine);
                ++changes;
            }
        }
    }
    return changes;
}

bool DitherSearch::recolourPens(std::span<const Byte> keep, const std::function<bool()>& stop) {
    const double tolerance = 1e-6 * (kernels_[0].at(0, 0) + kernels_[1].at(0, 0) + kernels_[2].at(0, 0));
    const std::size_t count = pens_.size();
    std::vector<bool> locked(colours_.size());
    for (std::size_t i = 0; i < count; ++i)
        if (fixed_[i]) locked[pens_[i]] = true;  // the border keeps the darkest pen
    for (std::size_t pen = 0; pen < colours_.size(); ++pen)
        if (std::find(keep.begin(), keep.end(), colours_[pen]) != keep.end()) locked[pen] = true;
    bool changed = false;
    for (std::size_t pen = 0; pen < colours_.size(); ++pen) {
        if (locked[pen]) continue;
        if (stop && stop()) break;
        // The kernel's reach of every pixel of the pen (each channel), its sum over them, and
        // the filtered error's sum over them: a colour change by delta changes the cost by
        // 2 delta · error + delta² · reach.
        if (std::find(pens_.begin(), pens_.end(), pen) == pens_.end()) continue;
        std::array<std::vector<float>, 3> reach;
        std::array<double, 3> self{}, error{};
        forEachInParallel(3, [&](std::size_t c) {
            std::vector<float> scaled(count);
            for (std::size_t i = 0; i < count; ++i) scaled[i] = pens_[i] == pen ? scale_[i][c] : 0.0f;
            reach[c] = convolve(kernels_[c], scaled, width_, height_);
            for (std::size_t i = 0; i < count; ++i) {
                self[c] += static_cast<double>(scaled[i]) * reach[c][i];
                error[c] += static_cast<double>(scaled[i]) * filtered_[i][c];
            }
        });
        const auto [bestColour, best] = bestRecolouring(colours_, pen_[pen], error, self, tolerance);
        if (bestColour < 0) continue;
        const std::array<float, 3> o = opponentOf(cpcLinearColour(static_cast<Byte>(bestColour)));
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t c = 0; c < 3; ++c) filtered_[i][c] += (o[c] - pen_[pen][c]) * reach[c][i];
        cost_ += best;
        colours_[pen] = static_cast<Byte>(bestColour);
        pen_[pen] = o;
        changed = true;
    }
    return changed;
}

int DitherSearch::mostHelpfulNewColour() const {
    if (stride_ != 0) return -1;
    std::array<double, 27> gain{};
    std::vector<std::array<float, 3>> candidates(27);
    for (Byte colour = 0; colour < 27; ++colour) candidates[colour] = opponentOf(cpcLinearColour(colour));
    for (std::size_t i = 0; i < pens_.size(); ++i) {
        if (fixed_[i]) continue;
        const std::array<float, 3>& now = pen_[pens_[i]];
        for (Byte colour = 0; colour < 27; ++colour) {
            double change = 0;
            for (std::size_t c = 0; c < 3; ++c) {
                const double delta = scale_[i][c] * (candidates[colour][c] - now[c]);
                change += delta * (2.0 * filtered_[i][c] + delta * kernels_[c].at(0, 0));
            }
            if (change < 0) gain[colour] += change;
        }
    }
    int best = -1;
    double most = 0;
    for (Byte colour = 0; colour < 27; ++colour) {
        if (std::find(colours_.begin(), colours_.end(), colour) != colours_.end()) continue;
        if (gain[colour] < most) {
            most = gain[colour];
            best = colour;
        }
    }
    return best;
}

void DitherSearch::addPen(Byte colour) {
    colours_.push_back(colour);
    pen_.push_back(opponentOf(cpcLinearColour(colour)));
}

void DitherSearch::addLineError(int y, std::size_t channel, std::span<const float> delta) {
    // The kernel's reach of the line's change, term by term: along the line, then down.
    const DitherKernel& k = kernels_[channel];
    std::vector<float> across(at(width_));
    for (const auto& [termX, termY] : k.terms) {
        for (int x = 0; x < width_; ++x) {
            float sum = 0;
            for (int d = std::max(-k.reachX, x - width_ + 1); d <= std::min(k.reachX, x); ++d)
                sum += termX[at(d + k.reachX)] * delta[at(x - d)];
            across[at(x)] = sum;
        }
        for (int oy = std::max(0, y - k.reachY); oy <= std::min(height_ - 1, y + k.reachY); ++oy) {
            const float tap = termY[at(oy - y + k.reachY)];
            std::array<float, 3>* out = filtered_.data() + at(oy * width_);
            for (int x = 0; x < width_; ++x) out[x][channel] += tap * across[at(x)];
        }
    }
}

bool DitherSearch::recolourLine(int y, std::span<const Byte> pens) {
    const double tolerance = 1e-6 * (kernels_[0].at(0, 0) + kernels_[1].at(0, 0) + kernels_[2].at(0, 0));
    const std::size_t first = at(y * width_);
    Byte* colours = colours_.data() + at(y) * stride_;
    std::array<float, 3>* values = pen_.data() + at(y) * stride_;
    bool changed = false;
    std::vector<float> scaled(at(width_));
    for (const Byte pen : pens) {
        // The pen's pixels on the line: a colour change by delta changes the cost by
        // 2 delta · error + delta² · self, summed over the channels.
        std::vector<int> xs;
        for (int x = 0; x < width_; ++x)
            if (pens_[first + at(x)] == pen && !fixed_[first + at(x)]) xs.push_back(x);
        if (xs.empty()) continue;
        std::array<double, 3> self{}, error{};
        for (std::size_t c = 0; c < 3; ++c) {
            const DitherKernel& k = kernels_[c];
            for (const int x : xs) {
                const std::size_t i = first + at(x);
                error[c] += static_cast<double>(scale_[i][c]) * filtered_[i][c];
                for (const int other : xs)
                    if (std::abs(other - x) <= k.reachX)
                        self[c] +=
                            static_cast<double>(scale_[i][c]) * scale_[first + at(other)][c] * k.at(other - x, 0);
            }
        }
        const auto [bestColour, best] =
            bestRecolouring(std::span<const Byte>(colours, stride_), values[pen], error, self, tolerance);
        if (bestColour < 0) continue;
        const std::array<float, 3> o = opponentOf(cpcLinearColour(static_cast<Byte>(bestColour)));
        for (std::size_t c = 0; c < 3; ++c) {
            std::fill(scaled.begin(), scaled.end(), 0.0f);
            for (const int x : xs) scaled[at(x)] = scale_[first + at(x)][c] * (o[c] - values[pen][c]);
            addLineError(y, c, scaled);
        }
        cost_ += best;
        colours[pen] = static_cast<Byte>(bestColour);
        values[pen] = o;
        changed = true;
    }
    return changed;
}

std::chrono::milliseconds defaultOptimiseBudget(Byte cpcMode) {
    return std::chrono::milliseconds(cpcMode == 0 ? 1500 : 3200);
}

int linePenSweeps(Byte cpcMode) { return cpcMode >= 2 ? 8 : 16; }

namespace {

// The picture and a result on the canvas of the measure: each grid pixel as the CPC
// shows it (4, 2 or 1 canvas columns by 2 rows).
LinearImage onCanvas(const GridPicture& picture, std::span<const Byte> penOfPixel, std::span<const Byte> penColours,
                     std::size_t pensPerLine) {
    const int columns = canvasColumns(picture.cpcMode);
    const int width = picture.image.width * columns;
    const int height = picture.image.height * kCanvasRows;
    LinearImage canvas{width, height, std::vector<float>(3 * at(width) * at(height))};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t cell = at((y / kCanvasRows) * picture.image.width + x / columns);
            float* out = canvas.pixel(x, y);
            if (penOfPixel.empty()) {
                std::copy_n(picture.image.rgb.data() + 3 * cell, 3, out);
                continue;
            }
            const Vec3 c = cpcLinearColour(penColours[at(y / kCanvasRows) * pensPerLine + penOfPixel[cell]]);
            out[0] = c.x;
            out[1] = c.y;
            out[2] = c.z;
        }
    }
    return canvas;
}

// The pens' colours chosen again: the whole picture's, or each line's colours of the line
// pens. Returns whether a colour changed.
bool recolour(DitherSearch& search, int height, const OptimiseOptions& options, const std::function<bool()>& stop) {
    if (options.pensPerLine == 0) return search.recolourPens(options.fixedColours, stop);
    bool recoloured = false;
    for (int y = 0; y < height && !stop(); ++y) recoloured = search.recolourLine(y, options.linePens) || recoloured;
    return recoloured;
}

// The factor on each grid pixel's weights in a round of the search: the inverse of the
// measure's CIEDE2000 there (of its compared filtered pixels, the nearest), averaged over
// the 5 × 5 grid pixels around. A squared error divided by the difference it makes is
// that difference again: weighted so, the search's quadratic cost follows the sum of
// CIEDE2000 near the result it was weighted at, instead of trading a little error where
// the result is close for much less where it is far (which the squared error prefers and
// the mean does not). It is the curvature of the measure there, or more (the measure's
// square root bends less along the error than across it), so that steps taken by it
// do not overshoot.
std::vector<float> inverseDifference(const GridPicture& picture, std::span<const float> difference, int step) {
    const int columns = canvasColumns(picture.cpcMode);
    const int samplesX = (picture.image.width * columns + step - 1) / step;
    const int samplesY = static_cast<int>(difference.size() / at(samplesX));
    const int width = picture.image.width, height = picture.image.height;
    const std::size_t count = picture.image.pixelCount();
    double mean = 0;
    for (const float d : difference) mean += d;
    mean /= static_cast<double>(std::max<std::size_t>(1, difference.size()));
    // Below a tenth of the mean, a pixel counts as close as it can be.
    const auto floor = static_cast<float>(std::max(0.1 * mean, 1e-3));
    std::vector<float> inverse(count);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int sx = std::min(samplesX - 1, (x * columns + columns / 2) / step);
            const int sy = std::min(samplesY - 1, (kCanvasRows * y + 1) / step);
            inverse[at(y * width + x)] = 1.0f / std::max(floor, difference[at(sy * samplesX + sx)]);
        }
    std::vector<float> weight(count);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float sum = 0;
            int n = 0;
            for (int oy = std::max(0, y - 2); oy <= std::min(height - 1, y + 2); ++oy)
                for (int ox = std::max(0, x - 2); ox <= std::min(width - 1, x + 2); ++ox, ++n)
                    sum += inverse[at(oy * width + ox)];
            weight[at(y * width + x)] = sum / static_cast<float>(n);
        }
    return weight;
}

// The measure's slope by grid pixel: the canvas's slope summed over each grid pixel's
// block, in the search's cost units (the cost is the measure's change times twice the
// canvas's pixels, with weights of 1 / CIEDE2000: see DitherSearch).
std::vector<std::array<float, 3>> gridSlope(const GridPicture& picture,
                                            const std::array<std::vector<float>, 3>& canvas) {
    const int columns = canvasColumns(picture.cpcMode);
    const int width = picture.image.width, height = picture.image.height;
    const int canvasWidth = width * columns;
    const auto pixels = static_cast<float>(canvasWidth * height * kCanvasRows);
    std::vector<std::array<float, 3>> slope(picture.image.pixelCount());
    if (canvas[0].size() != at(canvasWidth * height * kCanvasRows)) return {};
    for (int y = 0; y < height * kCanvasRows; ++y)
        for (int x = 0; x < canvasWidth; ++x)
            for (std::size_t c = 0; c < 3; ++c)
                slope[at(y / kCanvasRows * width + x / columns)][c] +=
                    2.0f * pixels * canvas[c][at(y * canvasWidth + x)];
    return slope;
}

constexpr int kSampleStep = 2;  // the measure compares every other filtered pixel each way

// The best result so far, with its filtered canvas and its measure.
class MeasuredBest {
public:
    MeasuredBest(const GridPicture& picture, std::span<const Byte> penColours, std::vector<Byte> start,
                 std::size_t pensPerLine)
        : picture_(picture),
          pensPerLine_(pensPerLine),
          reference_(onCanvas(picture, {}, {}, 0), kPixelsPerDegree, kSampleStep),
          result_{std::vector<Byte>(penColours.begin(), penColours.end()), std::move(start)},
          lab_(filtered(result_.penOfPixel, result_.penColours)),
          measure_(reference_.difference(lab_)) {}

    // Takes the search's result when the measure finds it closer (or when `always`): all
    // of it, or, when the measure does not find the whole closer, the areas of the canvas
    // where it does (the others are put back in the search as they were) if that is
    // closer. A sweep that went too far in some places is not lost in the others.
    enum class Taken { Whole, InPart, No };
    Taken offer(DitherSearch& search, bool always, bool inPart) {
        std::vector<float> lab = filtered(search.penOfPixel(), search.penColours());
        double measured = reference_.difference(lab);
        Taken taken = Taken::Whole;
        if (!always && measured >= measure_) {
            if (!inPart || search.penColours() != result_.penColours || !putBackFurtherAreas(search, lab))
                return Taken::No;
            lab = filtered(search.penOfPixel(), search.penColours());
            measured = reference_.difference(lab);
            if (measured >= measure_) return Taken::No;
            taken = Taken::InPart;
        }
        result_ = {search.penColours(), search.penOfPixel()};
        lab_ = std::move(lab);
        differences_.clear();
        measure_ = measured;
        return taken;
    }

    // The factors on the weights (see inverseDifference) and the measure's slope there.
    std::vector<float> inverse() const { return inverseDifference(picture_, differences(), kSampleStep); }
    std::vector<std::array<float, 3>> slope() const {
        return gridSlope(picture_,
                         reference_.gradient(onCanvas(picture_, result_.penOfPixel, result_.penColours, pensPerLine_)));
    }

    const OptimisedDither& result() const { return result_; }
    double measure() const { return measure_; }

private:
    // The best result's CIEDE2000 at each compared pixel.
    const std::vector<float>& differences() const {
        if (differences_.empty()) differences_ = reference_.differences(lab_);
        return differences_;
    }

    // Puts back, in the search, the pixels of each area of the canvas where its result
    // (filtered as `lab`) is further from the picture than the best result. Returns
    // whether some areas were put back and others kept.
    bool putBackFurtherAreas(DitherSearch& search, std::span<const float> lab) const {
        constexpr int kArea = 32;  // canvas pixels a side
        const int columns = canvasColumns(picture_.cpcMode);
        const int width = picture_.image.width, height = picture_.image.height;
        const int samplesX = (width * columns + kSampleStep - 1) / kSampleStep;
        const int areasX = (width * columns + kArea - 1) / kArea;
        const int areasY = (height * kCanvasRows + kArea - 1) / kArea;
        const std::vector<float> now = reference_.differences(lab);
        const std::vector<float>& before = differences();
        std::vector<double> gain(at(areasX * areasY));
        for (std::size_t i = 0; i < now.size(); ++i) {
            const int sx = static_cast<int>(i) % samplesX, sy = static_cast<int>(i) / samplesX;
            gain[at(sy * kSampleStep / kArea * areasX + sx * kSampleStep / kArea)] += before[i] - now[i];
        }
        const auto closer = std::count_if(gain.begin(), gain.end(), [](double g) { return g > 0; });
        if (closer == 0 || static_cast<std::size_t>(closer) == gain.size()) return false;
        const std::vector<Byte>& was = result_.penOfPixel;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::size_t pixel = at(y * width + x);
                if (search.penOfPixel()[pixel] != was[pixel] &&
                    gain[at(y * kCanvasRows / kArea * areasX + x * columns / kArea)] <= 0)
                    search.change(pixel, was[pixel]);
            }
        return true;
    }

    std::vector<float> filtered(std::span<const Byte> penOfPixel, std::span<const Byte> penColours) const {
        return ScielabReference::filteredLab(onCanvas(picture_, penOfPixel, penColours, pensPerLine_), kPixelsPerDegree,
                                             kSampleStep, true);
    }

    const GridPicture& picture_;
    std::size_t pensPerLine_;
    ScielabReference reference_;
    OptimisedDither result_;
    std::vector<float> lab_;
    mutable std::vector<float> differences_;  // of lab_, once asked for
    double measure_ = 0;
};

struct RoundOutcome {
    int confirmed = 0;     // sweeps the measure confirmed
    bool refused = false;  // the round ended at one it did not
    bool settled = false;  // or where no change helps
};

// One round's sweeps: with the search's own cost, while the measure confirms them (one
// sweep it does not is passed over, two in a row end the round); with the measure's
// slope, at most `sweeps`, ending at the first it does not confirm. Without `confirm`,
// every sweep is kept, until no change helps. Each sweep made counts in `sweepsMade`.
RoundOutcome sweepRound(DitherSearch& search, MeasuredBest& best, bool ownCost, int sweeps, int height,
                        const OptimiseOptions& options, const std::function<bool()>& stop, const bool& late,
                        int& sweepsMade) {
    RoundOutcome outcome;
    int passedOver = 0;
    const bool confirm = options.confirmByMeasure;
    // Line pens start from colours chosen for error diffusion, further from what the search
    // settles on: its first sweeps move many pixels, and the measure may confirm only the
    // third or fourth (Storm in mode 1).
    const int patience = options.pensPerLine > 0 ? 4 : 2;
    for (int sweep = 0; ownCost || sweep < sweeps; ++sweep) {
        if (stop()) break;
        const std::size_t changes = search.sweep(stop);
        ++sweepsMade;
        // Where no change helps, the pens' colours are chosen again; where none is, the
        // search has settled.
        if (changes == 0 && (late || !recolour(search, height, options, stop))) {
            outcome.settled = true;
            break;
        }
        // A sweep taken only in part counts as refused: where the measure found it
        // further, the search's cost has gone where the measure does not follow.
        if (best.offer(search, !confirm, !ownCost) == MeasuredBest::Taken::Whole) {
            ++outcome.confirmed;
            passedOver = 0;
        } else if (!ownCost || ++passedOver == patience) {
            outcome.refused = true;
            break;
        }
    }
    return outcome;
}

// Fills the pens that the start leaves free, before the first round: each takes the colour
// that most lowers the cost where pixels take it, and a sweep follows. Pens that the error
// diffusion could not use well may serve a search that places every pixel; where the
// measure does not confirm them, the search goes on from the start's pens.
void addFreePens(DitherSearch& search, MeasuredBest& best, const OptimiseOptions& options,
                 const std::function<bool()>& stop) {
    const std::size_t given = search.penColours().size();
    while (search.penColours().size() < options.mostPens && !stop()) {
        const int colour = search.mostHelpfulNewColour();
        if (colour < 0) break;
        search.addPen(static_cast<Byte>(colour));
        search.sweep(stop);
    }
    if (search.penColours().size() == given || best.offer(search, false, false) == MeasuredBest::Taken::Whole) return;
    const OptimisedDither& from = best.result();
    search.reweigh(from.penColours, from.penOfPixel, {}, {});
}

// Tries black in the darkest pen where no pen shows it (with four pens or more; not a
// fixed colour): error diffusion seldom gains by black, whose error it carries into the
// pixels around, and the default's pens leave it out, but a search that places each pixel
// mixes it with the lighter pens into the dark tones. The start is searched for a few
// sweeps in its own pens, then again with black, and the search goes on with black if the
// measure finds that closer.
void tryBlack(DitherSearch& search, MeasuredBest& best, const OptimiseOptions& options,
              const std::function<bool()>& stop) {
    constexpr int kSweeps = 3;
    const OptimisedDither start = best.result();
    std::vector<Byte> colours = start.penColours;
    if (colours.size() < 4 || std::find(colours.begin(), colours.end(), Byte{0}) != colours.end()) return;
    const auto darkest = std::min_element(colours.begin(), colours.end(), [](Byte a, Byte b) {
        return linearToXyz(cpcLinearColour(a)).y < linearToXyz(cpcLinearColour(b)).y;
    });
    if (std::find(options.fixedColours.begin(), options.fixedColours.end(), *darkest) != options.fixedColours.end())
        return;
    for (int sweep = 0; sweep < kSweeps && !stop(); ++sweep) {
        search.sweep(stop);
        best.offer(search, false, false);
    }
    *darkest = 0;
    search.reweigh(colours, start.penOfPixel, {}, {});
    for (int sweep = 0; sweep < kSweeps && !stop(); ++sweep) search.sweep(stop);
    if (best.offer(search, false, false) == MeasuredBest::Taken::Whole) return;
    const OptimisedDither& from = best.result();
    search.reweigh(from.penColours, from.penOfPixel, {}, {});
}

// The rounds that follow the measure: each starts from the best result with the
// measure's slope there and weights of 1 / CIEDE2000 (see inverseDifference), times a
// strength that doubles after a round whose first sweep the measure does not confirm
// (smaller steps) and eases after a round that it confirms throughout.
class MeasureSteps {
public:
    // The factors on the weights for a round from the best result; slope() is its slope.
    std::vector<float> emphasis(const MeasuredBest& best) {
        if (takenAt_ != best.measure()) {  // kept while the best result stays
            inverse_ = best.inverse();
            slope_ = best.slope();
            takenAt_ = best.measure();
        }
        std::vector<float> emphasis = inverse_;
        for (float& w : emphasis) w *= static_cast<float>(strength_);
        return emphasis;
    }
    const std::vector<std::array<float, 3>>& slope() const { return slope_; }

    // After a round: whether another may help.
    bool next(const RoundOutcome& outcome) {
        constexpr double kLastStrength = 4.0;
        constexpr double kEasing = 0.75;
        if (outcome.confirmed == 0) {
            if (outcome.settled || strength_ >= kLastStrength) return false;
            strength_ *= 2;
        } else if (!outcome.refused) {
            strength_ *= kEasing;
        }
        return true;
    }

private:
    double strength_ = 1.0;
    std::vector<float> inverse_;
    std::vector<std::array<float, 3>> slope_;
    double takenAt_ = -1;  // the measure of the result where they were taken
};

}  // namespace

std::optional<OptimisedDither> optimiseDither(const GridPicture& picture, std::span<const Byte> penColours,
                                              std::vector<Byte> start, const OptimiseOptions& options) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point begin = Clock::now();
    bool cancelled = false;
    bool late = false;
    int rounds = 0;
    int sweepsMade = 0;
    const std::function<bool()> stop = [&] {
        const auto spent = Clock::now() - begin;
        double share = 1.0 - 1.0 / (rounds + 2);
        if (options.budget.count() > 0) {
            late = spent >= options.budget;
            share = std::min(1.0, std::chrono::duration<double>(spent) / options.budget);
        }
        if (options.sweeps > 0) {
            late = late || sweepsMade >= options.sweeps;
            share = static_cast<double>(sweepsMade) / options.sweeps;
        }
        if (options.progress && !options.progress(share)) cancelled = true;
        return cancelled || late;
    };
    // Each sweep's result is kept only when the quality measure itself finds it closer
    // than the best so far. The first round follows the search's own cost, weighted at
    // the start: where the pens can show the picture's colours, that cost and the measure
    // agree and the search goes far. Later rounds follow the measure (MeasureSteps), for
    // at most kSweepsPerRound sweeps: its slope is the measure's only near where it was taken.
    constexpr int kSweepsPerRound = 3;
    MeasuredBest best(picture, penColours, std::move(start), options.pensPerLine);
    MeasureSteps steps;
    bool ownCost = true;
    std::optional<DitherSearch> search;
    Clock::duration roundSetup{};  // how long the last round took to weigh the search
    while (!stop()) {
        // A round that could not make a sweep within the budget is not begun.
        if (options.budget.count() > 0 && Clock::now() - begin + 2 * roundSetup > options.budget) break;
        const Clock::time_point roundBegin = Clock::now();
        const std::vector<float> emphasis = ownCost ? std::vector<float>{} : steps.emphasis(best);
        const std::vector<std::array<float, 3>> noSlope;
        const auto& slope = ownCost ? noSlope : steps.slope();
        const OptimisedDither& from = best.result();
        if (!search)
            search.emplace(picture, from.penColours, from.penOfPixel,
                           DitherWeighting{from.penColours, from.penOfPixel, emphasis, slope}, options.pensPerLine);
        else
            search->reweigh(from.penColours, from.penOfPixel, emphasis, slope);
        roundSetup = Clock::now() - roundBegin;
        if (rounds == 0 && options.mostPens > from.penColours.size()) addFreePens(*search, best, options, stop);
        if (rounds == 0 && options.pensPerLine == 0) tryBlack(*search, best, options, stop);
        const RoundOutcome outcome =
            sweepRound(*search, best, ownCost, kSweepsPerRound, picture.image.height, options, stop, late, sweepsMade);
        ++rounds;
        if (cancelled) return std::nullopt;
        if (!options.confirmByMeasure) break;
        if (!ownCost && !steps.next(outcome)) break;
        ownCost = false;
    }
    if (cancelled) return std::nullopt;
    return best.result();
}

}  // namespace varnoke
