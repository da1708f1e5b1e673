#include "extras/cpc_preview.h"

#include "cpc/amsdos_header.h"
#include "main/cpc_colors.h"

#include <algorithm>

namespace varnoke {

std::array<Byte, 8> unpackPens(Byte cpcMode, Byte screenByte) {
    std::array<Byte, 8> pens{};
    auto bit = [screenByte](int position) { return static_cast<Byte>((screenByte >> position) & 1); };
    switch (cpcMode) {
        case 0:
            // bit 7..0 = P0.0 P1.0 P0.2 P1.2 P0.1 P1.1 P0.3 P1.3
            for (int k = 0; k < 2; ++k)
                pens[static_cast<std::size_t>(k)] =
                    static_cast<Byte>(bit(7 - k) | bit(3 - k) << 1 | bit(5 - k) << 2 | bit(1 - k) << 3);
            break;
        case 1:
            // bit 7..0 = P0.0 P1.0 P2.0 P3.0 P0.1 P1.1 P2.1 P3.1
            for (int k = 0; k < 4; ++k)
                pens[static_cast<std::size_t>(k)] = static_cast<Byte>(bit(7 - k) | bit(3 - k) << 1);
            break;
        default:
            // bit 7..0 = P0.0 P1.0 ... P7.0
            for (int k = 0; k < 8; ++k) pens[static_cast<std::size_t>(k)] = bit(7 - k);
            break;
    }
    return pens;
}

PictureArea renderCpcScreen(std::span<const Byte, kScreenImageSize> image, const ScreenInks& inks) {
    const int pixelsPerByte = 2 << inks.mode;  // 2, 4, 8
    std::vector<Byte> penOfPixel;
    penOfPixel.reserve(targetPixelCount(inks.mode));
    for (int y = 0; y < kPictureHeight; ++y) {
        const std::size_t offset = rowOffset(y);
        for (std::size_t column = 0; column < kScreenBytesPerRow; ++column) {
            const std::array<Byte, 8> pens = unpackPens(inks.mode, image[offset + column]);
            penOfPixel.insert(penOfPixel.end(), pens.begin(), pens.begin() + pixelsPerByte);
        }
    }
    return renderPens(inks.mode, penOfPixel,
                      std::span<const Byte>(inks.colors).first(static_cast<std::size_t>(pensOfMode(inks.mode))));
}

Expected<PictureArea> previewScreenImage(std::span<const Byte, kScreenImageSize> image) {
    Expected<ScreenInks> inks = readScreenInks(image);
    if (!inks) return Failure{inks.reason()};
    return renderCpcScreen(image, inks.value());
}

PictureArea renderPens(Byte cpcMode, std::span<const Byte> penOfPixel, std::span<const Byte> penColours) {
    return renderPensOfLines(cpcMode, penOfPixel, penColours, penColours.size());
}

PictureArea renderPensOfLines(Byte cpcMode, std::span<const Byte> penOfPixel, std::span<const Byte> penColoursOfLines,
                              std::size_t pensPerLine) {
    PictureArea area;
    const int width = pictureWidth(cpcMode);
    const int blockWidth = kPictureAreaWidth / width;  // 4, 2 or 1 screen pixels
    const std::size_t count = std::min(penOfPixel.size(), targetPixelCount(cpcMode));
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t row = i / static_cast<std::size_t>(width);
        const std::size_t first = penColoursOfLines.size() >= (row + 1) * pensPerLine ? row * pensPerLine : 0;
        const std::span<const Byte> penColours =
            penColoursOfLines.subspan(first, std::min(pensPerLine, penColoursOfLines.size() - first));
        const Byte pen = penOfPixel[i];
        const std::uint32_t colour = pen < penColours.size() ? cpcDisplayColor(penColours[pen]).argb() : 0xFF000000u;
        const int x = static_cast<int>(i % static_cast<std::size_t>(width)) * blockWidth;
        const int y = static_cast<int>(row) * 2;
        for (int line = y; line < y + 2; ++line)
            std::fill_n(area.pixels.begin() + line * kPictureAreaWidth + x, blockWidth, colour);
    }
    return area;
}

std::vector<Byte> overscanPens(const OverscanImage& image, Byte cpcMode) {
    const std::size_t perByte = std::size_t{2} << cpcMode;
    std::vector<Byte> penOfPixel;
    penOfPixel.reserve(targetPixelCount(cpcMode, ScreenFormat::Overscan));
    for (int y = 0; y < kOverscanHeight; ++y) {
        const std::size_t line = overscanLineAddress(y) - std::size_t{kOverscanLoadAddress};
        for (std::size_t column = 0; column < kOverscanBytesPerRow; ++column) {
            const std::array<Byte, 8> pens = unpackPens(cpcMode, image[line + column]);
            penOfPixel.insert(penOfPixel.end(), pens.begin(), pens.begin() + static_cast<std::ptrdiff_t>(perByte));
        }
    }
    return penOfPixel;
}

PictureArea renderOverscanPens(Byte cpcMode, std::span<const Byte> penOfPixel, std::span<const Byte> penColours) {
    PictureArea area;
    area.width = kOverscanPreviewWidth;
    area.height = kOverscanPreviewHeight;
    area.pixels.assign(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height), 0xFF000000u);
    const int width = pictureWidth(cpcMode, ScreenFormat::Overscan);
    const int blockWidth = 768 / width;  // 4, 2 or 1
    const std::size_t count = std::min(penOfPixel.size(), targetPixelCount(cpcMode, ScreenFormat::Overscan));
    for (std::size_t i = 0; i < count; ++i) {
        const Byte pen = penOfPixel[i];
        const std::uint32_t colour = pen < penColours.size() ? cpcDisplayColor(penColours[pen]).argb() : 0xFF000000u;
        const int x = kOverscanPreviewLeft + static_cast<int>(i % static_cast<std::size_t>(width)) * blockWidth;
        const int y = kOverscanPreviewTop + static_cast<int>(i / static_cast<std::size_t>(width)) * 2;
        for (int line = y; line < y + 2; ++line)
            std::fill_n(area.pixels.begin() + line * area.width + x, blockWidth, colour);
    }
    return area;
}

Expected<PictureArea> previewOverscanFile(std::span<const Byte> file) {
    Expected<OverscanFile> read = parseOverscanFile(file);
    if (!read) return read.failure();
    const OverscanFile& overscan = read.value();
    return renderOverscanPens(overscan.mode, overscanPens(overscan.image, overscan.mode),
                              std::span<const Byte>(overscan.colors).first(pensOfMode(overscan.mode)));
}

Expected<PictureArea> previewScreenFile(std::span<const Byte> file) {
    if (file.size() == kAmsdosHeaderSize + kOverscanImageSize || file.size() == kOverscanImageSize)
        return previewOverscanFile(file);
    Expected<ScreenFile> screen = parseScreenFile(file);
    if (!screen) return screen.failure();
    return renderCpcScreen(screen.value().image, screen.value().inks);
}

PictureArea renderScreenPens(Byte cpcMode, ScreenFormat screen, std::span<const Byte> penOfPixel,
                             std::span<const Byte> penColours) {
    return screen == ScreenFormat::Overscan ? renderOverscanPens(cpcMode, penOfPixel, penColours)
                                            : renderPens(cpcMode, penOfPixel, penColours);
}

Expected<PictureArea> previewLinePenScreen(std::span<const Byte, kScreenImageSize> image,
                                           std::span<const Byte> rasterFile) {
    Expected<LinePenColours> colours = parseRasterFile(rasterFile);
    if (!colours) return Failure{"the raster file: " + colours.reason()};
    if (image[kModeByteOffset] != colours.value().mode)
        return Failure{"the raster file is for mode " + std::to_string(colours.value().mode) +
                       " but the screen file's mode byte is " + std::to_string(image[kModeByteOffset])};
    const Byte mode = colours.value().mode;
    const std::size_t pens = pensOfMode(mode);
    std::vector<Byte> penOfPixel;
    penOfPixel.reserve(targetPixelCount(mode));
    for (int y = 0; y < kPictureHeight; ++y)
        for (std::size_t column = 0; column < kScreenBytesPerRow; ++column) {
            const std::array<Byte, 8> unpacked = unpackPens(mode, image[rowOffset(y) + column]);
            penOfPixel.insert(penOfPixel.end(), unpacked.begin(), unpacked.begin() + (2 << mode));
        }
    std::vector<Byte> table;
    for (int y = 0; y < kPictureHeight; ++y)
        for (std::size_t pen = 0; pen < pens; ++pen)
            table.push_back(colours.value().colourOn(y, static_cast<Byte>(pen)));
    return renderPensOfLines(mode, penOfPixel, table, pens);
}

}  // namespace varnoke
