#include "extras_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace varnoke::extras {

TestFolder::TestFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name)
        if (c == '/') c = '-';
    path_ = fs::temp_directory_path() / ("varnoke-extras-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TestFolder::~TestFolder() { fs::remove_all(path_); }

std::vector<Byte> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const std::vector<Byte>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

namespace {
std::string readText(const fs::path& path) {
    const std::vector<Byte> bytes = readBytes(path);
    return {bytes.begin(), bytes.end()};
}
}  // namespace

ProgramRun runCommand(const std::string& commandLine, const TestFolder& folder) {
    const fs::path out = folder / ".stdout";
    const fs::path err = folder / ".stderr";
    const std::string command = "( " + commandLine + " ) > '" + out.string() + "' 2> '" + err.string() + "'";
    const int raw = std::system(command.c_str());
    ProgramRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(out), readText(err)};
    fs::remove(out);
    fs::remove(err);
    return run;
}

ProgramRun runConverter(const std::string& arguments, const TestFolder& folder) {
    return runCommand(std::string(VARNOKE_CONVERTER) + " " + arguments, folder);
}

std::string sample(const std::string& name) { return std::string(VARNOKE_SAMPLES_DIR) + "/" + name; }

std::array<Byte, 3> displayRgb(int cpcColor) {
    constexpr Byte intensity[3] = {0x00, 0x7F, 0xFF};
    const int green = cpcColor / 9, red = (cpcColor / 3) % 3, blue = cpcColor % 3;
    return {intensity[red], intensity[green], intensity[blue]};
}

std::array<Byte, 3> paletteEntryOf(int cpcColor) {
    constexpr Byte byteOfLevel[3] = {0, 128, 255};
    const int green = cpcColor / 9, red = (cpcColor / 3) % 3, blue = cpcColor % 3;
    return {byteOfLevel[red], byteOfLevel[green], byteOfLevel[blue]};
}

std::vector<Byte> pcxFile(int width, const std::vector<Byte>& pixels, const std::vector<std::array<Byte, 3>>& palette) {
    std::vector<Byte> file(128, 0);
    auto put16 = [&](std::size_t offset, int value) {
        file[offset] = static_cast<Byte>(value & 0xFF);
        file[offset + 1] = static_cast<Byte>(value >> 8);
    };
    file[0] = 10;  // manufacturer
    file[1] = 5;   // version
    file[2] = 1;   // run-length encoded
    file[3] = 8;   // bits per pixel
    put16(8, width - 1);
    put16(10, 199);
    put16(12, 72);
    put16(14, 72);
    file[65] = 1;  // one plane
    put16(66, width);
    put16(68, 1);  // colour palette
    for (const Byte index : pixels) {
        file.push_back(0xC1);
        file.push_back(index);
    }
    file.push_back(0x0C);
    for (std::size_t i = 0; i < 256; ++i)
        for (std::size_t c = 0; c < 3; ++c) file.push_back(i < palette.size() ? palette[i][c] : Byte{0});
    return file;
}

RgbPicture decodePng(const fs::path& png, const TestFolder& folder) {
    const fs::path ppm = folder / (png.filename().string() + ".ppm");
    const ProgramRun run = runCommand("pngtopnm '" + png.string() + "' > '" + ppm.string() + "'", folder);
    RgbPicture picture;
    if (run.status != 0) {
        ADD_FAILURE() << "pngtopnm refused " << png << ": " << run.err;
        return picture;
    }
    // P6, width, height, maxval 255, one blank, then the pixels.
    const std::vector<Byte> bytes = readBytes(ppm);
    const std::string text(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(bytes.size(), 64)));
    int at = 0;
    if (std::sscanf(text.c_str(), "P6 %d %d 255%n", &picture.width, &picture.height, &at) != 2 || at == 0) {
        ADD_FAILURE() << "pngtopnm gave no 8-bit P6 picture: " << text.substr(0, 16);
        return {};
    }
    ++at;
    picture.rgb.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
    EXPECT_EQ(picture.rgb.size(), 3u * static_cast<std::size_t>(picture.width * picture.height));
    return picture;
}

}  // namespace varnoke::extras
