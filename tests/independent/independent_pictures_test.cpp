// Pictures written by netpbm, Pillow and ImageMagick: the converter must accept them and
// read every pixel as those tools read it back from the same file. The tools that wrote
// them also wrote, in their default settings, kinds of PCX that the converter refuses;
// each refusal must name the field that differs.
#include "independent_pictures.h"

#include "main/program_state.h"
#include "pcx/open_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnoke {
namespace {

using testing::acceptedIndependentPictures;
using testing::independentPicturesDir;
using testing::NetpbmPicture;
using testing::readNetpbm;

std::string nameOf(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
}

class IndependentPicture : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        const std::filesystem::path file = independentPicturesDir() / (GetParam() + ".pcx");
        if (!std::filesystem::exists(file))
            GTEST_FAIL() << file << " is missing: CTest makes it with tests/independent/make_pictures.sh "
                         << independentPicturesDir() << " before this test; run that script by hand when "
                         << "running the test program directly";
        log_ = Log([this](std::string_view line) { lines_.emplace_back(line); });
        outcome_ = openPictureFile(state_, file, file.filename().string(), log_);
    }

    // The colour the converter reads for pixel i: its palette entry.
    std::array<Byte, 3> colourOfPixel(std::size_t i) const {
        const std::size_t entry = 3u * state_.pixelData[i];
        return {state_.pcxPalette[entry], state_.pcxPalette[entry + 1], state_.pcxPalette[entry + 2]};
    }

    // Compares every pixel with a tool's decoding of the same file.
    void expectSameColoursAs(const std::string& reader) {
        SCOPED_TRACE("as read back by " + reader);
        const auto picture = readNetpbm(independentPicturesDir() / (GetParam() + "." + reader + ".ppm"));
        ASSERT_TRUE(picture) << "the tool's decoding is missing or unreadable";
        const int width = testing::widthOfPictureName(GetParam());
        ASSERT_EQ(picture->width, width);
        ASSERT_EQ(picture->height, kPictureHeight);
        int mismatches = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(width) * kPictureHeight && mismatches < 5; ++i) {
            const std::array<Byte, 3> ours = colourOfPixel(i);
            const std::array<Byte, 3> theirs{picture->samples[3 * i], picture->samples[3 * i + 1],
                                             picture->samples[3 * i + 2]};
            if (ours != theirs) {
                ++mismatches;
                ADD_FAILURE() << "pixel (" << i % static_cast<std::size_t>(width) << ", "
                              << i / static_cast<std::size_t>(width) << ") differs";
            }
        }
    }

    ProgramState state_;
    std::vector<std::string> lines_;
    Log log_;
    OpenOutcome outcome_;
};

TEST_P(IndependentPicture, IsAcceptedWithTheModeOfItsWidth) {
    ASSERT_TRUE(outcome_.accepted) << outcome_.reason;
    const int width = testing::widthOfPictureName(GetParam());
    EXPECT_EQ(state_.cpcMode, width == 160 ? 0 : width == 320 ? 1 : 2);
    // These writers encode line by line, so the stream holds exactly 200 lines.
    EXPECT_EQ(state_.pixelData.size(), static_cast<std::size_t>(width) * kPictureHeight);
}

TEST_P(IndependentPicture, EveryPixelHasTheColourThatNetpbmReads) {
    ASSERT_TRUE(outcome_.accepted) << outcome_.reason;
    expectSameColoursAs("pcxtoppm");
}

TEST_P(IndependentPicture, EveryPixelHasTheColourThatImageMagickReads) {
    ASSERT_TRUE(outcome_.accepted) << outcome_.reason;
    expectSameColoursAs("magick");
}

TEST_P(IndependentPicture, EveryPixelHasTheColourAndIndexThatPillowReads) {
    ASSERT_TRUE(outcome_.accepted) << outcome_.reason;
    expectSameColoursAs("pillow");
    const auto indexes = readNetpbm(independentPicturesDir() / (GetParam() + ".pillow-index.pgm"));
    ASSERT_TRUE(indexes) << "Pillow's index map is missing or unreadable";
    ASSERT_GE(state_.pixelData.size(), indexes->samples.size());
    EXPECT_TRUE(std::equal(indexes->samples.begin(), indexes->samples.end(), state_.pixelData.begin()))
        << "a palette index differs from Pillow's";
}

TEST_P(IndependentPicture, PixelCountsMatchTheToolsIndexes) {
    ASSERT_TRUE(outcome_.accepted) << outcome_.reason;
    const auto indexes = readNetpbm(independentPicturesDir() / (GetParam() + ".pillow-index.pgm"));
    ASSERT_TRUE(indexes);
    std::array<std::uint32_t, 256> counts{};
    for (const std::uint8_t index : indexes->samples) ++counts[index];
    EXPECT_EQ(state_.colorUsage, counts);
}

INSTANTIATE_TEST_SUITE_P(WrittenByOtherTools, IndependentPicture,
                         ::testing::ValuesIn(acceptedIndependentPictures()), nameOf);

// What the tools write when not asked for an indexed 8-bit picture.
struct RefusedKind {
    const char* file;
    const char* why;           // what that tool wrote
    const char* reasonNames;   // what the reason must name
    const char* lastFieldLine; // the last field line before the refusal
};

class RefusedPicture : public ::testing::TestWithParam<RefusedKind> {};

TEST_P(RefusedPicture, IsRefusedNamingTheField) {
    const RefusedKind& kind = GetParam();
    SCOPED_TRACE(std::string(kind.file) + ": " + kind.why);
    const std::filesystem::path file = independentPicturesDir() / kind.file;
    ASSERT_TRUE(std::filesystem::exists(file)) << file << " is missing: run make_pictures.sh first";
    ProgramState state;
    std::vector<std::string> lines;
    const OpenOutcome outcome =
        openPictureFile(state, file, kind.file, Log([&](std::string_view line) { lines.emplace_back(line); }));
    EXPECT_FALSE(outcome.accepted);
    EXPECT_NE(outcome.reason.find(kind.reasonNames), std::string::npos) << outcome.reason;
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], kind.lastFieldLine);
    EXPECT_EQ(lines.back(), "Format de fichier inconnu !!!");
    EXPECT_TRUE(state.pixelData.empty());
}

INSTANTIATE_TEST_SUITE_P(
    ToolDefaults, RefusedPicture,
    ::testing::Values(
        RefusedKind{"pillow-rgb-160.pcx", "Pillow keeps a colour picture in three planes", "colour planes is 3",
                    "# plans = 3"},
        RefusedKind{"pillow-bilevel-160.pcx", "Pillow writes a two-level picture as version 2, 1 bit",
                    "version is 2", "Version = 2"},
        RefusedKind{"netpbm-default-640.pcx", "ppmtopcx without -8bit writes two colours as 1 bit per pixel",
                    "bits per pixel is 1", "# bits/pixels = 1"},
        RefusedKind{"magick-default-160.pcx", "ImageMagick keeps a colour picture in three planes",
                    "colour planes is 3", "# plans = 3"}),
    [](const ::testing::TestParamInfo<RefusedKind>& info) {
        std::string name = info.param.file;
        name = name.substr(0, name.size() - 4);
        for (char& c : name)
            if (c == '-') c = '_';
        return name;
    });

}  // namespace
}  // namespace varnoke
