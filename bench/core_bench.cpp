// The core's steps, one benchmark each, on pictures made in memory (bench_pictures.h).
// The figures that matter are ratios and medians: run with --benchmark_repetitions
// (docs/benchmarks.md).
#include "bench_pictures.h"

#include "cpc/save_command.h"
#include "cpc/screen_encoding.h"
#include "display/picture_display.h"
#include "palette/palette_building.h"
#include "pcx/pcx_decoder.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace varnoke::bench {
namespace {

// The pixels of a mode 2 picture: what decoding produces.
constexpr std::size_t kMode2Pixels = 640 * 200;

// The yardstick: copying as many bytes as the decoder produces.
void BM_PlainCopy(benchmark::State& state) {
    std::vector<Byte> from(kMode2Pixels, 7);
    std::vector<Byte> to(kMode2Pixels);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kMode2Pixels));
}
BENCHMARK(BM_PlainCopy);

// The second yardstick: only counting how many pixels use each index, as decoding must,
// with four tables so that equal neighbours do not wait on each other. No decoder of an
// incompressible picture can beat it.
void BM_CountPixels(benchmark::State& state) {
    const std::vector<Byte> file = makePcxFile(2, BodyKind::Incompressible, PaletteKind::Rich);
    const Byte* pixels = file.data() + 128;
    for (auto _ : state) {
        std::uint32_t counts[4][256] = {};
        for (std::size_t i = 0; i < kMode2Pixels; i += 4) {
            ++counts[0][pixels[i]];
            ++counts[1][pixels[i + 1]];
            ++counts[2][pixels[i + 2]];
            ++counts[3][pixels[i + 3]];
        }
        benchmark::DoNotOptimize(counts);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kMode2Pixels));
}
BENCHMARK(BM_CountPixels);

void decodeBenchmark(benchmark::State& state, BodyKind body) {
    const std::vector<Byte> file = makePcxFile(2, body, PaletteKind::Rich);
    for (auto _ : state) {
        Expected<DecodedPicture> picture = decodePCX(file, 2);
        if (!picture) state.SkipWithError(picture.reason().c_str());
        benchmark::DoNotOptimize(picture);
    }
    // Bytes of pixels produced, so that the figure compares with the plain copy.
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kMode2Pixels));
    state.counters["file_bytes"] = static_cast<double>(file.size());
}
void BM_DecodeIncompressible(benchmark::State& state) { decodeBenchmark(state, BodyKind::Incompressible); }
void BM_DecodeLongRuns(benchmark::State& state) { decodeBenchmark(state, BodyKind::LongRuns); }
BENCHMARK(BM_DecodeIncompressible);
BENCHMARK(BM_DecodeLongRuns);

// Palette building does the same work whatever the picture's size.
void BM_BuildPalette(benchmark::State& state) {
    ProgramState program = openedState(2, BodyKind::Incompressible, PaletteKind::Rich);
    const Log log;
    int low = 21;
    for (auto _ : state) {
        // Alternate between two thresholds so that every run really changes the pens.
        program.thresholdLow = low;
        low = low == 21 ? 20 : 21;
        buildPalette(program, log);
        benchmark::DoNotOptimize(program.inkBoxes.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BuildPalette);

// Args: the screen mode.
void BM_DrawPicture(benchmark::State& state) {
    const auto mode = static_cast<Byte>(state.range(0));
    const ProgramState program = openedState(mode, BodyKind::Incompressible, PaletteKind::Rich);
    PictureArea area;
    const Log log;
    for (auto _ : state) {
        drawPicture(program, area, log);
        benchmark::DoNotOptimize(area.pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(program.pixelData.size()));
}
BENCHMARK(BM_DrawPicture)->ArgName("mode")->DenseRange(0, 2);

void BM_BlankPictureArea(benchmark::State& state) {
    PictureArea area;
    for (auto _ : state) {
        blankPictureArea(area, Rgb{0xF0, 0xF0, 0xF0});
        benchmark::DoNotOptimize(area.pixels.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BlankPictureArea);

void BM_EncodeScreenImage(benchmark::State& state) {
    const auto mode = static_cast<Byte>(state.range(0));
    const ProgramState program = openedState(mode, BodyKind::Incompressible, PaletteKind::Rich);
    for (auto _ : state) {
        ScreenImage image = encodeScreenImage(program);
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 16000);
}
BENCHMARK(BM_EncodeScreenImage)->ArgName("mode")->DenseRange(0, 2);

// Both files in memory, with the 400-odd log lines going to a sink that drops them.
void BM_BuildOutputFiles(benchmark::State& state) {
    const auto mode = static_cast<Byte>(state.range(0));
    const ProgramState program = openedState(mode, BodyKind::Incompressible, PaletteKind::Rich);
    const Log log([](std::string_view line) { benchmark::DoNotOptimize(line.data()); });
    for (auto _ : state) {
        OutputFiles files = buildOutputFiles(program, ScreenLayout::At4000, log);
        benchmark::DoNotOptimize(files.screenFile.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BuildOutputFiles)->ArgName("mode")->DenseRange(0, 2);

}  // namespace
}  // namespace varnoke::bench

BENCHMARK_MAIN();
