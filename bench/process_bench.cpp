// Whole processes: the converter on a mode 2 picture, and in the same run netpbm's
// pcxtoppm reading the same file into /dev/null. Each iteration spawns one process and
// waits for it; the time is wall time, and peak_rss_KiB is the largest resident size
// that wait4 reports for the child over all iterations.
//
// Reading the picture from the page cache is measured too: what converting is set
// against.
#include "bench_pictures.h"

#include "main/file_access.h"

#include <benchmark/benchmark.h>

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
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
    }
    ~WorkFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
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

struct ChildResult {
    int status = -1;
    long maxRssKiB = 0;
};

// Starts `arguments` with standard output (and error) sent to /dev/null and waits.
ChildResult runChild(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ChildResult result;
    if (error != 0) return result;

    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) return result;
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.maxRssKiB = usage.ru_maxrss;  // kilobytes on Linux
    return result;
}

void processBenchmark(benchmark::State& state, const std::vector<std::string>& arguments) {
    long peak = 0;
    for (auto _ : state) {
        const ChildResult child = runChild(arguments);
        if (child.status != 0) {
            state.SkipWithError(("'" + arguments[0] + "' failed").c_str());
            break;
        }
        peak = std::max(peak, child.maxRssKiB);
    }
    state.counters["peak_rss_KiB"] = static_cast<double>(peak);
}

// Arg 0: the bundled checkerboard sample (17 KB); arg 1: a 128 KB picture of single
// pixels with two colours.
std::string pictureOfArg(const benchmark::State& state) { return state.range(0) == 0 ? "sample" : "noise"; }

void BM_ConverterProcess(benchmark::State& state) {
    const std::string output = (workFolder().path() / "out.scr").string();
    processBenchmark(state, {VARNOKE_CONVERTER, pictureNamed(pictureOfArg(state)).string(), output});
}
BENCHMARK(BM_ConverterProcess)->ArgName("noise")->DenseRange(0, 1)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_PcxtoppmProcess(benchmark::State& state) {
    const std::string program = VARNOKE_PCXTOPPM;
    if (program.empty()) {
        state.SkipWithError("pcxtoppm was not found when the benchmarks were configured");
        return;
    }
    processBenchmark(state, {program, pictureNamed(pictureOfArg(state)).string()});
}
BENCHMARK(BM_PcxtoppmProcess)->ArgName("noise")->DenseRange(0, 1)->UseRealTime()->Unit(benchmark::kMicrosecond);

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
