#include "import/import_session.h"

#include "import/line_pens.h"
#include "import/optimised_dither.h"
#include "import/pen_choice.h"
#include "import/quality_measure.h"
#include "main/cpc_colors.h"
#include "palette/palette_building.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

namespace varnoke {
namespace {

// Each cache keeps at most this many entries; the oldest settings go first.
constexpr std::size_t kCacheLimit = 64;

using GridKey = std::tuple<Byte, ResizeRule, ScreenFormat>;
// The pens depend on whether the picture is dithered at all, not on the method or its
// strength: they are chosen for the mode's default dithering, so that a change of method
// or strength only dithers again (fast enough for a live preview). A strength chosen with
// the pens is chosen for the method (the seventh field; None when the strength is given),
// and the last field tells whether the method is chosen too.
using PenKey = std::tuple<Byte, ResizeRule, ScreenFormat, int, std::vector<Byte>, bool, DitherMethod, bool>;
// Line pens are chosen together with the dithering itself: their results depend on all.
using ResultKey = std::tuple<PenKey, DitherMethod, int, int>;

template <typename Key, typename Value>
struct Memo {
    std::map<Key, std::shared_ptr<const Value>> entries;
    std::vector<Key> order;

    std::shared_ptr<const Value> find(const Key& key) const {
        const auto it = entries.find(key);
        return it == entries.end() ? nullptr : it->second;
    }
    // Keeps the first value stored under a key: two threads that raced give the same answer.
    std::shared_ptr<const Value> store(const Key& key, std::shared_ptr<const Value> value) {
        const auto [it, added] = entries.emplace(key, std::move(value));
        if (added) order.push_back(key);
        if (order.size() > kCacheLimit) {
            entries.erase(order.front());
            order.erase(order.begin());
        }
        return it->second;
    }
};

// The 8-bit sRGB value of a linear component.
int srgbByte(float linear) {
    const double v = std::clamp(static_cast<double>(linear), 0.0, 1.0);
    const double s = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    return static_cast<int>(std::lround(s * 255));
}

// The level (0, 1, 2) of an 8-bit component that lies on a CPC display level (0x00, 0x7F
// or 0xFF, give or take 2 for writers that round half to 0x80), or -1.
int displayLevel(int value) {
    if (value <= 2) return 0;
    if (value >= 0x7F - 2 && value <= 0x80 + 2) return 1;
    if (value >= 0xFF - 2) return 2;
    return -1;
}

}  // namespace

struct ImportSession::Cache {
    LinearImage source;
    std::mutex mutex;
    Memo<GridKey, GridPicture> grids;
    Memo<GridKey, ScielabReference> references;
    Memo<PenKey, PenChoice> pens;
    Memo<ResultKey, ImportResult> results;

    // Looks the key up; computes it (without holding the lock) when missing.
    template <typename Key, typename Value, typename Make>
    std::shared_ptr<const Value> get(Memo<Key, Value>& memo, const Key& key, Make make) {
        {
            const std::lock_guard lock(mutex);
            if (std::shared_ptr<const Value> found = memo.find(key)) return found;
        }
        auto made = std::make_shared<const Value>(make());
        const std::lock_guard lock(mutex);
        return memo.store(key, std::move(made));
    }
};

namespace {

// The pens and pixels of a grid picture that uses only CPC display colours, when it uses
// no more than `allowed` of them together with the fixed colours; nothing otherwise.
std::optional<ImportResult> asDrawn(const GridPicture& grid, std::size_t allowed, std::span<const Byte> fixed) {
    const LinearImage& image = grid.image;
    if (image.width != pictureWidth(grid.cpcMode, grid.screen) || image.height != pictureHeight(grid.screen) ||
        !grid.border.empty())
        return std::nullopt;
    ImportResult result;
    result.cpcMode = grid.cpcMode;
    result.screen = grid.screen;
    result.penColours.assign(fixed.begin(), fixed.end());
    result.penOfPixel.reserve(image.pixelCount());
    std::array<int, kCpcColorCount> penOfColour;
    penOfColour.fill(-1);
    for (std::size_t i = 0; i < result.penColours.size(); ++i) penOfColour[result.penColours[i]] = static_cast<int>(i);
    for (std::size_t i = 0; i < image.pixelCount(); ++i) {
        const float* p = image.rgb.data() + 3 * i;
        const int red = displayLevel(srgbByte(p[0]));
        const int green = displayLevel(srgbByte(p[1]));
        const int blue = displayLevel(srgbByte(p[2]));
        if (red < 0 || green < 0 || blue < 0) return std::nullopt;
        const Byte colour = cpcColorNumber(green, red, blue);
        if (penOfColour[colour] < 0) {
            if (result.penColours.size() == allowed) return std::nullopt;
            penOfColour[colour] = static_cast<int>(result.penColours.size());
            result.penColours.push_back(colour);
        }
        result.penOfPixel.push_back(static_cast<Byte>(penOfColour[colour]));
    }
    return result;
}

// A result given `linePens` line pens (its last pens, filled up to `colours` pens with
// colours it does not use) that keep one colour on every line.
ImportResult withSameLinePens(ImportResult result, int colours, int linePens) {
    for (Byte c = 0; result.penColours.size() < static_cast<std::size_t>(colours); ++c)
        if (std::find(result.penColours.begin(), result.penColours.end(), c) == result.penColours.end())
            result.penColours.push_back(c);
    for (int k = colours - linePens; k < colours; ++k) result.linePens.push_back(static_cast<Byte>(k));
    for (int y = 0; y < kPictureHeight; ++y)
        for (const Byte pen : result.linePens) result.lineColours.push_back(result.penColours[pen]);
    return result;
}

// The dithering the pens are chosen for: none for an undithered picture, otherwise the
// mode's default method at the default strength; a strength left to choose is chosen for
// the wanted method (the best dithering's, for its start, the mode's default), and a
// method left to choose from it.
DitherOptions ditherForPenChoice(Byte mode, const DitherOptions& wanted) {
    if (wanted.method == DitherMethod::None || wanted.strength <= 0) return {DitherMethod::None, 0};
    DitherOptions chosenFor;
    chosenFor.method = defaultDither(mode);
    if (wanted.chooseStrength || wanted.chooseMethod) {
        if (wanted.method != DitherMethod::Best) chosenFor.method = wanted.method;
        chosenFor.chooseStrength = wanted.chooseStrength;
        chosenFor.chooseMethod = wanted.chooseMethod;
    }
    return chosenFor;
}

// The key of the pens chosen for the settings' grid, pens and dithering.
PenKey penKeyOf(const ImportSettings& settings, Byte mode, int colours, const DitherOptions& penDither) {
    return {mode,
            settings.resize,
            settings.screen,
            colours,
            settings.fixedColours,
            penDither.method != DitherMethod::None,
            penDither.chooseStrength ? penDither.method : DitherMethod::None,
            penDither.chooseMethod};
}

// The dithering a picture is given: the wanted one, with what the pen search chose where
// it was left to choose.
DitherOptions chosenDithering(const DitherOptions& wanted, const DitherOptions& penDither, const PenChoice& pens) {
    DitherOptions shown = wanted;
    if (penDither.chooseStrength && wanted.chooseStrength) shown.strength = pens.strength;
    if (penDither.chooseMethod && wanted.chooseMethod) {
        shown.method = pens.method;
        shown.withinPens = pens.withinPens;
    }
    return shown;
}

}  // namespace

ImportSession::ImportSession(LinearImage source) : cache_(std::make_shared<Cache>()) {
    cache_->source = std::move(source);
}

Expected<ImportSession> ImportSession::open(std::span<const Byte> file, const DecodeOptions& options) {
    Expected<LinearImage> decoded = decodePicture(file, options);
    if (!decoded) return Failure{decoded.reason()};
    return ImportSession(std::move(decoded.value()));
}

const LinearImage& ImportSession::source() const { return cache_->source; }

namespace {

// Pens whose colours change on every line.
ImportResult linePenResult(const GridPicture& grid, ScreenFormat screen, const PenOptions& options, int linePens,
                           bool quick = false) {
    LinePenChoice chosen =
        quick ? chooseLinePensQuickly(grid, options, linePens) : chooseLinePens(grid, options, linePens);
    ImportResult result{grid.cpcMode,
                        screen,
                        std::move(chosen.penColours),
                        std::move(chosen.penOfPixel),
                        0.0,
                        std::move(chosen.linePens),
                        std::move(chosen.lineColours)};
    if (!quick && (options.dither.chooseStrength || options.dither.chooseMethod)) result.chosenDither = chosen.dither;
    return result;
}

// The optimising dither's result, from the default dithering's `start`, with up to
// `colours` pens; nothing when the progress callback cancels it.
std::optional<ImportResult> optimisedResult(const GridPicture& grid, const ImportResult& start, int colours,
                                            const std::vector<Byte>& fixedColours,
                                            const std::function<bool(double)>& progress) {
    OptimiseOptions search;
    search.budget = defaultOptimiseBudget(grid.cpcMode);
    search.progress = progress;
    search.fixedColours = fixedColours;
    search.mostPens = static_cast<std::size_t>(colours);
    ImportResult best = start;
    if (!start.linePens.empty()) {
        search.budget = {};
        search.sweeps = linePenSweeps(grid.cpcMode);
        LinePenChoice lines{start.penColours, start.linePens, start.lineColours, start.penOfPixel};
        std::optional<LinePenChoice> found = optimiseLinePens(grid, lines, search);
        if (!found) return std::nullopt;
        best.penColours = std::move(found->penColours);
        best.lineColours = std::move(found->lineColours);
        best.penOfPixel = std::move(found->penOfPixel);
        return best;
    }
    std::optional<OptimisedDither> found = optimiseDither(grid, start.penColours, start.penOfPixel, search);
    if (!found) return std::nullopt;
    best.penColours = std::move(found->penColours);
    best.penOfPixel = std::move(found->penOfPixel);
    return best;
}

}  // namespace

DitherMethod defaultImportDither(Byte cpcMode, int linePens) {
    return linePens > 0 ? DitherMethod::Best : defaultDither(cpcMode);
}

int mostLinePens(const ImportSettings& settings) {
    // An overscan line has too little undrawn time for line pens.
    if (settings.screen == ScreenFormat::Overscan) return 0;
    const Byte mode = settings.cpcMode > 2 ? Byte{2} : settings.cpcMode;
    const int modePens = pensOfMode(mode);
    const int colours = settings.colours <= 0 ? modePens : std::min(settings.colours, modePens);
    const int fixedPens = std::max<int>(1, static_cast<int>(settings.fixedColours.size()));
    return std::clamp(colours - fixedPens, 0, maxLinePens(mode));
}

ImportResult ImportSession::run(const ImportSettings& settings) const { return *run(settings, {}); }

std::optional<ImportResult> ImportSession::run(const ImportSettings& given,
                                               const std::function<bool(double)>& progress) const {
    // Strength 0 dithers by no method, the search included, as ditherToPens has it.
    ImportSettings settings = given;
    if (settings.dither.method == DitherMethod::Best && settings.dither.strength <= 0)
        settings.dither.method = DitherMethod::None;
    Cache& cache = *cache_;
    const Byte mode = settings.cpcMode > 2 ? Byte{2} : settings.cpcMode;
    const GridKey gridKey{mode, settings.resize, settings.screen};
    const std::shared_ptr<const GridPicture> grid = cache.get(
        cache.grids, gridKey, [&] { return toModeGrid(cache.source, mode, settings.resize, settings.screen); });

    const int modePens = pensOfMode(mode);
    const int colours = settings.colours <= 0 ? modePens : std::min(settings.colours, modePens);
    const DitherOptions penDither = ditherForPenChoice(mode, settings.dither);
    const PenKey penKey = penKeyOf(settings, mode, colours, penDither);
    const int linePens = std::clamp(settings.linePens, 0, mostLinePens(settings));
    const ResultKey resultKey{penKey, settings.dither.method, settings.dither.strength, linePens};
    auto fastResult = [&](const DitherOptions& dither) {
        return cache.get(cache.results, ResultKey{penKey, dither.method, dither.strength, linePens}, [&] {
            if (std::optional<ImportResult> drawn =
                    asDrawn(*grid, static_cast<std::size_t>(colours), settings.fixedColours))
                return linePens > 0 ? withSameLinePens(std::move(*drawn), colours, linePens) : *drawn;
            if (linePens > 0)
                return linePenResult(*grid, settings.screen, PenOptions{colours, settings.fixedColours, dither},
                                     linePens);
            const std::shared_ptr<const PenChoice> pens = cache.get(cache.pens, penKey, [&] {
                return choosePensAndStrength(*grid, PenOptions{colours, settings.fixedColours, penDither});
            });
            const DitherOptions shown = chosenDithering(dither, penDither, *pens);
            ImportResult chosen{
                mode, settings.screen, pens->colours, ditherToPens(*grid, pens->colours, shown), 0.0, {}, {}};
            if (dither.chooseStrength || dither.chooseMethod) chosen.chosenDither = shown;
            return chosen;
        });
    };
    std::shared_ptr<const ImportResult> result;
    if (settings.dither.method != DitherMethod::Best) {
        result = fastResult(settings.dither);
    } else {
        {
            const std::lock_guard lock(cache.mutex);
            result = cache.results.find(resultKey);
        }
        if (!result) {
            // From the default dithering's result (an exact picture stays as it is).
            const std::shared_ptr<const ImportResult> start =
                fastResult({defaultDither(mode), settings.dither.strength, settings.dither.chooseStrength,
                            settings.dither.chooseMethod});
            const bool exact = asDrawn(*grid, static_cast<std::size_t>(colours), settings.fixedColours).has_value();
            std::optional<ImportResult> best =
                exact ? *start : optimisedResult(*grid, *start, colours, settings.fixedColours, progress);
            if (!best) return std::nullopt;
            const std::lock_guard lock(cache.mutex);
            result = cache.results.store(resultKey, std::make_shared<const ImportResult>(std::move(*best)));
        }
    }
    ImportResult out = *result;
    if (settings.score) out.score = measure(settings, out);
    return out;
}

namespace {

// The part of the canvas that shows the picture: all of it, but for Fit's border, which
// is no part of the picture and would count as a perfect match.
PixelRegion measuredRegion(const LinearImage& source, Byte mode, ResizeRule rule, ScreenFormat screen) {
    const int width = canvasWidth(screen);
    const int height = canvasHeight(screen);
    if (rule != ResizeRule::Fit ||
        (source.width == pictureWidth(mode, screen) && source.height == pictureHeight(screen)))
        return {0, 0, width, height};
    return targetRegion(placementOf(source.width, source.height, rule, screen), width, height);
}

LinearImage cropped(const LinearImage& canvas, const PixelRegion& region) {
    if (region.left == 0 && region.top == 0 && region.right == canvas.width && region.bottom == canvas.height)
        return canvas;
    LinearImage part;
    part.width = region.right - region.left;
    part.height = region.bottom - region.top;
    part.rgb.resize(part.pixelCount() * 3);
    for (int y = region.top; y < region.bottom; ++y)
        std::copy_n(canvas.pixel(region.left, y), 3 * part.width, part.pixel(0, y - region.top));
    return part;
}

}  // namespace

ImportResult ImportSession::quickRun(const ImportSettings& settings) const {
    Cache& cache = *cache_;
    const Byte mode = settings.cpcMode > 2 ? Byte{2} : settings.cpcMode;
    const std::shared_ptr<const GridPicture> grid =
        cache.get(cache.grids, GridKey{mode, settings.resize, settings.screen},
                  [&] { return toModeGrid(cache.source, mode, settings.resize, settings.screen); });
    const int modePens = pensOfMode(mode);
    const int colours = settings.colours <= 0 ? modePens : std::min(settings.colours, modePens);
    const DitherOptions penDither = ditherForPenChoice(mode, settings.dither);
    const PenKey penKey = penKeyOf(settings, mode, colours, penDither);
    // The best dithering's quick answer is the default's.
    DitherOptions dither = settings.dither;
    if (dither.method == DitherMethod::Best) dither.method = defaultDither(mode);
    // Line pens are chosen with their dithering: any of their settings not run before
    // needs a new search.
    const int linePens = std::clamp(settings.linePens, 0, mostLinePens(settings));
    bool known = false;
    {
        const std::lock_guard lock(cache.mutex);
        known = linePens > 0
                    ? cache.results.find(ResultKey{penKey, dither.method, dither.strength, linePens}) != nullptr
                    : cache.pens.find(penKey) != nullptr;
    }
    if (known || asDrawn(*grid, static_cast<std::size_t>(colours), settings.fixedColours)) {
        ImportSettings same = settings;
        same.dither = dither;
        return run(same);
    }
    ImportResult result;
    if (linePens > 0) {
        result =
            linePenResult(*grid, settings.screen, PenOptions{colours, settings.fixedColours, dither}, linePens, true);
    } else {
        result.cpcMode = mode;
        result.screen = settings.screen;
        result.penColours = bestByProxy(*grid, PenOptions{colours, settings.fixedColours, penDither});
        result.penOfPixel = ditherToPens(*grid, result.penColours, dither);
    }
    result.quick = true;
    if (settings.score) result.score = measure(settings, result);
    return result;
}

double ImportSession::measure(const ImportSettings& settings, const ImportResult& result) const {
    if (result.linePens.empty()) return measure(settings, result.penOfPixel, result.penColours);
    const Byte mode = settings.cpcMode > 2 ? Byte{2} : settings.cpcMode;
    return measureCanvas(settings, cpcCanvasOfLines(mode, result.penOfPixel, penColoursOfLines(result),
                                                    result.penColours.size(), settings.screen));
}

LinePenColours linePenColoursOf(const ImportResult& result) {
    LinePenColours colours{result.cpcMode, {}, result.linePens, result.lineColours};
    std::copy_n(result.penColours.begin(), std::min<std::size_t>(result.penColours.size(), 16),
                colours.penColours.begin());
    return colours;
}

std::vector<Byte> penColoursOfLines(const ImportResult& result) {
    return penColoursOfLines(LinePenChoice{result.penColours, result.linePens, result.lineColours, {}});
}

double ImportSession::measure(const ImportSettings& settings, std::span<const Byte> penOfPixel,
                              std::span<const Byte> penColours) const {
    const Byte mode = settings.cpcMode > 2 ? Byte{2} : settings.cpcMode;
    return measureCanvas(settings, cpcCanvas(mode, penOfPixel, penColours, settings.screen));
}

double ImportSession::measureCanvas(const ImportSettings& settings, const LinearImage& shown) const {
    Cache& cache = *cache_;
    const Byte mode = settings.cpcMode > 2 ? Byte{2} : settings.cpcMode;
    const PixelRegion region = measuredRegion(cache.source, mode, settings.resize, settings.screen);
    const std::shared_ptr<const ScielabReference> reference =
        cache.get(cache.references, GridKey{mode, settings.resize, settings.screen}, [&] {
            return ScielabReference(cropped(toCanvas(cache.source, mode, settings.resize, settings.screen), region));
        });
    return reference->difference(cropped(shown, region));
}

void installImport(ProgramState& state, const ImportResult& result, const Log& log) {
    log.DEBUG("- Importing Picture ...");
    log.DEBUG("Mode = ", result.cpcMode);
    if (result.screen == ScreenFormat::Overscan) log.DEBUG("Screen = overscan");
    for (std::size_t pen = 0; pen < result.penColours.size(); ++pen)
        log.DEBUG("Import pen " + std::to_string(pen) + " = ", result.penColours[pen]);
    state.cpcMode = result.cpcMode;
    state.screen = result.screen;
    state.pcxPalette.fill(0);
    for (std::size_t pen = 0; pen < result.penColours.size(); ++pen) {
        const Rgb colour = cpcDisplayColor(result.penColours[pen]);
        state.pcxPalette[3 * pen] = colour.r;
        state.pcxPalette[3 * pen + 1] = colour.g;
        state.pcxPalette[3 * pen + 2] = colour.b;
    }
    state.pixelData = result.penOfPixel;
    state.colorUsage.fill(0);
    for (const Byte pen : state.pixelData) ++state.colorUsage[pen];
    buildPalette(state, log);
}

}  // namespace varnoke
