// Embedded colour profiles, through lcms2: one transform from the file's profile to sRGB,
// made once per picture.
#include "import/raw_picture.h"

#include <lcms2.h>

#include <algorithm>
#include <memory>

namespace varnoke {
namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

Profile openProfile(std::span<const Byte> bytes) {
    if (bytes.empty() || bytes.size() > 0xFFFFFFFFu) return nullptr;
    return Profile(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

Transform toSrgb(const Profile& from, cmsUInt32Number inputFormat, cmsUInt32Number flags) {
    const Profile srgb(cmsCreate_sRGBProfile());
    if (!from || !srgb) return nullptr;
    return Transform(cmsCreateTransform(from.get(), inputFormat, srgb.get(), TYPE_RGBA_8, INTENT_PERCEPTUAL, flags));
}

}  // namespace

void applyColourProfile(RawPicture& picture) {
    const Profile profile = openProfile(picture.iccProfile);
    picture.iccProfile.clear();
    if (!profile || cmsGetColorSpace(profile.get()) != cmsSigRgbData) return;
    const Transform transform = toSrgb(profile, TYPE_RGBA_8, cmsFLAGS_COPY_ALPHA);
    if (!transform) return;
    const std::size_t pixels = picture.rgba.size() / 4;
    // One row at a time keeps every count far below lcms2's 32-bit limit.
    const std::size_t row = static_cast<std::size_t>(picture.width);
    for (std::size_t start = 0; start < pixels; start += row) {
        Byte* p = picture.rgba.data() + 4 * start;
        cmsDoTransform(transform.get(), p, p, static_cast<cmsUInt32Number>(row));
    }
}

void cmykToRgba(std::span<const Byte> cmyk, bool inverted, std::span<const Byte> profileBytes, std::span<Byte> rgba) {
    const std::size_t pixels = std::min(cmyk.size(), rgba.size()) / 4;
    const Profile profile = openProfile(profileBytes);
    if (profile && cmsGetColorSpace(profile.get()) == cmsSigCmykData) {
        if (const Transform transform = toSrgb(profile, inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, 0)) {
            cmsDoTransform(transform.get(), cmyk.data(), rgba.data(), static_cast<cmsUInt32Number>(pixels));
            for (std::size_t i = 0; i < pixels; ++i) rgba[4 * i + 3] = 255;
            return;
        }
    }
    // Without a profile: each ink takes its share of the light that black leaves.
    for (std::size_t i = 0; i < pixels; ++i) {
        const Byte* in = &cmyk[4 * i];
        const unsigned k = inverted ? in[3] : 255u - in[3];
        for (std::size_t c = 0; c < 3; ++c) {
            const unsigned ink = inverted ? in[c] : 255u - in[c];
            rgba[4 * i + c] = static_cast<Byte>((ink * k + 127) / 255);
        }
        rgba[4 * i + 3] = 255;
    }
}

}  // namespace varnoke
