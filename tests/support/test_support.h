// What every test suite shares: a log that keeps its lines, a fresh folder per test,
// programs run as a user runs them, PCX files written here (not by the decoder under
// test), the CPC's colour levels worked out from their definition, and readers for the
// netpbm pictures in which other tools give their own decoding.
#pragma once

#include "main/program_state.h"

#include <array>
#include <filesystem>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace varnoke::test {

namespace fs = std::filesystem;
using Bytes = std::vector<Byte>;
using Rgb3 = std::array<Byte, 3>;

struct CapturedLog {
    std::vector<std::string> lines;
    Log log{[this](std::string_view line) { lines.emplace_back(line); }};
};

// A fresh folder named after the running test, removed afterwards.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    fs::path operator/(const std::string& name) const { return path_ / name; }
    std::string str(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }
    std::vector<std::string> names() const;  // sorted, without the folder

private:
    fs::path path_;
};

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};
ProgramRun runCommand(const std::string& commandLine);
ProgramRun runConverter(const std::string& arguments);  // varnoke-pcx-convert ARGUMENTS

Bytes readBytes(const fs::path& path);
void writeBytes(const fs::path& path, const Bytes& bytes);
std::string sample(const std::string& name);
inline unsigned le16(const Bytes& bytes, std::size_t at) { return bytes[at] | unsigned{bytes[at + 1]} << 8; }
// Bytes 67-68 of an AMSDOS header: the sum of bytes 0 to 66, low byte first.
inline Bytes withAmsdosChecksum(Bytes file) {
    const unsigned sum = std::accumulate(file.begin(), file.begin() + 67, 0u);
    file[67] = static_cast<Byte>(sum & 0xFF), file[68] = static_cast<Byte>(sum >> 8);
    return file;
}

// CPC colour n has levels green n / 9, red n / 3 mod 3, blue n mod 3; the converter
// shows levels 0, 1, 2 as 0x00, 0x7F, 0xFF and reads bytes 0, 128, 255 as those levels
// at the default thresholds. Both give (R, G, B).
Rgb3 displayRgb(int cpcColor);
Rgb3 paletteEntryOf(int cpcColor);

struct PcxFields {
    int width = 160;
    int height = 200;
    int bytesPerLine = 160;
    int xmin = 0;
    int ymin = 0;
};
// A whole PCX file: a header valid for `fields`, the pixels run-length encoded line by
// line, the 0x0C marker and the 256-entry palette (`palette`, then black).
Bytes pcxFile(const PcxFields& fields, const Bytes& pixels, const std::vector<Rgb3>& palette);
inline Bytes pcxFile(int width, const Bytes& pixels, const std::vector<Rgb3>& palette) {
    return pcxFile({width, 200, width}, pixels, palette);
}

// A binary netpbm picture: P6 (three samples a pixel) or P5 (one).
struct NetpbmPicture {
    int width = 0;
    int height = 0;
    int channels = 0;
    Bytes samples;
    Rgb3 at(int x, int y) const {
        const std::size_t i =
            3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x));
        return {samples[i], samples[i + 1], samples[i + 2]};
    }
};
std::optional<NetpbmPicture> readNetpbm(const fs::path& path);
// A PNG file decoded by netpbm's pngtopnm.
NetpbmPicture decodePng(const fs::path& png);

}  // namespace varnoke::test
