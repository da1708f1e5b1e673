#include "import/pen_choice.h"

#include "import/colour_science.h"
#include "import/parallel_work.h"
#include "import/quality_measure.h"
#include "main/cpc_colors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <thread>
#include <utility>

namespace varnoke {

namespace {

constexpr int kColourCount = 27;
constexpr int kPairCount = kColourCount * (kColourCount + 1) / 2;  // 378, a colour with itself included
constexpr int kMixSteps = 8;

std::size_t at(int i) { return static_cast<std::size_t>(i); }

float luma(Vec3 c) { return 0.2126f * c.x + 0.7152f * c.y + 0.0722f * c.z; }

bool isBorder(const GridPicture& picture, std::size_t i) { return !picture.border.empty() && picture.border[i]; }

// The CPC level (0, 1, 2) nearest to a linear component by sRGB distance: the 27
// colours are every combination of three levels, so the nearest colour by plain sRGB
// distance is the nearest level of each component (0x00, 0x7F, 0xFF; a tie goes down).
int srgbLevel(float linear) {
    const float value = linearToSrgb(std::clamp(linear, 0.0f, 1.0f));
    return value <= 63.5f / 255.0f ? 0 : value <= 191.0f / 255.0f ? 1 : 2;
}

int pairIndex(int a, int b) {
    if (a > b) std::swap(a, b);
    return a * kColourCount - a * (a - 1) / 2 + (b - a);
}

// The picture's colours, gathered into bins of 8 levels a component (by their sRGB
// value): the mean OKLab of each bin and its share of the pixels.
PenProxy::Sample sampleColours(const GridPicture& picture) {
    constexpr int kLevels = 8;
    std::vector<std::array<float, 4>> bins(kLevels * kLevels * kLevels);
    auto level = [](float linear) {
        return std::clamp(static_cast<int>(linearToSrgb(std::clamp(linear, 0.0f, 1.0f)) * kLevels), 0, kLevels - 1);
    };
    for (std::size_t i = 0; i < picture.image.pixelCount(); ++i) {
        if (isBorder(picture, i)) continue;
        const float* p = picture.image.rgb.data() + 3 * i;
        std::array<float, 4>& bin = bins[at((level(p[0]) * kLevels + level(p[1])) * kLevels + level(p[2]))];
        bin[0] += p[0];
        bin[1] += p[1];
        bin[2] += p[2];
        bin[3] += 1.0f;
    }
    PenProxy::Sample sample;
    float total = 0;
    for (const auto& bin : bins) total += bin[3];
    for (const auto& bin : bins) {
        if (bin[3] == 0) continue;
        sample.oklab.push_back(linearToOklab({bin[0] / bin[3], bin[1] / bin[3], bin[2] / bin[3]}));
        sample.weight.push_back(bin[3] / total);
    }
    return sample;
}

// For every sampled colour and every pair of CPC colours, how far the colour is from the
// best mix of the pair that dithering can show (mixed in linear light, compared in
// OKLab), with a charge for the pattern that a mix of distant colours shows.
std::vector<float> mixDistances(const PenProxy::Sample& sample) {
    constexpr float kPatternCharge = 0.08f;
    std::vector<Vec3> mixes;
    std::vector<float> charges;
    std::vector<int> pairOfMix;
    for (int a = 0; a < kColourCount; ++a) {
        for (int b = a; b < kColourCount; ++b) {
            const Vec3 ca = cpcLinearColour(static_cast<Byte>(a));
            const Vec3 cb = cpcLinearColour(static_cast<Byte>(b));
            const float spread = squaredDistance(linearToOklab(ca), linearToOklab(cb));
            for (int step = 0; step <= (a == b ? 0 : kMixSteps); ++step) {
                const float t = static_cast<float>(step) / kMixSteps;
                mixes.push_back(
                    linearToOklab({ca.x + t * (cb.x - ca.x), ca.y + t * (cb.y - ca.y), ca.z + t * (cb.z - ca.z)}));
                charges.push_back(kPatternCharge * t * (1 - t) * spread);
                pairOfMix.push_back(pairIndex(a, b));
            }
        }
    }
    std::vector<float> distances(sample.oklab.size() * kPairCount, 1e30f);
    for (std::size_t s = 0; s < sample.oklab.size(); ++s) {
        float* row = distances.data() + s * kPairCount;
        for (std::size_t m = 0; m < mixes.size(); ++m) {
            const float d = squaredDistance(sample.oklab[s], mixes[m]) + charges[m];
            float& best = row[pairOfMix[m]];
            best = std::min(best, d);
        }
        for (int p = 0; p < kPairCount; ++p) row[p] = std::sqrt(row[p]);
    }
    return distances;
}

struct Candidate {
    float score;
    std::vector<Byte> colours;
};

// Every set of `wanted` colours that holds the fixed ones, keeping the `keep` best by the
// proxy score.
std::vector<Candidate> exhaustiveSearch(const PenProxy& score, const std::vector<Byte>& fixed, std::size_t wanted,
                                        std::size_t keep) {
    std::vector<Byte> free;
    for (Byte n = 0; n < kColourCount; ++n) {
        if (std::find(fixed.begin(), fixed.end(), n) == fixed.end()) free.push_back(n);
    }
    const std::size_t choose = wanted - fixed.size();
    std::vector<Candidate> best;
    std::vector<std::size_t> index(choose);
    std::iota(index.begin(), index.end(), std::size_t{0});
    std::vector<Byte> set = fixed;
    set.resize(wanted);
    while (true) {
        for (std::size_t k = 0; k < choose; ++k) set[fixed.size() + k] = free[index[k]];
        const float s = score(set);
        if (best.size() < keep || s < best.back().score) {
            best.push_back({s, set});
            std::sort(best.begin(), best.end(),
                      [](const Candidate& a, const Candidate& b) { return a.score < b.score; });
            if (best.size() > keep) best.pop_back();
        }
        // Next combination of `choose` out of free.size().
        std::size_t k = choose;
        while (k > 0 && index[k - 1] == free.size() - choose + k - 1) --k;
        if (k == 0) break;
        ++index[k - 1];
        for (std::size_t j = k; j < choose; ++j) index[j] = index[j - 1] + 1;
    }
    return best;
}

// Large sets (mode 0): colours added one at a time, each the one that lowers the score
// most while that is worth a pen, then single swaps of a chosen colour for another
// while any lowers it.
std::vector<Byte> greedySearch(const PenProxy& score, const std::vector<Byte>& fixed, std::size_t wanted) {
    std::vector<Byte> set = fixed;
    auto isIn = [&](Byte n) { return std::find(set.begin(), set.end(), n) != set.end(); };
    // A colour that barely lowers the score is left out: each pen that error diffusion
    // can pick also adds its own noise.
    constexpr float kWorthwhileGain = 1e-4f;
    float current = set.empty() ? 1e30f : score(set);
    while (set.size() < wanted) {
        Candidate best{1e30f, {}};
        for (Byte n = 0; n < kColourCount; ++n) {
            if (isIn(n)) continue;
            set.push_back(n);
            const float s = score(set);
            if (s < best.score) best = {s, set};
            set.pop_back();
        }
        if (current - best.score < kWorthwhileGain) break;
        set = best.colours;
        current = best.score;
    }
    for (bool improved = true; improved;) {
        improved = false;
        for (std::size_t k = fixed.size(); k < set.size(); ++k) {
            for (Byte n = 0; n < kColourCount; ++n) {
                if (isIn(n)) continue;
                const Byte old = set[k];
                set[k] = n;
                const float s = score(set);
                if (s < current - 1e-6f) {
                    current = s;
                    improved = true;
                } else {
                    set[k] = old;
                }
            }
        }
    }
    return set;
}

// A 640 × 400 canvas at half its size each way (the mean of each 2 × 2 block): the pen
// search measures there, at 16 pixels a degree, four times as fast.
LinearImage halfCanvas(const LinearImage& canvas) {
    LinearImage half{canvas.width / 2, canvas.height / 2,
                     std::vector<float>(3 * at(canvas.width / 2 * (canvas.height / 2)))};
    for (int y = 0; y < half.height; ++y) {
        for (int x = 0; x < half.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                half.pixel(x, y)[c] =
                    0.25f * (canvas.pixel(2 * x, 2 * y)[c] + canvas.pixel(2 * x + 1, 2 * y)[c] +
                             canvas.pixel(2 * x, 2 * y + 1)[c] + canvas.pixel(2 * x + 1, 2 * y + 1)[c]);
            }
        }
    }
    return half;
}

// The picture as it stands on its grid, on the half-size canvas, to score results against.
LinearImage gridCanvas(const GridPicture& picture) {
    const int width = picture.screen == ScreenFormat::Overscan ? 768 : 640;
    const int height = 2 * pictureHeight(picture.screen);
    LinearImage canvas{width, height, std::vector<float>(3 * static_cast<std::size_t>(width * height))};
    const int stretch = width / std::max(1, picture.image.width);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float* p = picture.image.pixel(std::min(x / stretch, picture.image.width - 1),
                                                 std::min(y / 2, picture.image.height - 1));
            std::copy(p, p + 3, canvas.pixel(x, y));
        }
    }
    return halfCanvas(canvas);
}

// One dithered result that the search measures: pens and their dithering.
struct Trial {
    std::vector<Byte> colours;
    DitherOptions dither;
};

// The search's measure: the picture on the half-size canvas, filtered once, against
// which trial pens are dithered, filtered and compared side by side.
class CandidateMeasure {
public:
    explicit CandidateMeasure(const GridPicture& picture) : picture_(picture) {}

    // The measure of each trial's dithered result.
    std::vector<double> operator()(const std::vector<Trial>& trials) {
        std::vector<std::vector<float>> filtered(trials.size());
        forEachInParallel(trials.size() + (reference_ ? 0 : 1), [&](std::size_t i) {
            if (!reference_ && i == trials.size()) {
                reference_.emplace(gridCanvas(picture_), kPixelsPerDegree, kSampleStep);
                return;
            }
            const Trial& trial = trials[i];
            const std::vector<Byte> pixels = ditherToPens(picture_, trial.colours, trial.dither);
            filtered[i] = ScielabReference::filteredLab(
                halfCanvas(cpcCanvas(picture_.cpcMode, pixels, trial.colours, picture_.screen)), kPixelsPerDegree,
                kSampleStep);
        });
        std::vector<double> scores(trials.size());
        forEachInParallel(trials.size(), [&](std::size_t i) { scores[i] = reference_->difference(filtered[i]); });
        return scores;
    }

private:
    static constexpr double kPixelsPerDegree = 16.0;  // the half-size canvas
    static constexpr int kSampleStep = 2;
    const GridPicture& picture_;
    std::optional<ScielabReference> reference_;
};

// The index of the lowest score (the first of equals).
std::size_t lowest(const std::vector<double>& scores) {
    return static_cast<std::size_t>(std::min_element(scores.begin(), scores.end()) - scores.begin());
}

// What the search has found so far: the pens, their dithering and its measure.
struct Found {
    std::vector<Byte> colours;
    DitherOptions dither;
    double measured = 0;
};

// Whether the error may be carried from within the pens' colours or not
// (DitherOptions::withinPens): part of choosing the method.
bool mayBringWithinPens(const DitherOptions& dither, std::size_t pens) { return dither.chooseMethod && pens >= 2; }

// The ditherings next to `from` that are left to choose and not yet tried (the next
// choosable strength each way, the other method at the same strength, and with
// `otherWay` the other way of carrying the error), marked tried.
std::vector<DitherOptions> neighbours(const DitherOptions& from, bool otherWay, std::vector<DitherOptions>& tried) {
    std::vector<DitherOptions> next;
    auto add = [&](DitherMethod method, int strength, bool withinPens) {
        DitherOptions d = from;
        d.method = method;
        d.strength = strength;
        d.withinPens = withinPens;
        if (std::none_of(tried.begin(), tried.end(), [&](const DitherOptions& t) {
                return t.method == d.method && t.strength == d.strength && t.withinPens == d.withinPens;
            })) {
            tried.push_back(d);
            next.push_back(d);
        }
    };
    if (from.chooseStrength) {
        const auto below = std::lower_bound(kChoosableStrengths.begin(), kChoosableStrengths.end(), from.strength);
        const auto above = std::upper_bound(kChoosableStrengths.begin(), kChoosableStrengths.end(), from.strength);
        if (below != kChoosableStrengths.begin()) add(from.method, *(below - 1), from.withinPens);
        if (above != kChoosableStrengths.end()) add(from.method, *above, from.withinPens);
    }
    if (from.chooseMethod && (from.method == DitherMethod::FloydSteinberg || from.method == DitherMethod::Sierra))
        add(from.method == DitherMethod::Sierra ? DitherMethod::FloydSteinberg : DitherMethod::Sierra, from.strength,
            from.withinPens);
    if (otherWay) add(from.method, from.strength, !from.withinPens);
    return next;
}

// Takes the closest of the trials of the found pens when it lowers the measure; whether it did.
bool takeCloser(Found& found, const std::vector<Trial>& trials, const std::vector<double>& scores) {
    if (trials.empty()) return false;
    const std::size_t best = lowest(scores);
    if (scores[best] >= found.measured) return false;
    found.dither = trials[best].dither;
    found.measured = scores[best];
    return true;
}

// The found pens' dithering, chosen by climbing: its neighbours are measured side by
// side, and the closest that lowers the measure is taken, until none does. The measure
// barely ever has two valleys along the strength, and most photos stay near the middle,
// so this takes one to three rounds on the cores where measuring every pairing would take
// several more. `tried` holds the ditherings already measured.
void climbDithering(CandidateMeasure& measure, Found& found, std::vector<DitherOptions> tried) {
    const bool otherWay = mayBringWithinPens(found.dither, found.colours.size());
    while (true) {
        std::vector<Trial> trials;
        for (const DitherOptions& d : neighbours(found.dither, otherWay, tried)) trials.push_back({found.colours, d});
        if (trials.empty() || !takeCloser(found, trials, measure(trials))) return;
    }
}

// The candidate whose dithered result the measure finds closest to the picture (the
// first of equals), with its measure; with a chosen strength or method, with the
// dithering where it is closest. The first candidate's neighbouring ditherings are
// measured together with the candidates (the cores would otherwise wait): it is the
// search's own and wins on most photos, so its climb starts one round ahead. Which pens
// are closest also depends on the way of carrying the error (DitherOptions::withinPens):
// the first candidate is measured both ways, then the two closest others the other way
// too (the four closest pairs of two pens, which leave the most of a picture's colours
// outside them).
Found bestByMeasure(CandidateMeasure& measure, const std::vector<Candidate>& candidates, const DitherOptions& dither) {
    DitherOptions other = dither;
    other.withinPens = !dither.withinPens;
    auto bothWays = [&](const std::vector<Byte>& colours) { return mayBringWithinPens(dither, colours.size()); };
    const bool firstBothWays = bothWays(candidates.front().colours);
    std::vector<DitherOptions> tried{dither};
    if (firstBothWays) tried.push_back(other);
    const std::vector<DitherOptions> ahead = neighbours(dither, firstBothWays, tried);
    std::vector<Trial> trials;
    trials.reserve(candidates.size() + 1 + ahead.size());
    for (const Candidate& candidate : candidates) trials.push_back({candidate.colours, dither});
    const auto count = static_cast<std::ptrdiff_t>(candidates.size());
    if (firstBothWays) trials.push_back({candidates.front().colours, other});
    const auto aheadFrom = count + (firstBothWays ? 1 : 0);
    for (const DitherOptions& d : ahead) trials.push_back({candidates.front().colours, d});
    const std::vector<double> scores = measure(trials);
    std::vector<std::size_t> rest(candidates.size() - 1);
    std::iota(rest.begin(), rest.end(), std::size_t{1});
    std::stable_sort(rest.begin(), rest.end(), [&](std::size_t a, std::size_t b) { return scores[a] < scores[b]; });
    std::vector<Trial> others;
    for (const std::size_t k : rest)
        if (bothWays(candidates[k].colours) && others.size() < (candidates[k].colours.size() == 2 ? 4U : 2U))
            others.push_back({candidates[k].colours, other});
    const std::vector<double> otherScores = others.empty() ? std::vector<double>{} : measure(others);
    // The closest: a candidate, the first candidate the other way, or another the other way.
    const auto best =
        static_cast<std::size_t>(std::min_element(scores.begin(), scores.begin() + count) - scores.begin());
    Found found{trials[best].colours, dither, scores[best]};
    if (firstBothWays && scores[static_cast<std::size_t>(count)] < found.measured)
        found = {candidates.front().colours, other, scores[static_cast<std::size_t>(count)]};
    bool measuredOtherWay = found.colours == candidates.front().colours && firstBothWays;
    for (std::size_t k = 0; k < others.size(); ++k) {
        if (otherScores[k] < found.measured) found = {others[k].colours, other, otherScores[k]};
        if (others[k].colours == found.colours) measuredOtherWay = true;
    }
    if (ahead.empty()) return found;
    if (found.colours != candidates.front().colours) {
        climbDithering(
            measure, found,
            measuredOtherWay ? std::vector<DitherOptions>{dither, other} : std::vector<DitherOptions>{dither});
    } else {
        const bool moved =
            takeCloser(found, {trials.begin() + aheadFrom, trials.end()}, {scores.begin() + aheadFrom, scores.end()});
        if (moved || found.dither.withinPens != dither.withinPens) climbDithering(measure, found, tried);
    }
    return found;
}

// Fills the pens that the search left free. The colours not yet chosen are tried in the
// order the quick score ranks them, a few at a time (as many as the machine has cores),
// each added to the set, dithered and measured; the best of the first few that lower the
// measure joins the set. A pen stays free only when every remaining colour, tried in it,
// leaves the measure no lower: a search that stops early by the quick score (whose
// weights follow how many pixels show a colour) would otherwise drop the few bright
// colours of a dark picture, such as the stars of a night sky. With a chosen strength,
// each colour is tried at the lowest choosable strength too: a colour far from a dark
// picture's own may lower the measure only as a sparse dither.
void fillFreePens(CandidateMeasure& measure, const PenProxy& score, Found& found, std::size_t wanted) {
    std::vector<DitherOptions> dithers{found.dither};
    if (found.dither.chooseStrength && found.dither.strength != kChoosableStrengths.front()) {
        dithers.push_back(found.dither);
        dithers.back().strength = kChoosableStrengths.front();
    }
    const std::size_t batch =
        std::max<std::size_t>(1, std::max(2u, std::thread::hardware_concurrency()) / dithers.size());
    std::vector<Byte>& set = found.colours;
    while (set.size() < wanted) {
        std::vector<std::pair<float, Byte>> ranked;
        for (Byte n = 0; n < kColourCount; ++n) {
            if (std::find(set.begin(), set.end(), n) != set.end()) continue;
            set.push_back(n);
            ranked.emplace_back(score(set), n);
            set.pop_back();
        }
        std::stable_sort(ranked.begin(), ranked.end());
        std::optional<Trial> added;
        for (std::size_t first = 0; first < ranked.size() && !added; first += batch) {
            std::vector<Trial> trials;
            for (std::size_t k = first; k < std::min(ranked.size(), first + batch); ++k) {
                for (const DitherOptions& dither : dithers) {
                    trials.push_back({set, dither});
                    trials.back().colours.push_back(ranked[k].second);
                }
            }
            const std::vector<double> scores = measure(trials);
            const std::size_t best = lowest(scores);
            if (scores[best] < found.measured) {
                added = trials[best];
                found.measured = scores[best];
            }
        }
        if (!added) break;
        set = std::move(added->colours);
        found.dither = added->dither;
        dithers.front() = found.dither;
    }
}

// The CPC colours of a picture drawn only in CPC display colours, or nothing when some
// pixel has another colour.
std::vector<Byte> exactCpcColours(const GridPicture& picture) {
    std::array<Vec3, kColourCount> linear{};
    for (Byte n = 0; n < kColourCount; ++n) linear[n] = cpcLinearColour(n);
    std::array<bool, kColourCount> used{};
    for (std::size_t i = 0; i < picture.image.pixelCount(); ++i) {
        if (isBorder(picture, i)) continue;
        const float* p = picture.image.rgb.data() + 3 * i;
        const auto match = std::find_if(linear.begin(), linear.end(), [&](Vec3 c) {
            return squaredDistance(c, {p[0], p[1], p[2]}) < 1e-10f;
        });
        if (match == linear.end()) return {};
        used[at(static_cast<int>(match - linear.begin()))] = true;
    }
    std::vector<Byte> colours;
    for (Byte n = 0; n < kColourCount; ++n) {
        if (used[n]) colours.push_back(n);
    }
    return colours;
}

// Whether any pixel is outside the border (an empty or all-border picture has nothing
// to choose pens for: it shows black, or its fixed colours).
bool hasPicturePixels(const GridPicture& picture) {
    if (picture.image.width <= 0 || picture.image.height <= 0) return false;
    for (std::size_t i = 0; i < picture.image.pixelCount(); ++i) {
        if (!isBorder(picture, i)) return true;
    }
    return false;
}

std::vector<Byte> validFixed(const PenOptions& options, std::size_t wanted) {
    std::vector<Byte> fixed;
    for (const Byte colour : options.fixedColours) {
        if (colour < kColourCount && std::find(fixed.begin(), fixed.end(), colour) == fixed.end() &&
            fixed.size() < wanted)
            fixed.push_back(colour);
    }
    return fixed;
}

// The search's candidates, best by the proxy first: every set of the wanted size where
// that is cheap (modes 1 and 2), else the result of the greedy search. Of the sets of
// four, the proxy's best 4 go on to be measured; of the pairs, its best 8: two pens show
// a picture only as a pattern of them, whose look the proxy foresees less well (in mode
// 2 the measure found pairs that it ranked fifth to eighth closer by a tenth to a third:
// black and pastel blue for a stormy sky, where the proxy ranked blue and grey first).
std::vector<Candidate> searchCandidates(const PenProxy& score, const std::vector<Byte>& fixed, std::size_t wanted) {
    if (wanted <= 4) return exhaustiveSearch(score, fixed, wanted, wanted == 2 ? 8 : 4);
    std::vector<Byte> set = greedySearch(score, fixed, wanted);
    return {{score(set), set}};
}

// The fixed colours, then the colours nearest to most pixels (by OKLab, and by plain
// sRGB distance): the usual choice, which the measure weighs against the search's. It
// wins on pictures dominated by a few large flat areas.
std::vector<Candidate> frequentColourCandidates(const GridPicture& picture, const std::vector<Byte>& fixed,
                                                std::size_t wanted) {
    std::array<Byte, kColourCount> all{};
    std::iota(all.begin(), all.end(), Byte{0});
    const PenPalette everyColour(all);
    std::array<long, kColourCount> byOklab{};
    std::array<long, kColourCount> bySrgb{};
    for (std::size_t i = 0; i < picture.image.pixelCount(); ++i) {
        if (isBorder(picture, i)) continue;
        const float* p = picture.image.rgb.data() + 3 * i;
        ++byOklab[everyColour.nearest({p[0], p[1], p[2]})];
        ++bySrgb[cpcColorNumber(srgbLevel(p[1]), srgbLevel(p[0]), srgbLevel(p[2]))];
    }
    // Each count gives two sets: every colour that some pixel is nearest to, and only
    // those that at least 2 % of the pixels are nearest to (a few stray pixels are
    // better dithered from the main colours than given a pen whose noise shows).
    const long pixels = std::accumulate(byOklab.begin(), byOklab.end(), 0L);
    std::vector<Candidate> candidates;
    for (const auto& counts : {byOklab, bySrgb}) {
        std::vector<Byte> ranked(all.begin(), all.end());
        std::stable_sort(ranked.begin(), ranked.end(), [&](Byte a, Byte b) { return counts[a] > counts[b]; });
        for (const long least : {1L, std::max(1L, pixels / 50)}) {
            std::vector<Byte> set = fixed;
            for (const Byte colour : ranked) {
                if (set.size() < wanted && counts[colour] >= least &&
                    std::find(set.begin(), set.end(), colour) == set.end())
                    set.push_back(colour);
            }
            if (!set.empty() && std::none_of(candidates.begin(), candidates.end(),
                                             [&](const Candidate& c) { return c.colours == set; })) {
                candidates.push_back({0, set});
            }
        }
    }
    return candidates;
}

}  // namespace

PenProxy::PenProxy(const GridPicture& picture) : sample_(sampleColours(picture)), distances_(mixDistances(sample_)) {}

float PenProxy::operator()(std::span<const Byte> colours) const {
    std::array<int, kPairCount> pairs{};
    std::size_t count = 0;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        for (std::size_t j = i; j < colours.size(); ++j) pairs[count++] = pairIndex(colours[i], colours[j]);
    }
    if (count == 0) return 1e30f;
    float total = 0;
    for (std::size_t s = 0; s < sample_.weight.size(); ++s) {
        const float* row = distances_.data() + s * kPairCount;
        float best = row[pairs[0]];
        for (std::size_t p = 1; p < count; ++p) best = std::min(best, row[pairs[p]]);
        total += sample_.weight[s] * best;
    }
    return total;
}

std::vector<Byte> bestByProxy(const GridPicture& picture, const PenOptions& options) {
    const auto wanted = static_cast<std::size_t>(penCount(picture, options));
    const std::vector<Byte> fixed = validFixed(options, wanted);
    if (!hasPicturePixels(picture)) return fixed.empty() ? std::vector<Byte>{0} : darkestFirst(fixed);
    if (fixed.size() == wanted) return darkestFirst(fixed);
    return darkestFirst(searchCandidates(PenProxy(picture), fixed, wanted).front().colours);
}

int penCount(const GridPicture& picture, const PenOptions& options) {
    const int modePens = pensOfMode(picture.cpcMode);
    return options.colours <= 0 ? modePens : std::min(options.colours, modePens);
}

std::vector<Byte> darkestFirst(std::vector<Byte> colours) {
    std::sort(colours.begin(), colours.end());
    colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
    std::stable_sort(colours.begin(), colours.end(),
                     [](Byte a, Byte b) { return luma(cpcLinearColour(a)) < luma(cpcLinearColour(b)); });
    return colours;
}

std::vector<Byte> choosePens(const GridPicture& picture, const PenOptions& options) {
    return choosePensAndStrength(picture, options).colours;
}

PenChoice choosePensAndStrength(const GridPicture& picture, const PenOptions& options) {
    const auto wanted = static_cast<std::size_t>(penCount(picture, options));
    const std::vector<Byte> fixed = validFixed(options, wanted);
    const int given = options.dither.strength;
    const DitherMethod method = options.dither.method;
    if (!hasPicturePixels(picture)) return {fixed.empty() ? std::vector<Byte>{0} : darkestFirst(fixed), given, method};
    std::vector<Byte> exact = exactCpcColours(picture);
    if (!exact.empty()) {
        for (const Byte colour : fixed) {
            if (std::find(exact.begin(), exact.end(), colour) == exact.end()) exact.push_back(colour);
        }
        if (exact.size() <= wanted) return {darkestFirst(exact), given, method};
    }
    // Only a dithering that carries error has a strength or method worth choosing.
    const bool carries = options.dither.strength > 0 && method != DitherMethod::None && method != DitherMethod::Best;
    DitherOptions dither = options.dither;
    dither.chooseStrength = carries && options.dither.chooseStrength;
    dither.chooseMethod = carries && options.dither.chooseMethod;
    const bool choosing = dither.chooseStrength || dither.chooseMethod;
    CandidateMeasure measure(picture);
    if (fixed.size() == wanted) {
        if (!choosing) return {darkestFirst(fixed), given, method};
        const DitherOptions chosen = bestByMeasure(measure, {{0, fixed}}, dither).dither;
        return {darkestFirst(fixed), chosen.strength, chosen.method, chosen.withinPens};
    }
    const PenProxy score(picture);
    std::vector<Candidate> candidates = searchCandidates(score, fixed, wanted);
    for (Candidate& candidate : frequentColourCandidates(picture, fixed, wanted))
        candidates.push_back(std::move(candidate));
    Found found = bestByMeasure(measure, candidates, dither);
    const std::size_t before = found.colours.size();
    if (found.colours.size() < wanted) fillFreePens(measure, score, found, wanted);
    if (choosing && found.colours.size() != before) climbDithering(measure, found, {found.dither});
    return {darkestFirst(std::move(found.colours)), found.dither.strength, found.dither.method,
            found.dither.withinPens};
}

}  // namespace varnoke
