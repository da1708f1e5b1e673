// varnoke-pcx-convert as a user runs it: exit status, what it prints, which files it
// leaves.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace varnoke {
namespace {

using test::runConverter;
using test::sample;

// The bytes and the --log lines are the golden files' to check.
TEST(ConverterProgram, ConvertsSilentlyWithoutTheLog) {
    const test::TestFolder folder;
    const test::ProgramRun run = runConverter(sample("sunset-mode1.pcx") + " " + folder.str("picture.scr"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"picture.pal", "picture.scr"}));
}

TEST(ConverterProgram, RefusalsSayWhyAndWriteNothing) {
    const test::TestFolder folder;
    const std::string six = sample("sunset-mode1-six-colours.pcx") + " " + folder.str("six");
    test::ProgramRun run = runConverter(six);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("pen 4"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--map 0="), std::string::npos) << run.err;
    EXPECT_TRUE(folder.names().empty());
    run = runConverter("--map 0=2 --map 25=24 " + six);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"six.pal", "six.scr"}));

    test::writeBytes(folder / "gif.pcx", {'G', 'I', 'F', '8', '9', 'a'});
    const std::pair<std::string, std::string> refused[] = {
        {folder.str("gif.pcx") + " " + folder.str("x"), "gif.pcx"},
        {folder.str("missing.pcx") + " " + folder.str("x"), "No such file"},
        {sample("sunset-mode0.pcx") + " " + folder.str("no-folder/x"), "cannot create"},
    };
    for (const auto& [arguments, reason] : refused) {
        run = runConverter(arguments);
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    }
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"gif.pcx", "six.pal", "six.scr"}));
}

TEST(ConverterProgram, UsageErrorsExitWithTwoAndOneLine) {
    const std::string pcx = sample("sunset-mode1.pcx") + " ";
    for (const std::string& arguments : std::vector<std::string>{
             "", "only-one.pcx", "--low 63 a b", "--high x a b", "--map 27=1 a b", "--map 3 a b", "--frobnicate a b",
             "--low", "--low 12abc a b", "--low= a b", "--c000=1 a b", "a b c", "a ''", "--preview '' a b",
             "--show " + pcx + "--low 21 y.png", "--show " + pcx + "--low 22 y.png", "--screen full a b",
             "--screen overscan --c000 " + pcx + "x"}) {
        const test::ProgramRun run = runConverter(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.err.find("--help"), std::string::npos) << arguments;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << arguments << ": " << run.err;
    }
    const test::ProgramRun help = runConverter("--help"), version = runConverter("--version");
    EXPECT_EQ(help.status + version.status, 0);
    EXPECT_NE(help.out.find("--map F=H"), std::string::npos);
    EXPECT_TRUE(version.out.starts_with("varnoke-pcx-convert 1.")) << version.out;
}

TEST(ConverterProgram, ValuesAfterEqualsAndFileNamesAfterDoubleDash) {
    // --low 0 --high 0 makes every component that is not 0 full: the same bytes as the
    // options given with '=', and "--" lets a file name start with '-'.
    const test::TestFolder folder;
    EXPECT_EQ(runConverter("--low 0 --high 0 " + sample("sunset-mode1.pcx") + " " + folder.str("a")).status, 0);
    const test::ProgramRun run =
        test::runCommand("cd '" + folder.path().string() + "' && " VARNOKE_CONVERTER " --low=0 --high=0 -- " +
                         sample("sunset-mode1.pcx") + " -out");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::readBytes(folder / "-out.scr"), test::readBytes(folder / "a.scr"));
    EXPECT_EQ(test::readBytes(folder / "a.scr").size(), 16512u);  // neither file missing
}

// An overscan picture: its 32768-byte file, a preview of the whole 832 × 576 display,
// which --show draws again from the file.
TEST(ConverterProgram, OverscanFileAndItsWholeDisplay) {
    const test::TestFolder folder;
    const test::ProgramRun run = runConverter("--screen overscan --mode 1 --preview " + folder.str("p.png") + " " +
                                              sample("sunset-mode0.pcx") + " " + folder.str("o"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::readBytes(folder / "o.scr").size(), 32768u);
    const test::Bytes png = test::readBytes(folder / "p.png");
    EXPECT_EQ(std::make_pair(png.at(18) << 8 | png.at(19), png.at(22) << 8 | png.at(23)), std::make_pair(832, 576));
    EXPECT_EQ(runConverter("--show " + folder.str("o.scr") + " " + folder.str("s.png")).status, 0);
    EXPECT_EQ(test::readBytes(folder / "s.png"), png);
}

}  // namespace
}  // namespace varnoke
