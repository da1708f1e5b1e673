// The varnoke-pcx-convert program as a user runs it: exit status, what it prints, and
// which files it leaves.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    int status;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ConverterProgram : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("varnoke-cli-" + std::to_string(::getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    ProgramRun run(const std::string& arguments) const {
        const std::string command = std::string(VARNOKE_CONVERTER) + " " + arguments + " > " +
                                    (folder_ / "stdout").string() + " 2> " + (folder_ / "stderr").string();
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(folder_ / "stdout"), slurp(folder_ / "stderr")};
    }
    static std::string sample(const char* name) { return std::string(VARNOKE_SAMPLES_DIR) + "/" + name; }

    fs::path folder_;
};

TEST_F(ConverterProgram, ConvertsSilentlyOrWithTheLog) {
    const std::string out = (folder_ / "picture.scr").string();
    ProgramRun result = run(sample("sunset-mode1.pcx") + " " + out);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(fs::file_size(folder_ / "picture.scr"), 16512u);
    EXPECT_EQ(fs::file_size(folder_ / "picture.pal"), 367u);

    result = run("--log " + sample("sunset-mode1.pcx") + " " + out);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.starts_with(sample("sunset-mode1.pcx") + "\nEntete PCX : \nFormat = 10\n")) << result.out;
    EXPECT_TRUE(result.out.ends_with("Checksum = 1616\nSaving Ok ... \n"));
    EXPECT_EQ(result.out.find("Viewing Picture"), std::string::npos);
}

TEST_F(ConverterProgram, RefusedPaletteSaysHowToFixIt) {
    const std::string out = (folder_ / "six").string();
    ProgramRun result = run(sample("sunset-mode1-six-colours.pcx") + " " + out);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("pen 4"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("--map 0="), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(folder_ / "six.scr"));
    EXPECT_FALSE(fs::exists(folder_ / "six.pal"));

    result = run("--map 0=2 --map 25=24 " + sample("sunset-mode1-six-colours.pcx") + " " + out);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(folder_ / "six.scr"));
}

TEST_F(ConverterProgram, RejectedInputAndUnwritableOutput) {
    { std::ofstream(folder_ / "not-a-picture.pcx") << "GIF89a, not a PCX at all" << std::string(200, '\0'); }
    ProgramRun result = run((folder_ / "not-a-picture.pcx").string() + " " + (folder_ / "x").string());
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("not-a-picture.pcx"), std::string::npos) << result.err;
    // Its content says GIF, whatever its name says: it is imported, and refused as a GIF.
    EXPECT_NE(result.err.find("the GIF file is damaged"), std::string::npos) << result.err;

    result = run((folder_ / "missing.pcx").string() + " " + (folder_ / "x").string());
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("No such file"), std::string::npos) << result.err;

    result = run(sample("sunset-mode0.pcx") + " " + (folder_ / "no-folder" / "x").string());
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("cannot create"), std::string::npos) << result.err;
}

TEST_F(ConverterProgram, UsageErrorsExitWithTwoAndOneLine) {
    const std::string pcx = sample("sunset-mode1.pcx") + " ";
    for (const std::string& arguments : std::vector<std::string>{
             "", "only-one.pcx", "--low 63 a b", "--high x a b", "--map 27=1 a b", "--map 3 a b", "--frobnicate a b",
             "--low", "--low 12abc a b", "--low= a b", "--c000=1 a b", "a b c", "a ''", "--preview '' a b",
             "--show " + pcx + "--low 21 y.png", "--show " + pcx + "--low 22 y.png", "--show " + pcx + "--fit y.png"}) {
        const ProgramRun result = run(arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_NE(result.err.find("--help"), std::string::npos) << arguments;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << arguments << ": " << result.err;
    }
    const ProgramRun help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--map F=H"), std::string::npos);
    const ProgramRun version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("varnoke-pcx-convert 1.")) << version.out;
}

TEST_F(ConverterProgram, ValuesAfterEqualsAndFileNamesAfterDoubleDash) {
    // --low=0 --high=0 makes every component that is not 0 full: the same bytes as the
    // option given apart, and "--" lets a file name start with '-'.
    EXPECT_EQ(run("--low 0 --high 0 " + sample("sunset-mode1.pcx") + " " + (folder_ / "a").string()).status, 0);
    fs::current_path(folder_);
    const ProgramRun result = run("--low=0 --high=0 -- " + sample("sunset-mode1.pcx") + " -out");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(slurp(folder_ / "-out.scr"), slurp(folder_ / "a.scr"));
    EXPECT_NE(slurp(folder_ / "a.scr"), "");
}

}  // namespace
