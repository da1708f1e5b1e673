#include "display/picture_display.h"

#include <algorithm>
#include <array>

namespace varnoke {

void blankPictureArea(PictureArea& area, Rgb color) { std::fill(area.pixels.begin(), area.pixels.end(), color.argb()); }

std::uint32_t displayColorOfIndex(const ProgramState& state, Byte index) {
    return state.cpcColorBoxes[state.colorSubstitution[state.cpcColorOfIndex[index]]].argb();
}

namespace {

// An overscan picture fills an area of its own size as the CPC shows it: each pixel 4, 2
// or 1 wide and 2 high.
void drawOverscan(const ProgramState& state, PictureArea& area, const std::array<std::uint32_t, 256>& colorOf) {
    area.width = kOverscanAreaWidth;
    area.height = kOverscanAreaHeight;
    area.pixels.assign(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height), 0xFF000000u);
    const int width = pictureWidth(state.cpcMode, ScreenFormat::Overscan);
    const int across = kOverscanAreaWidth / width;
    const std::size_t count = std::min(state.pixelData.size(), targetPixelCount(state.cpcMode, ScreenFormat::Overscan));
    for (std::size_t i = 0; i < count; ++i) {
        const int x = static_cast<int>(i % static_cast<std::size_t>(width)) * across;
        const int y = static_cast<int>(i / static_cast<std::size_t>(width)) * 2;
        for (int line = y; line < y + 2; ++line)
            std::fill_n(area.pixels.begin() + line * area.width + x, across, colorOf[state.pixelData[i]]);
    }
}

}  // namespace

namespace {

// Draws the standard picture by the rule of the current mode; `colorsOfLine(y)` gives the
// display colour of every palette index on picture line y.
template <typename ColorsOfLine>
void drawStandard(const ProgramState& state, PictureArea& area, ColorsOfLine colorsOfLine) {
    if (area.width != kPictureAreaWidth || area.height != kPictureAreaHeight) {
        // Back from an overscan picture: the standard area, in the colour it was blanked with.
        const std::uint32_t blank = area.pixels.empty() ? 0xFF000000u : area.pixels.front();
        area = PictureArea{};
        std::fill(area.pixels.begin(), area.pixels.end(), blank);
    }

    const std::size_t width = static_cast<std::size_t>(pictureWidth(state.cpcMode));
    const std::size_t count = state.pixelData.size();
    const Byte* pixels = state.pixelData.data();
    std::uint32_t* out = area.pixels.data();
    constexpr std::size_t stride = kPictureAreaWidth;

    // Mode 2 lines are drawn two screen lines high, so only 200 of them fit.
    const std::size_t linesThatFit = state.cpcMode >= 2 ? kPictureAreaHeight / 2 : kPictureAreaHeight;

    // Every line of the picture, the partial line of a last run's overflow included,
    // while it falls inside the area.
    for (std::size_t line = 0, start = 0; start < count && line < linesThatFit; ++line, start += width) {
        const Byte* source = pixels + start;
        const std::size_t n = std::min(count - start, width);
        const std::array<std::uint32_t, 256>& colorOf = colorsOfLine(line);
        switch (state.cpcMode) {
            case 0: {
                std::uint32_t* row = out + line * stride;
                for (std::size_t x = 0; x < n; ++x) row[2 * x] = row[2 * x + 1] = colorOf[source[x]];
                break;
            }
            case 1: {
                std::uint32_t* row = out + line * stride;
                for (std::size_t x = 0; x < n; ++x) row[x] = colorOf[source[x]];
                break;
            }
            default: {
                std::uint32_t* top = out + 2 * line * stride;
                std::uint32_t* bottom = top + stride;
                for (std::size_t x = 0; x < n; ++x) top[x] = bottom[x] = colorOf[source[x]];
                break;
            }
        }
    }
}

}  // namespace

void drawPicture(const ProgramState& state, PictureArea& area, const Log& log) {
    log.DEBUG("- Viewing Picture ...");

    std::array<std::uint32_t, 256> colorOf{};
    for (int i = 0; i < 256; ++i)
        colorOf[static_cast<std::size_t>(i)] = displayColorOfIndex(state, static_cast<Byte>(i));
    if (state.screen == ScreenFormat::Overscan)
        drawOverscan(state, area, colorOf);
    else
        drawStandard(state, area, [&colorOf](std::size_t) -> const std::array<std::uint32_t, 256>& { return colorOf; });
    log.DEBUG("- Picture Ready");
}

void drawPictureOfLines(const ProgramState& state, std::span<const Byte> penColoursOfLines, std::size_t pensPerLine,
                        PictureArea& area, const Log& log) {
    log.DEBUG("- Viewing Picture ...");
    std::array<std::uint32_t, 256> colorOf{};
    colorOf.fill(0xFF000000u);
    drawStandard(state, area, [&](std::size_t line) -> const std::array<std::uint32_t, 256>& {
        const std::size_t first = line * pensPerLine;
        for (std::size_t pen = 0; pen < pensPerLine && first + pen < penColoursOfLines.size(); ++pen)
            colorOf[pen] =
                state.cpcColorBoxes[std::min<std::size_t>(penColoursOfLines[first + pen], kCpcColorCount - 1)].argb();
        return colorOf;
    });
    log.DEBUG("- Picture Ready");
}

AreaPart pictureAreaPart(const ProgramState& state) {
    if (state.screen == ScreenFormat::Overscan) return {kOverscanAreaWidth, kOverscanAreaHeight};
    if (state.pixelData.empty() || state.cpcMode >= 2) return {};
    return {kPictureAreaWidth / 2, kPictureAreaHeight / 2};
}

WholeScaling scaleIntoView(AreaPart part, int viewWidth, int viewHeight) {
    if (part.width <= 0 || part.height <= 0) return {};
    const int factor = std::max(1, std::min(viewWidth / part.width, viewHeight / part.height));
    return {factor, std::max(0, (viewWidth - factor * part.width) / 2),
            std::max(0, (viewHeight - factor * part.height) / 2)};
}

ViewRect placeInView(AreaPart part, int viewWidth, int viewHeight) {
    if (part.width <= 0 || part.height <= 0 || viewWidth <= 0 || viewHeight <= 0) return {};
    int width = part.width;
    int height = part.height;
    if (width > viewWidth || height > viewHeight) {
        // Shrunk by the smaller of the two ratios, compared without rounding.
        if (static_cast<long long>(viewWidth) * part.height <= static_cast<long long>(viewHeight) * part.width) {
            width = viewWidth;
            height = static_cast<int>(static_cast<long long>(part.height) * viewWidth / part.width);
        } else {
            height = viewHeight;
            width = static_cast<int>(static_cast<long long>(part.width) * viewHeight / part.height);
        }
    } else {
        const WholeScaling whole = scaleIntoView(part, viewWidth, viewHeight);
        width *= whole.factor;
        height *= whole.factor;
    }
    return {(viewWidth - width) / 2, (viewHeight - height) / 2, width, height};
}

}  // namespace varnoke
