// Whole processes: the converter on a mode 2 picture, and in the same run netpbm's
// pcxtoppm reading the same file into /dev/null. Each iteration starts one process and
// waits for it; the time is the wall time from spawning it to reaping it, and
// peak_rss_KiB the largest resident size that wait4 reports for it over all iterations.
// The children are started by varnoke-bench-spawn (spawn_server.cpp), whose own small
// size is the floor of that figure: /bin/true shows it.
//
// Reading the picture file whole is measured too: what converting is set against.
#include "bench_pictures.h"

#include "main/file_access.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace varnoke::bench {
namespace {

namespace fs = std::filesystem;

// A private folder for the pictures and the converter's output, removed at exit.
class WorkFolder {
public:
    WorkFolder() {
        std::string pattern = (fs::temp_directory_path() / "varnoke-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
        path_ = pattern;
        writeFile(path_ / "noise-mode2.pcx", makePcxFile(2, BodyKind::Incompressible, PaletteKind::TwoColours));
        // Photo-like pictures for the import (ImageMagick's plasma, fixed seeds, softened):
        // a 12-megapixel JPEG, and a 1-megapixel PNG with 8 and with 16 bits a sample.
        makePicture("-seed 1 -size 4000x3000 plasma:fractal -blur 0x2 -quality 90", "photo-12mp.jpg");
        makePicture("-seed 2 -size 1250x800 plasma:fractal -blur 0x2 -depth 8", "photo-1mp.png");
        makePicture("-seed 2 -size 1250x800 plasma:fractal -blur 0x2 -depth 16", "photo-1mp-16bit.png");
    }
    ~WorkFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    void makePicture(const std::string& arguments, const std::string& name) const {
        const std::string command = "convert " + arguments + " '" + (path_ / name).string() + "'";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot make " + name + " with ImageMagick");
    }

    fs::path path_;
};

const WorkFolder& workFolder() {
    static const WorkFolder folder;
    return folder;
}

fs::path pictureNamed(const std::string& name) {
    if (name == "sample") return fs::path(VARNOKE_SAMPLES_DIR) / "checkerboard-mode2.pcx";
    return workFolder().path() / "noise-mode2.pcx";
}

// The running varnoke-bench-spawn, talked to through two pipes.
class SpawnServer {
public:
    SpawnServer() {
        int toServer[2];
        int fromServer[2];
        if (::pipe2(toServer, O_CLOEXEC) != 0 || ::pipe2(fromServer, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot create pipes");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toServer[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromServer[1], STDOUT_FILENO);
        char* argv[] = {const_cast<char*>(VARNOKE_SPAWN_SERVER), nullptr};
        const int error = posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(toServer[0]);
        ::close(fromServer[1]);
        if (error != 0) throw std::runtime_error("cannot start " + std::string(VARNOKE_SPAWN_SERVER));
        requests_ = ::fdopen(toServer[1], "w");
        answers_ = ::fdopen(fromServer[0], "r");
    }
    ~SpawnServer() {
        std::fclose(requests_);  // end of input: the server returns
        std::fclose(answers_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }

    struct Child {
        int status = -1;
        long peakKiB = 0;
        double seconds = 0;
    };

    Child run(const std::vector<std::string>& arguments) {
        std::string line;
        for (const std::string& a : arguments) line += (line.empty() ? "" : "\t") + a;
        std::fprintf(requests_, "%s\n", line.c_str());
        std::fflush(requests_);
        Child child;
        long long nanoseconds = 0;
        if (std::fscanf(answers_, "%d %ld %lld", &child.status, &child.peakKiB, &nanoseconds) != 3) child.status = -1;
        child.seconds = static_cast<double>(nanoseconds) * 1e-9;
        return child;
    }

private:
    pid_t pid_ = 0;
    std::FILE* requests_ = nullptr;
    std::FILE* answers_ = nullptr;
};

SpawnServer& spawnServer() {
    static SpawnServer server;
    return server;
}

void processBenchmark(benchmark::State& state, const std::vector<std::string>& arguments) {
    long peak = 0;
    for (auto _ : state) {
        const SpawnServer::Child child = spawnServer().run(arguments);
        if (child.status != 0) {
            state.SkipWithError(("'" + arguments[0] + "' failed").c_str());
            break;
        }
        state.SetIterationTime(child.seconds);
        peak = std::max(peak, child.peakKiB);
    }
    state.counters["peak_rss_KiB"] = static_cast<double>(peak);
}

// The cost of any process at all on this machine.
void BM_EmptyProcess(benchmark::State& state) { processBenchmark(state, {"/bin/true"}); }
BENCHMARK(BM_EmptyProcess)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The converter of this build, or the one that VARNOKE_BENCH_CONVERTER names (to compare
// another build of it, linked differently for instance).
std::string converter() {
    const char* other = std::getenv("VARNOKE_BENCH_CONVERTER");
    return other != nullptr && *other != '\0' ? std::string(other) : std::string(VARNOKE_CONVERTER);
}

// Starting the converter and printing its usage text: the cost of loading the program
// and its libraries, before any picture.
void BM_ConverterStartup(benchmark::State& state) { processBenchmark(state, {converter(), "--help"}); }
BENCHMARK(BM_ConverterStartup)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Arg "noise" 0: the bundled checkerboard sample (17 KB); 1: a 128 KB picture of single
// pixels with two colours, the longest body a mode 2 picture has.
std::string pictureOfArg(const benchmark::State& state) { return state.range(0) == 0 ? "sample" : "noise"; }

// Arg "shm" 0: the output goes to the temporary folder (on disk here); 1: to /dev/shm,
// a memory file system, which leaves out the disk file system's cost of replacing files.
void BM_ConverterProcess(benchmark::State& state) {
    const fs::path folder = state.range(1) == 0 ? workFolder().path() : fs::path("/dev/shm");
    const std::string output = (folder / ("varnoke-bench-" + std::to_string(::getpid()) + ".scr")).string();
    processBenchmark(state, {converter(), pictureNamed(pictureOfArg(state)).string(), output});
    std::error_code ignored;
    fs::remove(output, ignored);
    fs::remove(fs::path(output).replace_extension(".pal"), ignored);
}
BENCHMARK(BM_ConverterProcess)
    ->ArgNames({"noise", "shm"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// The whole import of a photo to mode 0 screen files: arg 0, the 12-megapixel JPEG;
// 1, the 1-megapixel PNG (8 bits a sample, as most are); 2, the same with 16 bits.
void BM_ImportProcess(benchmark::State& state) {
    const char* const pictures[] = {"photo-12mp.jpg", "photo-1mp.png", "photo-1mp-16bit.png"};
    const fs::path picture = workFolder().path() / pictures[state.range(0)];
    const std::string output = (workFolder().path() / "import.scr").string();
    processBenchmark(state, {converter(), picture.string(), output});
}
BENCHMARK(BM_ImportProcess)->ArgName("picture")->DenseRange(0, 2)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same imports onto the overscan screen (--screen overscan), to compare with the above.
void BM_OverscanImportProcess(benchmark::State& state) {
    const char* const pictures[] = {"photo-12mp.jpg", "photo-1mp.png", "photo-1mp-16bit.png"};
    const fs::path picture = workFolder().path() / pictures[state.range(0)];
    const std::string output = (workFolder().path() / "overscan.scr").string();
    processBenchmark(state, {converter(), "--screen", "overscan", picture.string(), output});
}
BENCHMARK(BM_OverscanImportProcess)
    ->ArgName("picture")
    ->DenseRange(0, 2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The whole import of the 12-megapixel JPEG with the optimising dither, in each mode.
void BM_BestImportProcess(benchmark::State& state) {
    const fs::path picture = workFolder().path() / "photo-12mp.jpg";
    const std::string output = (workFolder().path() / "best.scr").string();
    processBenchmark(
        state, {converter(), "--mode", std::to_string(state.range(0)), "--dither", "best", picture.string(), output});
}
BENCHMARK(BM_BestImportProcess)->ArgName("mode")->DenseRange(0, 2)->UseManualTime()->Unit(benchmark::kMillisecond);

// The 12-megapixel JPEG imported with the most line pens: arg 0 mode 0 (--line-pens 3),
// 1 mode 1 (--line-pens 3), 2 mode 2 (--line-pens 1); the screen and raster files.
void BM_LinePensProcess(benchmark::State& state) {
    const std::string mode = std::to_string(state.range(0));
    const fs::path picture = workFolder().path() / "photo-12mp.jpg";
    const std::string output = (workFolder().path() / "lines.scr").string();
    processBenchmark(
        state, {converter(), "--mode", mode, "--line-pens", state.range(0) == 2 ? "1" : "3", picture.string(), output});
}
BENCHMARK(BM_LinePensProcess)->ArgName("mode")->DenseRange(0, 2)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_PcxtoppmProcess(benchmark::State& state) {
    const std::string program = VARNOKE_PCXTOPPM;
    if (program.empty()) {
        state.SkipWithError("pcxtoppm was not found when the benchmarks were configured");
        return;
    }
    processBenchmark(state, {program, pictureNamed(pictureOfArg(state)).string()});
}
BENCHMARK(BM_PcxtoppmProcess)->ArgName("noise")->DenseRange(0, 1)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Reading the 128 KB picture file whole, as the Open command does.
void BM_ReadPictureFile(benchmark::State& state) {
    const fs::path path = pictureNamed("noise");
    std::size_t size = 0;
    for (auto _ : state) {
        Expected<std::vector<Byte>> file = readWholeFile(path, 16u << 20);
        if (!file) state.SkipWithError(file.reason().c_str());
        size = file.value().size();
        benchmark::DoNotOptimize(file);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_ReadPictureFile);

}  // namespace
}  // namespace varnoke::bench
