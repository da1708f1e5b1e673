#include "import/pen_choice.h"

#include "import/colour_science.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace varnoke {

namespace {

constexpr int kColourCount = 27;

float luma(Vec3 c) { return 0.2126f * c.x + 0.7152f * c.y + 0.0722f * c.z; }

// How many pixels (not in the border) have each CPC colour as their nearest, by OKLab.
std::array<long, kColourCount> nearestColourCounts(const GridPicture& picture) {
    std::array<Byte, kColourCount> all{};
    std::iota(all.begin(), all.end(), Byte{0});
    const PenPalette everyColour(all);
    std::array<long, kColourCount> counts{};
    for (std::size_t i = 0; i < picture.image.pixelCount(); ++i) {
        if (!picture.border.empty() && picture.border[i]) continue;
        const float* p = picture.image.rgb.data() + 3 * i;
        ++counts[everyColour.nearest({p[0], p[1], p[2]})];
    }
    return counts;
}

}  // namespace

int penCount(const GridPicture& picture, const PenOptions& options) {
    const int modePens = pensOfMode(picture.cpcMode);
    return options.colours <= 0 ? modePens : std::min(options.colours, modePens);
}

std::vector<Byte> darkestFirst(std::vector<Byte> colours) {
    std::sort(colours.begin(), colours.end());
    colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
    std::stable_sort(colours.begin(), colours.end(),
                     [](Byte a, Byte b) { return luma(cpcLinearColour(a)) < luma(cpcLinearColour(b)); });
    return colours;
}

std::vector<Byte> choosePens(const GridPicture& picture, const PenOptions& options) {
    const auto wanted = static_cast<std::size_t>(penCount(picture, options));
    std::vector<Byte> chosen;
    for (const Byte fixed : options.fixedColours) {
        if (fixed < kColourCount && std::find(chosen.begin(), chosen.end(), fixed) == chosen.end() && chosen.size() < wanted) {
            chosen.push_back(fixed);
        }
    }
    const std::array<long, kColourCount> counts = nearestColourCounts(picture);
    std::vector<Byte> ranked(kColourCount);
    std::iota(ranked.begin(), ranked.end(), Byte{0});
    std::stable_sort(ranked.begin(), ranked.end(), [&](Byte a, Byte b) { return counts[a] > counts[b]; });
    for (const Byte colour : ranked) {
        if (chosen.size() >= wanted || counts[colour] == 0) break;
        if (std::find(chosen.begin(), chosen.end(), colour) == chosen.end()) chosen.push_back(colour);
    }
    if (chosen.empty()) chosen.push_back(0);
    return darkestFirst(std::move(chosen));
}

}  // namespace varnoke
