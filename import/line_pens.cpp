#include "import/line_pens.h"

#include "import/colour_science.h"
#include "import/parallel_work.h"
#include "import/quality_measure.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>

namespace varnoke {
namespace {

constexpr int kColourCount = 27;

std::size_t at(int i) { return static_cast<std::size_t>(i); }

// Gives the line pens their colours line by line, from the top: each line starts from the
// colours of the line above and changes one line pen's colour at a time to whichever
// colour (of those nearest to some pixel of the line) shows the line best, while that
// helps; then the line is dithered for good.
LinePenChoice fillLines(const GridPicture& picture, const std::vector<Byte>& fixed, std::vector<Byte> start,
                        const DitherOptions& dither) {
    const int width = picture.image.width;
    LinePenChoice choice;
    choice.penColours = fixed;
    choice.penColours.insert(choice.penColours.end(), start.begin(), start.end());
    for (std::size_t k = 0; k < start.size(); ++k) choice.linePens.push_back(static_cast<Byte>(fixed.size() + k));
    choice.penOfPixel.resize(picture.image.pixelCount());
    LineDithering lines(picture, dither);
    std::vector<Byte> colours = choice.penColours;
    auto isUsed = [&](Byte c) { return std::find(colours.begin(), colours.end(), c) != colours.end(); };
    std::array<Byte, kColourCount> every{};
    std::iota(every.begin(), every.end(), Byte{0});
    std::array<Vec3, kColourCount> oklabOf{};
    for (const Byte c : every) oklabOf[c] = linearToOklab(cpcLinearColour(c));
    constexpr int kNearest = 6;  // fewer lose good mixes, and the quality benchmark says so
    for (int y = 0; y < picture.image.height; ++y) {
        // The colours worth trying: those among the six nearest to some pixel of the line.
        std::array<bool, kColourCount> near{};
        for (int x = 0; x < width; ++x) {
            const float* p = picture.image.pixel(x, y);
            const Vec3 lab = linearToOklab({p[0], p[1], p[2]});
            std::array<std::pair<float, Byte>, kColourCount> order{};
            for (Byte c = 0; c < kColourCount; ++c) order[c] = {squaredDistance(lab, oklabOf[c]), c};
            std::partial_sort(order.begin(), order.begin() + kNearest, order.end());
            for (int i = 0; i < kNearest; ++i) near[order[at(i)].second] = true;
        }
        auto score = [&](const std::vector<Byte>& set) { return lines.trial(y, PenPalette(set)); };
        float best = score(colours);
        for (int pass = 0; pass < 2; ++pass) {
            bool improved = false;
            for (std::size_t k = fixed.size(); k < colours.size(); ++k) {
                for (Byte c = 0; c < kColourCount; ++c) {
                    if (!near[c] || isUsed(c)) continue;
                    const Byte kept = colours[k];
                    colours[k] = c;
                    const float tried = score(colours);
                    if (tried < best) {
                        best = tried;
                        improved = true;
                    } else {
                        colours[k] = kept;
                    }
                }
            }
            if (!improved) break;
        }
        lines.dither(y, PenPalette(colours), std::span(choice.penOfPixel).subspan(at(y * width), at(width)));
        choice.lineColours.insert(choice.lineColours.end(), colours.begin() + static_cast<std::ptrdiff_t>(fixed.size()),
                                  colours.end());
    }
    std::copy_n(choice.lineColours.begin(), start.size(),
                choice.penColours.begin() + static_cast<std::ptrdiff_t>(fixed.size()));
    return choice;
}

// The colours that are among the `pens` colours nearest to most pixels of the most lines:
// what every line would want, and so what fixed pens should show.
std::vector<Byte> coloursOnMostLines(const GridPicture& picture, std::size_t pens, std::size_t wanted) {
    std::array<Byte, kColourCount> all{};
    std::iota(all.begin(), all.end(), Byte{0});
    const PenPalette everyColour(all);
    std::array<int, kColourCount> lines{};
    for (int y = 0; y < picture.image.height; ++y) {
        std::array<int, kColourCount> count{};
        for (int x = 0; x < picture.image.width; ++x) {
            if (!picture.border.empty() && picture.border[at(y * picture.image.width + x)]) continue;
            const float* p = picture.image.pixel(x, y);
            ++count[everyColour.nearest({p[0], p[1], p[2]})];
        }
        std::vector<Byte> ranked(all.begin(), all.end());
        std::stable_sort(ranked.begin(), ranked.end(), [&](Byte a, Byte b) { return count[a] > count[b]; });
        for (std::size_t i = 0; i < pens && count[ranked[i]] > 0; ++i) ++lines[ranked[i]];
    }
    std::vector<Byte> ranked(all.begin(), all.end());
    std::stable_sort(ranked.begin(), ranked.end(), [&](Byte a, Byte b) { return lines[a] > lines[b]; });
    ranked.resize(wanted);
    return ranked;
}

// The sets of fixed pens to try: the colours most lines want, the most used colours of
// the best set of all the pens, and the best set of the fixed pens' size by itself; each
// with the start of the line pens' colours (the rest of the best set, by use).
struct FixedCandidate {
    std::vector<Byte> fixed;
    std::vector<Byte> start;
    // Not empty: the line pens keep their start colours, and only these colours (the best
    // set of all the pens, which may have fewer) are dithered with: no line pens at all.
    std::vector<Byte> sameOnEveryLine;
};

std::vector<FixedCandidate> fixedCandidates(const GridPicture& picture, const PenOptions& options,
                                            const std::vector<Byte>& all, std::size_t pens, std::size_t fixedCount) {
    // The colours of the whole set by how many pixels show them, keeping the required ones first.
    std::vector<long> uses(all.size());
    for (const Byte pen : ditherToPens(picture, all, options.dither)) ++uses[pen];
    std::vector<Byte> byUse = all;
    auto required = [&](Byte c) {
        return std::find(options.fixedColours.begin(), options.fixedColours.end(), c) != options.fixedColours.end();
    };
    std::stable_sort(byUse.begin(), byUse.end(), [&](Byte a, Byte b) {
        if (required(a) != required(b)) return required(a);
        return uses[at(static_cast<int>(std::find(all.begin(), all.end(), a) - all.begin()))] >
               uses[at(static_cast<int>(std::find(all.begin(), all.end(), b) - all.begin()))];
    });
    // Every colour, those of the whole set first by their use, to fill sets that came out short.
    for (Byte c = 0; c < kColourCount; ++c)
        if (std::find(byUse.begin(), byUse.end(), c) == byUse.end()) byUse.push_back(c);
    auto padded = [&](std::vector<Byte> set, std::size_t size, const std::vector<Byte>& without) {
        for (const Byte c : byUse)
            if (set.size() < size && std::find(set.begin(), set.end(), c) == set.end() &&
                std::find(without.begin(), without.end(), c) == without.end())
                set.push_back(c);
        set.resize(std::min(set.size(), size));
        return set;
    };
    std::vector<FixedCandidate> candidates;
    auto add = [&](const std::vector<Byte>& chosen) {
        const std::vector<Byte> fixed = darkestFirst(padded(chosen, fixedCount, {}));
        if (std::any_of(candidates.begin(), candidates.end(),
                        [&](const FixedCandidate& c) { return c.fixed == fixed; }))
            return;
        candidates.push_back({fixed, padded({}, pens - fixedCount, fixed), {}});
    };
    add(coloursOnMostLines(picture, pens, fixedCount));
    add(padded({}, fixedCount, {}));
    // The best set of all the pens as it is, so that line pens never do worse than none.
    candidates.push_back(candidates.back());
    candidates.back().sameOnEveryLine = all;
    add(choosePens(picture, PenOptions{static_cast<int>(fixedCount), options.fixedColours, options.dither}));
    return candidates;
}

// The fixed pens and the line pens' start colours on every line, dithered as one set.
LinePenChoice sameOnEveryLine(const GridPicture& picture, const FixedCandidate& candidate,
                              const DitherOptions& dither) {
    LinePenChoice choice;
    choice.penColours = candidate.fixed;
    choice.penColours.insert(choice.penColours.end(), candidate.start.begin(), candidate.start.end());
    for (std::size_t k = 0; k < candidate.start.size(); ++k)
        choice.linePens.push_back(static_cast<Byte>(candidate.fixed.size() + k));
    for (int y = 0; y < picture.image.height; ++y)
        choice.lineColours.insert(choice.lineColours.end(), candidate.start.begin(), candidate.start.end());
    choice.penOfPixel = ditherToPens(picture, candidate.sameOnEveryLine, dither);
    for (Byte& pen : choice.penOfPixel)
        pen = static_cast<Byte>(
            std::find(choice.penColours.begin(), choice.penColours.end(), candidate.sameOnEveryLine[pen]) -
            choice.penColours.begin());
    return choice;
}

// A 640 × 400 canvas at half its size each way, to measure candidates four times as fast.
LinearImage halfOf(const LinearImage& canvas) {
    LinearImage half{canvas.width / 2, canvas.height / 2,
                     std::vector<float>(3 * at(canvas.width / 2 * (canvas.height / 2)))};
    for (int y = 0; y < half.height; ++y)
        for (int x = 0; x < half.width; ++x)
            for (int c = 0; c < 3; ++c)
                half.pixel(x, y)[c] =
                    0.25f * (canvas.pixel(2 * x, 2 * y)[c] + canvas.pixel(2 * x + 1, 2 * y)[c] +
                             canvas.pixel(2 * x, 2 * y + 1)[c] + canvas.pixel(2 * x + 1, 2 * y + 1)[c]);
    return half;
}

// The picture as it stands on its grid, on the 640 × 400 canvas.
LinearImage gridOnCanvas(const GridPicture& picture) {
    LinearImage canvas{640, 400, std::vector<float>(3 * 640 * 400)};
    const int stretch = 640 / std::max(1, picture.image.width);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x) {
            const float* p = picture.image.pixel(std::min(x / stretch, picture.image.width - 1),
                                                 std::min(y / 2, picture.image.height - 1));
            std::copy(p, p + 3, canvas.pixel(x, y));
        }
    return canvas;
}

}  // namespace

namespace {

// The colours of `k` line pens for one line, beside the fixed ones (`nearest`: each
// pixel's squared OKLab distance to the nearest fixed colour; `distance`: to each colour).
// Each line pen in turn takes the colour that, with the others, brings the line's pixels
// nearest to some pen, twice round (once round from the fixed colours alone is greedy: a
// grey between three colours beats any one of them).
std::vector<Byte> nearestLineColours(const std::vector<Byte>& fixed, std::size_t k, std::span<const float> nearest,
                                     std::span<const std::array<float, kColourCount>> distance) {
    const std::size_t width = nearest.size();
    std::vector<Byte> colours = fixed;
    colours.resize(fixed.size() + k, Byte{kColourCount});
    std::vector<float> without(width);
    for (int round = 0; round < 2; ++round) {
        for (std::size_t slot = fixed.size(); slot < colours.size(); ++slot) {
            for (std::size_t x = 0; x < width; ++x) {
                without[x] = nearest[x];
                for (std::size_t other = fixed.size(); other < colours.size(); ++other)
                    if (other != slot && colours[other] < kColourCount)
                        without[x] = std::min(without[x], distance[x][colours[other]]);
            }
            Byte best = colours[slot];
            float bestTotal = 1e30f;
            for (Byte c = 0; c < kColourCount; ++c) {
                if (std::find(colours.begin(), colours.end(), c) != colours.end() && c != colours[slot]) continue;
                float total = 0;
                for (std::size_t x = 0; x < width; ++x) total += std::min(without[x], distance[x][c]);
                if (total < bestTotal) bestTotal = total, best = c;
            }
            colours[slot] = best;
        }
    }
    return colours;
}

}  // namespace

LinePenChoice chooseLinePensQuickly(const GridPicture& picture, const PenOptions& wanted, int linePens) {
    PenOptions options = wanted;
    if (options.dither.method == DitherMethod::Best) options.dither.method = defaultDither(picture.cpcMode);
    const auto pens = static_cast<std::size_t>(penCount(picture, options));
    const std::size_t k = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(linePens, 1)), 1, pens - 1);
    // The fixed pens: the colours that must be shown, then those that most lines want.
    std::vector<Byte> fixed = options.fixedColours;
    for (const Byte c : coloursOnMostLines(picture, pens, kColourCount))
        if (fixed.size() < pens - k && std::find(fixed.begin(), fixed.end(), c) == fixed.end()) fixed.push_back(c);
    fixed = darkestFirst(std::move(fixed));
    LinePenChoice choice;
    choice.penColours = fixed;
    for (std::size_t i = 0; i < k; ++i) choice.linePens.push_back(static_cast<Byte>(fixed.size() + i));
    choice.penOfPixel.resize(picture.image.pixelCount());
    std::array<Vec3, kColourCount> oklabOf{};
    for (Byte c = 0; c < kColourCount; ++c) oklabOf[c] = linearToOklab(cpcLinearColour(c));
    const int width = picture.image.width;
    std::vector<std::array<float, kColourCount>> distance(at(width));
    std::vector<float> nearest(at(width));
    LineDithering lines(picture, options.dither);
    for (int y = 0; y < picture.image.height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float* p = picture.image.pixel(x, y);
            const Vec3 lab = linearToOklab({p[0], p[1], p[2]});
            for (Byte c = 0; c < kColourCount; ++c) distance[at(x)][c] = squaredDistance(lab, oklabOf[c]);
            nearest[at(x)] = 1e30f;
            for (const Byte c : fixed) nearest[at(x)] = std::min(nearest[at(x)], distance[at(x)][c]);
        }
        const std::vector<Byte> colours = nearestLineColours(fixed, k, nearest, distance);
        lines.dither(y, PenPalette(colours), std::span(choice.penOfPixel).subspan(at(y * width), at(width)));
        choice.lineColours.insert(choice.lineColours.end(), colours.begin() + static_cast<std::ptrdiff_t>(fixed.size()),
                                  colours.end());
    }
    choice.penColours.insert(choice.penColours.end(), choice.lineColours.begin(),
                             choice.lineColours.begin() + static_cast<std::ptrdiff_t>(k));
    return choice;
}

std::vector<Byte> penColoursOfLines(const LinePenChoice& choice) {
    const std::size_t pens = choice.penColours.size(), k = choice.linePens.size();
    std::vector<Byte> table;
    table.reserve(at(kPictureHeight) * pens);
    for (std::size_t y = 0; y < at(kPictureHeight); ++y) {
        std::vector<Byte> line = choice.penColours;
        for (std::size_t i = 0; i < k && (y + 1) * k <= choice.lineColours.size(); ++i)
            line[choice.linePens[i]] = choice.lineColours[y * k + i];
        table.insert(table.end(), line.begin(), line.end());
    }
    return table;
}

LinePenChoice chooseLinePens(const GridPicture& picture, const PenOptions& wanted, int linePens) {
    // Line by line there is no whole picture for the optimising search: the lines take the
    // mode's default method, where that search starts from (optimiseLinePens).
    PenOptions options = wanted;
    if (options.dither.method == DitherMethod::Best) options.dither.method = defaultDither(picture.cpcMode);
    const auto pens = static_cast<std::size_t>(penCount(picture, options));
    const std::size_t k = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(linePens, 1)), 1, pens - 1);
    // The best set of all the pens, with the strength, method and way of carrying the error
    // that a plain import chooses for it: the candidate that shows it on every line is the
    // plain import's own result, so that line pens are never further from the picture. The
    // lines are dithered as the plain picture is, but carry the error from the clamped
    // colour: from within the pens, their search does worse (Ubuntu-Mate-Warm in mode 1
    // with three line pens: 5.350 against 4.065).
    const PenChoice plain =
        choosePensAndStrength(picture, PenOptions{static_cast<int>(pens), options.fixedColours, options.dither});
    if (options.dither.chooseStrength) options.dither.strength = plain.strength;
    if (options.dither.chooseMethod) options.dither.method = plain.method;
    options.dither.chooseStrength = options.dither.chooseMethod = false;
    DitherOptions plainDither = options.dither;
    plainDither.withinPens = plain.withinPens;
    options.dither.withinPens = false;
    const std::vector<FixedCandidate> candidates = fixedCandidates(picture, options, plain.colours, pens, pens - k);
    std::vector<LinePenChoice> results(candidates.size());
    std::vector<std::vector<float>> filtered(candidates.size());
    constexpr double kPixelsPerDegree = 16.0;  // the half-size canvas
    constexpr int kSampleStep = 2;
    std::optional<ScielabReference> reference;
    forEachInParallel(candidates.size() + 1, [&](std::size_t i) {
        if (i == 0) {
            reference.emplace(halfOf(gridOnCanvas(picture)), kPixelsPerDegree, kSampleStep);
            return;
        }
        const FixedCandidate& candidate = candidates[i - 1];
        results[i - 1] = !candidate.sameOnEveryLine.empty()
                             ? sameOnEveryLine(picture, candidate, plainDither)
                             : fillLines(picture, candidate.fixed, candidate.start, options.dither);
        const std::vector<Byte> table = penColoursOfLines(results[i - 1]);
        filtered[i - 1] = ScielabReference::filteredLab(
            halfOf(cpcCanvasOfLines(picture.cpcMode, results[i - 1].penOfPixel, table, pens)), kPixelsPerDegree,
            kSampleStep);
    });
    std::size_t best = 0;
    double bestScore = 1e300;
    for (std::size_t i = 0; i < results.size(); ++i)
        if (const double score = reference->difference(filtered[i]); score < bestScore) bestScore = score, best = i;
    results[best].dither = candidates[best].sameOnEveryLine.empty() ? options.dither : plainDither;
    return results[best];
}

std::optional<LinePenChoice> optimiseLinePens(const GridPicture& picture, const LinePenChoice& start,
                                              OptimiseOptions options) {
    const std::size_t pens = start.penColours.size();
    options.pensPerLine = pens;
    options.linePens = start.linePens;
    std::optional<OptimisedDither> found = optimiseDither(picture, penColoursOfLines(start), start.penOfPixel, options);
    if (!found) return std::nullopt;
    LinePenChoice best;
    best.linePens = start.linePens;
    best.penColours.assign(found->penColours.begin(), found->penColours.begin() + static_cast<std::ptrdiff_t>(pens));
    for (std::size_t y = 0; y < at(picture.image.height); ++y)
        for (const Byte pen : best.linePens) best.lineColours.push_back(found->penColours[y * pens + pen]);
    best.penOfPixel = std::move(found->penOfPixel);
    return best;
}

}  // namespace varnoke
