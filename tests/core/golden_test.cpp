// Whole conversions against stored files: every folder under tests/data/golden holds a
// picture, the converter's options, and the expected .scr, .pal and log. When a change
// of output is intended, tests/data/golden/regenerate writes them again.
#include "convert/command_line.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>

namespace varnoke {
namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
    const test::Bytes bytes = test::readBytes(path);
    return {bytes.begin(), bytes.end()};
}

// "" when equal; otherwise where the two first differ.
std::string firstDifference(const std::string& actual, const std::string& expected) {
    if (actual == expected) return "";
    const std::size_t i = static_cast<std::size_t>(
        std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end()).first - actual.begin());
    return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
           ", first difference at offset " + std::to_string(i);
}

// Every folder that holds a case: a new folder is a new test, never silently skipped (and
// no folder at all fails as an uninstantiated suite; a missing file fails its case).
std::vector<std::string> goldenCases() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(VARNOKE_TEST_DATA_DIR) / "golden"))
        if (entry.is_directory()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class GoldenConversion : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenConversion, BytesAndLogMatch) {
    const fs::path folder = fs::path(VARNOKE_TEST_DATA_DIR) / "golden" / GetParam();
    const test::TestFolder output;
    std::istringstream args(readText(folder / "args"));
    std::vector<std::string> arguments{std::istream_iterator<std::string>(args), {}};
    const std::string input = (folder / "input.pcx").string(), target = output.str("expected.scr");
    arguments.insert(arguments.end(), {input, target, "--log"});
    Expected<ConvertOptions> options = parseCommandLine(arguments);
    ASSERT_TRUE(options) << options.reason();
    std::ostringstream out, err;
    ASSERT_EQ(runConverter(options.value(), out, err), 0) << err.str();

    EXPECT_EQ(firstDifference(readText(output / "expected.scr"), readText(folder / "expected.scr")), "");
    EXPECT_EQ(firstDifference(readText(output / "expected.pal"), readText(folder / "expected.pal")), "");
    // The stored log was made in the case's folder with relative names.
    std::string log = out.str();
    for (const auto& [from, to] : {std::pair{input, "input.pcx"}, std::pair{target, "expected.scr"}})
        log.replace(log.find(from), from.size(), to);
    EXPECT_EQ(firstDifference(log, readText(folder / "expected.log")), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenConversion, ::testing::ValuesIn(goldenCases()), [](const auto& info) {
    std::string name = info.param;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

}  // namespace
}  // namespace varnoke
