#include "bench_pictures.h"

#include "pcx/open_command.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>

namespace varnoke::bench {
namespace {

void put16(std::vector<Byte>& file, std::size_t offset, unsigned value) {
    file[offset] = static_cast<Byte>(value & 0xFF);
    file[offset + 1] = static_cast<Byte>(value >> 8);
}

}  // namespace

std::vector<Byte> makePcxFile(Byte cpcMode, BodyKind body, PaletteKind palette) {
    const auto width = static_cast<unsigned>(pictureWidth(cpcMode));
    const std::size_t pixels = targetPixelCount(cpcMode);

    std::vector<Byte> file(128, 0);
    file[0] = 10;  // manufacturer
    file[1] = 5;   // version
    file[2] = 1;   // run-length encoded
    file[3] = 8;   // bits per pixel
    put16(file, 8, width - 1);
    put16(file, 10, kPictureHeight - 1);
    put16(file, 12, 72);
    put16(file, 14, 72);
    file[65] = 1;  // one plane
    put16(file, 66, width);
    put16(file, 68, 1);

    // A small linear congruential generator: the same pictures on every run.
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 24;
    };
    if (body == BodyKind::Incompressible) {
        for (std::size_t i = 0; i < pixels; ++i) file.push_back(static_cast<Byte>(next() % 192));
    } else {
        for (std::size_t done = 0; done < pixels; done += 63) {
            file.push_back(0xFF);
            file.push_back(static_cast<Byte>(next()));
        }
    }
    file.push_back(12);  // palette marker

    for (unsigned i = 0; i < 256; ++i) {
        if (palette == PaletteKind::TwoColours) {
            const Byte level = i % 2 == 0 ? 0 : 255;
            file.insert(file.end(), {level, level, level});
        } else {
            file.insert(file.end(), {static_cast<Byte>(i * 37), static_cast<Byte>(i * 101), static_cast<Byte>(i * 11)});
        }
    }
    return file;
}

ProgramState openedState(Byte cpcMode, BodyKind body, PaletteKind palette) {
    ProgramState state;
    const std::vector<Byte> file = makePcxFile(cpcMode, body, palette);
    const Expected<void> opened = openPicture(state, "bench.pcx", file, Log());
    if (!opened.ok()) throw std::runtime_error("benchmark picture rejected: " + opened.reason());
    return state;
}

void writeFile(const std::filesystem::path& path, const std::vector<Byte>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace varnoke::bench
