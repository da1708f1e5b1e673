// Tools for the extras tests: temporary folders, running programs, PCX pictures made
// here (not by the decoder under test), and PNG pictures decoded by netpbm.
#pragma once

#include "main/program_state.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace varnoke::extras {

namespace fs = std::filesystem;

// A Log whose lines land in a vector.
struct CapturedLog {
    std::vector<std::string> lines;
    Log log{[this](std::string_view line) { lines.emplace_back(line); }};
};

// A fresh folder for one test, removed afterwards.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line; its output is caught through files in `folder`.
ProgramRun runCommand(const std::string& commandLine, const TestFolder& folder);

// Runs varnoke-pcx-convert with the given arguments.
ProgramRun runConverter(const std::string& arguments, const TestFolder& folder);

std::vector<Byte> readBytes(const fs::path& path);
void writeBytes(const fs::path& path, const std::vector<Byte>& bytes);

std::string sample(const std::string& name);

// The display colour of a CPC colour, as (R, G, B) intensities 0x00, 0x7F, 0xFF, from
// its levels: green = n div 9, red = (n div 3) mod 3, blue = n mod 3.
std::array<Byte, 3> displayRgb(int cpcColor);

// A palette entry whose components fall on the given levels at the default thresholds:
// level 0, 1, 2 as bytes 0, 128, 255. Returns (R, G, B).
std::array<Byte, 3> paletteEntryOf(int cpcColor);

// A PCX file of `width` × 200 pixels: a valid header, every pixel stored as a run of
// one (0xC1, index), the 0x0C marker and the 256-entry palette.
std::vector<Byte> pcxFile(int width, const std::vector<Byte>& pixels, const std::vector<std::array<Byte, 3>>& palette);

// An RGB picture decoded by netpbm's pngtopnm.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<Byte> rgb;
    std::array<Byte, 3> at(int x, int y) const {
        const std::size_t i = 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x));
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};
RgbPicture decodePng(const fs::path& png, const TestFolder& folder);

}  // namespace varnoke::extras
