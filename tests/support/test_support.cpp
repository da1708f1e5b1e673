#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <fstream>

namespace varnoke::test {

TestFolder::TestFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "-" + info->name() : "outside-a-test";
    std::replace(name.begin(), name.end(), '/', '-');
    static int made = 0;  // folders of one test (and of the programs it runs) differ
    path_ = fs::temp_directory_path() /
            ("varnoke-test-" + std::to_string(::getpid()) + "-" + name + "-" + std::to_string(++made));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TestFolder::~TestFolder() { fs::remove_all(path_); }

std::vector<std::string> TestFolder::names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ProgramRun runCommand(const std::string& commandLine) {
    const TestFolder streams;
    const std::string command =
        "( " + commandLine + " ) > '" + streams.str("out") + "' 2> '" + streams.str("err") + "'";
    const int raw = std::system(command.c_str());
    const Bytes out = readBytes(streams / "out"), err = readBytes(streams / "err");
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, {out.begin(), out.end()}, {err.begin(), err.end()}};
}

ProgramRun runConverter(const std::string& arguments) { return runCommand(VARNOKE_CONVERTER " " + arguments); }

std::string sample(const std::string& name) { return std::string(VARNOKE_SAMPLES_DIR) + "/" + name; }

namespace {
Rgb3 fromLevels(int cpcColor, const Byte (&byteOfLevel)[3]) {
    return {byteOfLevel[cpcColor / 3 % 3], byteOfLevel[cpcColor / 9], byteOfLevel[cpcColor % 3]};
}
}  // namespace

Rgb3 displayRgb(int cpcColor) { return fromLevels(cpcColor, {0x00, 0x7F, 0xFF}); }
Rgb3 paletteEntryOf(int cpcColor) { return fromLevels(cpcColor, {0, 128, 255}); }

Bytes pcxFile(const PcxFields& f, const Bytes& pixels, const std::vector<Rgb3>& palette) {
    Bytes file(128, 0);
    auto put16 = [&file](std::size_t at, int value) {
        file[at] = static_cast<Byte>(value & 0xFF);
        file[at + 1] = static_cast<Byte>((value >> 8) & 0xFF);
    };
    file[0] = 10, file[1] = 5, file[2] = 1, file[3] = 8;  // marker, version, run-length, 8 bits
    put16(4, f.xmin), put16(6, f.ymin), put16(8, f.xmin + f.width - 1), put16(10, f.ymin + f.height - 1);
    put16(12, 300), put16(14, 300);
    file[65] = 1;  // one plane
    put16(66, f.bytesPerLine), put16(68, 1);
    const auto width = static_cast<std::size_t>(f.width);
    for (std::size_t line = 0; line < pixels.size(); line += width)
        for (std::size_t x = line, end = std::min(pixels.size(), line + width); x < end;) {
            std::size_t run = 1;
            while (x + run < end && pixels[x + run] == pixels[x] && run < 63) ++run;
            if (run > 1 || pixels[x] >= 0xC0) file.push_back(static_cast<Byte>(0xC0 | run));
            file.push_back(pixels[x]);
            x += run;
        }
    file.push_back(0x0C);
    for (std::size_t i = 0; i < 256; ++i)
        for (std::size_t c = 0; c < 3; ++c) file.push_back(i < palette.size() ? palette[i][c] : Byte{0});
    return file;
}

std::optional<NetpbmPicture> readNetpbm(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    NetpbmPicture picture;
    if (!(in >> magic) || (magic != "P6" && magic != "P5")) return std::nullopt;
    picture.channels = magic == "P6" ? 3 : 1;
    int values[3] = {};  // width, height, largest sample; comments may come between
    for (int& value : values) {
        while ((in >> std::ws).peek() == '#') in.ignore(1 << 20, '\n');
        if (!(in >> value)) return std::nullopt;
    }
    if (values[2] != 255) return std::nullopt;
    in.get();  // the one blank before the samples
    picture.width = values[0], picture.height = values[1];
    picture.samples.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (picture.samples.size() != static_cast<std::size_t>(values[0] * values[1] * picture.channels))
        return std::nullopt;
    return picture;
}

NetpbmPicture decodePng(const fs::path& png) {
    const TestFolder folder;
    const ProgramRun run = runCommand("pngtopnm '" + png.string() + "' > '" + folder.str("p.ppm") + "'");
    std::optional<NetpbmPicture> picture = readNetpbm(folder / "p.ppm");
    if (run.status != 0 || !picture || picture->channels != 3) {
        ADD_FAILURE() << "pngtopnm gave no 8-bit colour picture for " << png << ": " << run.err;
        return {};
    }
    return *picture;
}

}  // namespace varnoke::test
