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

    // Runs the converter in the work folder; returns its exit status and standard error.
    std::pair<int, std::string> convert(const std::string& arguments) const {
        const std::string command =
            "cd '" + folder_.string() + "' && " VARNOKE_CONVERTER " " + arguments + " 2> stderr.txt > stdout.txt";
        const int raw = std::system(command.c_str());
        std::ifstream err(folder_ / "stderr.txt");
        std::string text((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
        fs::remove(folder_ / "stderr.txt");
        fs::remove(folder_ / "stdout.txt");
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text};
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

TEST_F(ImportThroughConverter, BadPicturesAreRefusedWithOneLineAndNothingWritten) {
    std::ofstream(folder_ / "empty.png").close();
    const std::vector<Byte> png = readWholeFile(kPictures / "pillow-rgb.png", 1u << 20).value();
    std::ofstream(folder_ / "cut.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size() / 2));
    const std::pair<std::string, const char*> cases[] = {
        {"empty.png", "the file is empty"},
        {"cut.png", "the PNG picture data is damaged or cut short"},
        {(kPictures / "refused-text.png").string(), "not a picture of a kind"},
        {(kPictures / "refused-huge.png").string(), "more than this program takes"},
        {(kPictures / "refused-one-pixel.png").string(), "at least 2 pixels a side"},
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

// A picture on the mode's grid that uses only CPC colours, no more than the mode's pens.
LinearImage cpcPicture(Byte mode, std::span<const Byte> colours) {
    LinearImage image;
    image.width = pictureWidth(mode);
    image.height = kPictureHeight;
    image.rgb.resize(image.pixelCount() * 3);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const Rgb shown =
                cpcDisplayColor(colours[static_cast<std::size_t>((x / 7 + y / 5) % static_cast<int>(colours.size()))]);
            float* p = image.pixel(x, y);
            const Byte levels[3] = {shown.r, shown.g, shown.b};
            for (std::size_t c = 0; c < 3; ++c) {
                const double v = levels[c] / 255.0;
                p[c] = static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
            }
        }
    return image;
}

TEST(ImportSession, PictureInCpcColoursComesBackAsDrawn) {
    const std::vector<Byte> colours[] = {
        {0, 3, 6, 9, 13, 26, 24, 11, 1, 2, 15, 18, 20, 22, 5, 8}, {26, 0, 15, 6}, {4, 23}};
    for (Byte mode = 0; mode < 3; ++mode) {
        const ImportSession session(cpcPicture(mode, colours[mode]));
        ImportSettings settings;
        settings.cpcMode = mode;
        settings.score = true;
        const ImportResult result = session.run(settings);
        ASSERT_EQ(result.penOfPixel.size(), targetPixelCount(mode));
        const LinearImage expected = cpcPicture(mode, colours[mode]);
        for (std::size_t i = 0; i < result.penOfPixel.size(); ++i) {
            const int x = static_cast<int>(i % static_cast<std::size_t>(expected.width));
            const int y = static_cast<int>(i / static_cast<std::size_t>(expected.width));
            ASSERT_EQ(result.penColours[result.penOfPixel[i]],
                      colours[mode][static_cast<std::size_t>((x / 7 + y / 5) % static_cast<int>(colours[mode].size()))])
                << "mode " << int{mode} << " pixel " << i;
        }
        EXPECT_LT(result.score, 1e-4) << "mode " << int{mode};  // 0 but for float rounding

        // Installed, the pens show exactly those colours with the default thresholds.
        ProgramState state;
        installImport(state, result, Log());
        std::vector<Byte> shown;
        for (std::size_t pen = 0; pen < colours[mode].size(); ++pen) shown.push_back(state.inkBoxes[pen].filterColor);
        std::vector<Byte> wanted = colours[mode];
        std::sort(shown.begin(), shown.end());
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(shown, wanted) << "mode " << int{mode};
    }
}

}  // namespace
}  // namespace varnoke
