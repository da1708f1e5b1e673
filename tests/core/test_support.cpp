#include "test_support.h"

namespace varnoke::test {

std::array<Byte, 128> pcxHeader(const PcxFields& f) {
    std::array<Byte, 128> h{};
    auto put16 = [&h](std::size_t at, unsigned value) {
        h[at] = static_cast<Byte>(value & 0xFF);
        h[at + 1] = static_cast<Byte>(value >> 8);
    };
    h[0] = 10;
    h[1] = 5;
    h[2] = 1;
    h[3] = 8;
    put16(4, f.xmin);
    put16(6, f.ymin);
    put16(8, static_cast<unsigned>(f.xmin + f.width - 1));
    put16(10, static_cast<unsigned>(f.ymin + f.height - 1));
    put16(12, 300);
    put16(14, 300);
    h[65] = 1;
    put16(66, f.bytesPerLine);
    put16(68, 1);
    return h;
}

std::vector<Byte> pcxFile(const PcxFields& fields, const std::vector<Byte>& pixels,
                          const std::array<Byte, 768>& palette) {
    const std::array<Byte, 128> header = pcxHeader(fields);
    std::vector<Byte> file(header.begin(), header.end());
    const std::size_t width = fields.width;
    for (std::size_t start = 0; start < pixels.size(); start += width) {
        const std::size_t end = std::min(pixels.size(), start + width);
        for (std::size_t x = start; x < end;) {
            std::size_t run = 1;
            while (x + run < end && pixels[x + run] == pixels[x] && run < 63) ++run;
            if (run > 1 || pixels[x] >= 0xC0) file.push_back(static_cast<Byte>(0xC0 | run));
            file.push_back(pixels[x]);
            x += run;
        }
    }
    file.push_back(0x0C);
    file.insert(file.end(), palette.begin(), palette.end());
    return file;
}

std::array<Byte, 768> paletteOf(const std::vector<std::array<Byte, 3>>& colors) {
    std::array<Byte, 768> palette{};
    for (std::size_t i = 0; i < colors.size(); ++i)
        for (std::size_t c = 0; c < 3; ++c) palette[3 * i + c] = colors[i][c];
    return palette;
}

}  // namespace varnoke::test
