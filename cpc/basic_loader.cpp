#include "cpc/basic_loader.h"

#include "cpc/overscan_screen.h"
#include "cpc/screen_file_reader.h"

namespace varnoke {
namespace {

// Locomotive BASIC's tokens for the words the loader uses.
enum Token : Byte {
    kCall = 0x83,
    kInk = 0xA2,
    kLoad = 0xA8,
    kMemory = 0xAA,
    kMode = 0xAD,
    kRun = 0xCA,
    kWend = 0xD5,
    kWhile = 0xD6,
    kFunction = 0xFF,
    kInkeyFunction = 0x0A,  // after kFunction
    kSeparator = 0x01,
    kSmallNumber = 0x0E,  // + 0..9
    kByteNumber = 0x19,
    kHexNumber = 0x1C,
};

class LineWriter {
public:
    LineWriter& keyword(Byte token, bool blank = true) {
        bytes_.push_back(token);
        if (blank) bytes_.push_back(' ');
        return *this;
    }
    LineWriter& separator() { return put(kSeparator); }
    LineWriter& put(Byte b) {
        bytes_.push_back(b);
        return *this;
    }
    LineWriter& number(int n) {
        if (n < 10) return put(static_cast<Byte>(kSmallNumber + n));
        return put(kByteNumber).put(static_cast<Byte>(n));
    }
    LineWriter& hex(std::uint16_t n) {
        return put(kHexNumber).put(static_cast<Byte>(n & 0xFF)).put(static_cast<Byte>(n >> 8));
    }
    LineWriter& quoted(std::string_view text) {
        put('"');
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return put('"');
    }
    LineWriter& ink(int pen, int colour) { return keyword(kInk).number(pen).put(',').number(colour); }

    // The whole line: length, number, tokens, 0.
    std::vector<Byte> line(std::uint16_t number) const {
        const std::size_t length = 4 + bytes_.size() + 1;
        std::vector<Byte> out{static_cast<Byte>(length & 0xFF), static_cast<Byte>(length >> 8),
                              static_cast<Byte>(number & 0xFF), static_cast<Byte>(number >> 8)};
        out.insert(out.end(), bytes_.begin(), bytes_.end());
        out.push_back(0);
        return out;
    }

private:
    std::vector<Byte> bytes_;
};

}  // namespace

Expected<LoaderTarget> loaderTargetOf(std::span<const Byte> screenFile) {
    LoaderTarget target;
    if (screenFile.size() == kAmsdosHeaderSize + kOverscanImageSize) {
        Expected<OverscanFile> overscan = parseOverscanFile(screenFile);
        if (!overscan) return overscan.failure();
        target.screen = ScreenFormat::Overscan;
        target.mode = overscan.value().mode;
        target.colors = overscan.value().colors;
        return target;
    }
    Expected<ScreenFile> standard = parseScreenFile(screenFile);
    if (!standard) return standard.failure();
    target.layout = standard.value().layout;
    target.mode = standard.value().inks.mode;
    target.colors = standard.value().inks.colors;
    return target;
}

std::vector<Byte> basicLoaderProgram(const LoaderTarget& target, std::string_view screenFileName) {
    LineWriter line;
    if (target.screen == ScreenFormat::Overscan) {
        line.keyword(kRun, false).quoted(screenFileName);
    } else if (target.layout == ScreenLayout::At4000) {
        line.keyword(kMemory).hex(0x3FFF).separator();
        line.keyword(kLoad, false).quoted(screenFileName).separator();
        if (target.rasterFileName.empty()) {
            line.keyword(kCall).hex(0x4FD0);
        } else {
            line.keyword(kLoad, false).quoted(target.rasterFileName).separator();
            line.keyword(kCall).hex(0x8000);
        }
    } else {
        line.keyword(kMode).number(target.mode).separator();
        line.keyword(kLoad, false).quoted(screenFileName);
        for (int pen = 0; pen < pensOfMode(target.mode); ++pen)
            line.separator().ink(pen, target.colors[static_cast<std::size_t>(pen)]);
        line.separator().keyword(kWhile).put(kFunction).put(kInkeyFunction).put('(').number(47).put(')');
        line.separator().keyword(kWend, false).separator().keyword(kMode).number(2);
        line.separator().ink(0, 1).separator().ink(1, 24);
    }
    std::vector<Byte> program = line.line(10);
    program.push_back(0);
    program.push_back(0);
    return program;
}

std::vector<Byte> basicLoaderFile(const LoaderTarget& target, std::string_view screenFileName,
                                  std::string_view loaderName) {
    const std::vector<Byte> program = basicLoaderProgram(target, screenFileName);
    // The header's name: 8 characters and 3 of extension, padded with blanks.
    const std::size_t dot = loaderName.find('.');
    std::string name(loaderName.substr(0, dot));
    name.resize(8, ' ');
    std::string extension(dot == std::string_view::npos ? std::string_view() : loaderName.substr(dot + 1));
    extension.resize(3, ' ');
    std::vector<Byte> file(kAmsdosHeaderSize);
    writeAmsdosHeader(std::span<Byte, kAmsdosHeaderSize>(file.data(), kAmsdosHeaderSize), name + extension,
                      kAmsdosBasicFile, kBasicProgramAddress, static_cast<std::uint16_t>(program.size()), 0);
    file.insert(file.end(), program.begin(), program.end());
    return file;
}

}  // namespace varnoke
