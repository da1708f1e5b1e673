// The import through the real converter and the session: a picture of CPC colours comes
// back as drawn; --save-pcx writes a PCX that gives the same screen files again; bad
// pictures are refused with one line, exit status 1 and nothing written.
#include "import/import_session.h"
#include "main/cpc_colors.h"
#include "main/file_access.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace varnoke {
namespace {

namespace fs = std::filesystem;

const fs::path kPictures = VARNOKE_IMPORT_PICTURES_DIR;

class ImportThroughConverter : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("varnoke-import-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Runs the converter in the work folder; returns its exit status and standard error
    // (standard output: out()).
    std::pair<int, std::string> convert(const std::string& arguments) const {
        const std::string command =
            "cd '" + folder_.string() + "' && " VARNOKE_CONVERTER " " + arguments + " 2> stderr.txt > stdout.txt";
        const int raw = std::system(command.c_str());
        std::ifstream err(folder_ / "stderr.txt");
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(std::istreambuf_iterator<char>(err), {})};
    }
    std::string out() const {
        std::ifstream in(folder_ / "stdout.txt");
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::vector<Byte> bytes(const std::string& name) const {
        Expected<std::vector<Byte>> file = readWholeFile(folder_ / name, 1u << 20);
        return file ? file.value() : std::vector<Byte>{};
    }

    fs::path folder_;
};

TEST_F(ImportThroughConverter, SavedPcxOpensAsItIsAndGivesTheSameScreenFiles) {
    const std::string photo = (kPictures / "pillow-baseline.jpg").string();
    for (const char* mode : {"0", "1", "2"}) {
        SCOPED_TRACE(std::string("mode ") + mode);
        ASSERT_EQ(convert(std::string("--mode ") + mode + " --save-pcx pic.pcx " + photo + " first").first, 0);
        // Without import options, Open takes the PCX as it is.
        const auto [status, err] = convert("--log pic.pcx again");
        ASSERT_EQ(status, 0) << err;
        EXPECT_EQ(bytes("first.scr"), bytes("again.scr"));
        EXPECT_EQ(bytes("first.pal"), bytes("again.pal"));
    }
}

TEST_F(ImportThroughConverter, PlainImportIsMode0AndSilentAndModeImportsEvenAPcxThatOpens) {
    ASSERT_EQ(convert((kPictures / "pillow-rgb.png").string() + " plain").first, 0);
    EXPECT_EQ(out(), "");
    ASSERT_EQ(bytes("plain.scr").size(), 16512u);
    EXPECT_EQ(bytes("plain.scr")[128 + 0x7F1], 0);  // the mode byte
    const std::string pcx = std::string(VARNOKE_SAMPLES_DIR) + "/sunset-mode0.pcx";
    ASSERT_EQ(convert("--log --mode 1 " + pcx + " again").first, 0);
    EXPECT_EQ(out().rfind(pcx + "\n- Importing Picture ...\nMode = 1\n", 0), 0u) << out();
}

TEST_F(ImportThroughConverter, BadPicturesAreRefusedWithOneLineAndNothingWritten) {
    std::ofstream(folder_ / "empty.png").close();
    const std::vector<Byte> png = readWholeFile(kPictures / "pillow-rgb.png", 1u << 20).value();
    std::ofstream(folder_ / "cut.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size() / 2));
    const std::pair<std::string, const char*> cases[] = {
        {"empty.png", "the file is empty"},
        {"cut.png", "the PNG picture data is damaged or cut short"},
        {(kPictures / "refused-text.png").string(), "not a picture of a kind"},
        {(kPictures / "refused-huge.png").string(), "40000 × 20000 pixels, more than this program takes"},
        {(kPictures / "refused-huge.gif").string(), "20000 × 20000 pixels, more than this program takes"},
        {(kPictures / "refused-one-pixel.png").string(), "only 1 × 1 pixels: a picture needs at least 2 pixels a side"},
        {(kPictures / "refused-transparent.png").string(), "fully transparent"},
        {"missing.jpg", "No such file"},
    };
    for (const auto& [file, reason] : cases) {
        const auto [status, err] = convert("--preview out.png --save-pcx out.pcx " + file + " out");
        EXPECT_EQ(status, 1) << file;
        EXPECT_NE(err.find(reason), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        for (const char* output : {"out.scr", "out.pal", "out.png", "out.pcx"})
            EXPECT_FALSE(fs::exists(folder_ / output)) << file << " wrote " << output;
    }
}

// A picture on the mode's grid that uses only CPC colours, no more than the mode's pens:
// pixel (x, y) shows colours[colourIndex(x, y)].
std::size_t colourIndex(int x, int y, std::size_t count) { return static_cast<std::size_t>(x / 7 + y / 5) % count; }

LinearImage cpcPicture(Byte mode, const std::vector<Byte>& colours) {
    LinearImage image{pictureWidth(mode), kPictureHeight, {}};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const Rgb shown = cpcDisplayColor(colours[colourIndex(x, y, colours.size())]);
            for (const Byte level : {shown.r, shown.g, shown.b}) {
                const double v = level / 255.0;  // sRGB to linear
                image.rgb.push_back(static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4)));
            }
        }
    return image;
}

TEST(ImportSession, PictureInCpcColoursComesBackAsDrawn) {
    const std::vector<Byte> colours[] = {
        {0, 3, 6, 9, 13, 26, 24, 11, 1, 2, 15, 18, 20, 22, 5, 8}, {26, 0, 15, 6}, {4, 23}};
    for (Byte mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        ImportSettings settings;
        settings.cpcMode = mode;
        settings.score = true;
        const ImportResult result = ImportSession(cpcPicture(mode, colours[mode])).run(settings);
        ASSERT_EQ(result.penOfPixel.size(), targetPixelCount(mode));
        const int width = pictureWidth(mode);
        for (std::size_t i = 0; i < result.penOfPixel.size(); ++i) {
            const int x = static_cast<int>(i) % width, y = static_cast<int>(i) / width;
            ASSERT_EQ(result.penColours[result.penOfPixel[i]], colours[mode][colourIndex(x, y, colours[mode].size())])
                << "pixel " << i;
        }
        EXPECT_LT(result.score, 1e-4);  // 0 but for float rounding

        // Installed, the pens show exactly those colours (in their own order) with the default
        // thresholds.
        ProgramState state;
        installImport(state, result, Log());
        std::vector<Byte> shown;
        for (std::size_t pen = 0; pen < result.penColours.size(); ++pen)
            shown.push_back(state.inkBoxes[pen].filterColor);
        EXPECT_TRUE(std::ranges::is_permutation(shown, result.penColours));
    }
}

}  // namespace
}  // namespace varnoke
