// The import's colour steps: pen choice, dithering and the quality measure, on a picture
// made in memory (smooth colour gradients with fine texture, like a photo), and the whole
// import of a decoded picture onto the standard and the overscan screen.
#include "import/dithering.h"
#include "import/import_session.h"
#include "import/pen_choice.h"
#include "import/quality_measure.h"
#include "main/file_access.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace varnoke {
namespace {

LinearImage photoImage(int width, int height) {
    LinearImage image{width, height, std::vector<float>(static_cast<std::size_t>(3 * width * height))};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / static_cast<float>(width);
            const float v = static_cast<float>(y) / static_cast<float>(height);
            const float texture = 0.05f * std::sin(static_cast<float>(x * 7 + y * 13));
            float* p = image.pixel(x, y);
            p[0] = std::clamp(u * u + texture, 0.0f, 1.0f);
            p[1] = std::clamp(0.6f * v + 0.3f * std::sin(6 * u) * std::sin(6 * u), 0.0f, 1.0f);
            p[2] = std::clamp(1.0f - u * v - texture, 0.0f, 1.0f);
        }
    }
    return image;
}

GridPicture photoLike(Byte mode) {
    GridPicture picture;
    picture.cpcMode = mode;
    picture.image = photoImage(160 << mode, 200);
    return picture;
}

void BM_ChoosePens(benchmark::State& state) {
    const GridPicture picture = photoLike(static_cast<Byte>(state.range(0)));
    PenOptions options;
    options.dither.method = defaultDither(picture.cpcMode);
    for (auto _ : state) benchmark::DoNotOptimize(choosePens(picture, options));
}
BENCHMARK(BM_ChoosePens)->ArgName("mode")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// A change of method on a picture whose pens are chosen: what the window's preview redoes.
void BM_Dither(benchmark::State& state) {
    const GridPicture picture = photoLike(static_cast<Byte>(state.range(0)));
    const auto method = static_cast<DitherMethod>(state.range(1));
    const std::vector<Byte> pens = choosePens(picture, {});
    for (auto _ : state) benchmark::DoNotOptimize(ditherToPens(picture, pens, {method, 100}));
}
BENCHMARK(BM_Dither)->ArgNames({"mode", "method"})->ArgsProduct({{0, 1, 2}, {1, 6, 8}})->Unit(benchmark::kMillisecond);

void BM_QualityMeasure(benchmark::State& state) {
    const GridPicture picture = photoLike(1);
    const std::vector<Byte> pens = choosePens(picture, {});
    const LinearImage result = cpcCanvas(1, ditherToPens(picture, pens, {}), pens);
    const LinearImage reference = cpcCanvas(1, std::vector<Byte>(picture.image.pixelCount(), 1), pens);
    for (auto _ : state) benchmark::DoNotOptimize(scielabDifference(reference, result));
}
BENCHMARK(BM_QualityMeasure)->Unit(benchmark::kMillisecond);

// The import's own work on a decoded 1250 × 800 picture (the grid, the pen search, the
// dithering), in a new session each time: standard screen (0) against overscan (1).
void BM_ImportRun(benchmark::State& state) {
    const LinearImage source = photoImage(1250, 800);
    ImportSettings settings;
    settings.cpcMode = static_cast<Byte>(state.range(1));
    settings.screen = state.range(0) == 0 ? ScreenFormat::Standard : ScreenFormat::Overscan;
    for (auto _ : state) benchmark::DoNotOptimize(ImportSession(source).run(settings));
}
BENCHMARK(BM_ImportRun)->ArgNames({"overscan", "mode"})->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

// A change in the import dialog that needs a new pen search (the number of pens, the fixed
// colours, dithering on or off; grid:0 also a new mode or resize rule), on the README's
// photo: a session that has only the decoded picture (and, with grid:1, the mode's grid)
// asked for the mode's result. quick:1 is the first answer the dialog can show, quick:0
// the full search that replaces it.
void BM_NewPenSearch(benchmark::State& state) {
    const auto mode = static_cast<Byte>(state.range(0));
    const bool quick = state.range(1) != 0;
    const bool gridKnown = state.range(2) != 0;
    static std::optional<LinearImage> photo;
    if (!photo) {
        const Expected<std::vector<Byte>> file =
            readWholeFile("/usr/share/backgrounds/mate/nature/Garden.jpg", 1u << 26);
        if (!file) {
            state.SkipWithError("mate-backgrounds' Garden.jpg is missing");
            return;
        }
        DecodeOptions decode;
        decode.minimumSide = kImportMinimumSide;
        photo = ImportSession::open(file.value(), decode).value().source();
    }
    ImportSettings settings;
    settings.cpcMode = mode;
    settings.dither.method = defaultDither(mode);
    for (auto _ : state) {
        state.PauseTiming();
        const ImportSession session(*photo);
        if (gridKnown) {
            ImportSettings other = settings;
            other.colours = 2;
            benchmark::DoNotOptimize(session.quickRun(other));
        }
        state.ResumeTiming();
        benchmark::DoNotOptimize(quick ? session.quickRun(settings) : session.run(settings));
    }
}
BENCHMARK(BM_NewPenSearch)
    ->ArgNames({"mode", "quick", "grid"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnoke
