// Whole conversions against stored files: each folder under tests/data/golden holds a
// picture, the converter's options, and the expected .scr, .pal and log. When a change
// of output is intended, tests/data/golden/regenerate writes them again.
#include "convert/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace varnoke {
namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// "" when equal; otherwise where the two first differ.
std::string firstDifference(const std::string& actual, const std::string& expected) {
    if (actual == expected) return "";
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
    std::ostringstream where;
    where << "sizes " << actual.size() << " and " << expected.size() << ", first difference at offset " << i
          << " (0x" << std::hex << i << ")";
    return where.str();
}

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> result;
    for (std::string word; in >> word;) result.push_back(word);
    return result;
}

class GoldenConversion : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenConversion, BytesAndLogMatch) {
    const fs::path folder = fs::path(VARNOKE_TEST_DATA_DIR) / "golden" / GetParam();
    const fs::path output = fs::temp_directory_path() / ("varnoke-golden-" + GetParam() + "-" + std::to_string(::getpid()));
    fs::create_directories(output);

    std::vector<std::string> arguments = words(readText(folder / "args"));
    arguments.push_back((folder / "input.pcx").string());
    arguments.push_back((output / "expected.scr").string());
    arguments.push_back("--log");
    Expected<ConvertOptions> options = parseCommandLine(arguments);
    ASSERT_TRUE(options) << options.reason();
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(runConverter(options.value(), out, err), 0) << err.str();

    EXPECT_EQ(firstDifference(readText(output / "expected.scr"), readText(folder / "expected.scr")), "");
    EXPECT_EQ(firstDifference(readText(output / "expected.pal"), readText(folder / "expected.pal")), "");
    // The stored log was made in the case's folder with relative names.
    std::string log = out.str();
    for (const auto& [from, to] : {std::pair{(folder / "input.pcx").string(), std::string("input.pcx")},
                                   std::pair{(output / "expected.scr").string(), std::string("expected.scr")}})
        log.replace(log.find(from), from.size(), to);
    EXPECT_EQ(firstDifference(log, readText(folder / "expected.log")), "");
    fs::remove_all(output);
}

// Every folder that holds a case: a new folder is a new test, never silently skipped.
std::vector<std::string> goldenCases() {
    std::vector<std::string> cases;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(VARNOKE_TEST_DATA_DIR) / "golden"))
        if (entry.is_directory()) cases.push_back(entry.path().filename().string());
    std::sort(cases.begin(), cases.end());
    return cases;
}

TEST(GoldenCases, EveryFolderIsACompleteCase) {
    const std::vector<std::string> cases = goldenCases();
    EXPECT_GE(cases.size(), 4u);
    for (const std::string& name : cases)
        for (const char* file : {"args", "input.pcx", "expected.scr", "expected.pal", "expected.log"})
            EXPECT_TRUE(fs::exists(fs::path(VARNOKE_TEST_DATA_DIR) / "golden" / name / file)) << name << ": " << file;
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenConversion, ::testing::ValuesIn(goldenCases()),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace
}  // namespace varnoke
