#include "import/geometry.h"

#include <stb/stb_image_resize.h>

#include <algorithm>
#include <cmath>

namespace varnoke {
namespace {

// The screen's shape (see the header): 8 : 5, or 24 : 17 for the overscan screen.
constexpr double screenAspect(ScreenFormat screen) {
    return screen == ScreenFormat::Overscan ? 24.0 / 17.0 : 8.0 / 5.0;
}

}  // namespace

Placement placementOf(int width, int height, ResizeRule rule, ScreenFormat screen) {
    const double kScreenAspect = screenAspect(screen);
    Placement p;
    const double aspect = static_cast<double>(width) / height;
    if (rule == ResizeRule::Fill) {
        if (aspect > kScreenAspect) {
            const float kept = static_cast<float>(kScreenAspect / aspect);
            p.s0 = (1 - kept) / 2;
            p.s1 = p.s0 + kept;
        } else {
            const float kept = static_cast<float>(aspect / kScreenAspect);
            p.t0 = (1 - kept) / 2;
            p.t1 = p.t0 + kept;
        }
    } else if (rule == ResizeRule::Fit) {
        if (aspect > kScreenAspect) {
            const double used = kScreenAspect / aspect;
            p.top = (1 - used) / 2;
            p.bottom = p.top + used;
        } else {
            const double used = aspect / kScreenAspect;
            p.left = (1 - used) / 2;
            p.right = p.left + used;
        }
    }
    return p;
}

PixelRegion targetRegion(const Placement& p, int width, int height) {
    PixelRegion region;
    region.left = static_cast<int>(std::lround(p.left * width));
    region.top = static_cast<int>(std::lround(p.top * height));
    region.right = std::max(region.left + 1, static_cast<int>(std::lround(p.right * width)));
    region.bottom = std::max(region.top + 1, static_cast<int>(std::lround(p.bottom * height)));
    return region;
}

namespace {

// Resamples a region of the source to width × height, in linear light: Mitchell's filter
// when shrinking, Catmull-Rom when enlarging (stb_image_resize's choice), values clamped
// to 0..1 after the filters' small overshoot.
LinearImage resample(const LinearImage& source, const Placement& p, int width, int height) {
    LinearImage out;
    out.width = width;
    out.height = height;
    out.rgb.resize(out.pixelCount() * 3);
    stbir_resize_region(source.rgb.data(), source.width, source.height,
                        source.width * 3 * static_cast<int>(sizeof(float)), out.rgb.data(), width, height,
                        width * 3 * static_cast<int>(sizeof(float)), STBIR_TYPE_FLOAT, 3, STBIR_ALPHA_CHANNEL_NONE, 0,
                        STBIR_EDGE_CLAMP, STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT, STBIR_FILTER_DEFAULT,
                        STBIR_COLORSPACE_LINEAR, nullptr, p.s0, p.t0, p.s1, p.t1);
    for (float& v : out.rgb) v = std::clamp(v, 0.0f, 1.0f);
    return out;
}

// The source placed on a target of width × height; letterbox pixels are black and, when
// `border` is given, marked in it.
LinearImage place(const LinearImage& source, ResizeRule rule, ScreenFormat screen, int width, int height,
                  std::vector<bool>* border) {
    const Placement p = placementOf(source.width, source.height, rule, screen);
    const auto [left, top, right, bottom] = targetRegion(p, width, height);
    LinearImage content = resample(source, p, right - left, bottom - top);
    if (left == 0 && top == 0 && right == width && bottom == height) return content;
    LinearImage out;
    out.width = width;
    out.height = height;
    out.rgb.assign(out.pixelCount() * 3, 0.0f);
    if (border != nullptr) border->assign(out.pixelCount(), true);
    for (int y = top; y < bottom; ++y) {
        std::copy_n(content.pixel(0, y - top), 3 * content.width, out.pixel(left, y));
        if (border != nullptr)
            std::fill_n(border->begin() + static_cast<std::ptrdiff_t>(y) * width + left, content.width, false);
    }
    return out;
}

}  // namespace

GridPicture toModeGrid(const LinearImage& picture, Byte cpcMode, ResizeRule rule, ScreenFormat screen) {
    GridPicture grid;
    grid.cpcMode = cpcMode;
    grid.screen = screen;
    const int width = pictureWidth(cpcMode, screen);
    const int height = pictureHeight(screen);
    if (picture.width == width && picture.height == height) {
        grid.image = picture;
        return grid;
    }
    grid.image = place(picture, rule, screen, width, height, &grid.border);
    return grid;
}

LinearImage toCanvas(const LinearImage& picture, ResizeRule rule, ScreenFormat screen) {
    return place(picture, rule, screen, canvasWidth(screen), canvasHeight(screen), nullptr);
}

LinearImage toCanvas(const LinearImage& picture, Byte cpcMode, ResizeRule rule, ScreenFormat screen) {
    const int width = pictureWidth(cpcMode, screen);
    if (picture.width != width || picture.height != pictureHeight(screen)) return toCanvas(picture, rule, screen);
    LinearImage canvas;
    canvas.width = canvasWidth(screen);
    canvas.height = canvasHeight(screen);
    const int across = canvas.width / width;
    canvas.rgb.resize(canvas.pixelCount() * 3);
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) std::copy_n(picture.pixel(x / across, y / 2), 3, canvas.pixel(x, y));
    return canvas;
}

}  // namespace varnoke
