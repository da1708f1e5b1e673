// The import's colour steps: pen choice, dithering and the quality measure, on a picture
// made in memory (smooth colour gradients with fine texture, like a photo).
#include "import/dithering.h"
#include "import/pen_choice.h"
#include "import/quality_measure.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

namespace varnoke {
namespace {

GridPicture photoLike(Byte mode) {
    GridPicture picture;
    picture.cpcMode = mode;
    const int width = 160 << mode;
    picture.image = {width, 200, std::vector<float>(static_cast<std::size_t>(3 * width * 200))};
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / static_cast<float>(width), v = static_cast<float>(y) / 200.0f;
            const float texture = 0.05f * std::sin(static_cast<float>(x * 7 + y * 13));
            float* p = picture.image.pixel(x, y);
            p[0] = std::clamp(u * u + texture, 0.0f, 1.0f);
            p[1] = std::clamp(0.6f * v + 0.3f * std::sin(6 * u) * std::sin(6 * u), 0.0f, 1.0f);
            p[2] = std::clamp(1.0f - u * v - texture, 0.0f, 1.0f);
        }
    }
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

}  // namespace
}  // namespace varnoke
