// Colour science for the import: the sRGB transfer curve, linear sRGB to XYZ (D65) and
// back, OKLab (Björn Ottosson's matrices), CIELAB (D65 white) and the CIEDE2000
// difference (Sharma, Wu and Dalal, 2005). Linear values run from 0 to 1; XYZ has Y = 1
// for white.
#pragma once

#include "main/program_state.h"

#include <array>

namespace varnoke {

struct Vec3 {
    float x = 0;
    float y = 0;
    float z = 0;
};

struct Lab {
    double l = 0;
    double a = 0;
    double b = 0;
};

// One sRGB component (0..1) to linear light, and back.
float srgbToLinear(float value);
float linearToSrgb(float value);

// The 256 8-bit sRGB levels in linear light.
const std::array<float, 256>& linearOfByte();

Vec3 linearToXyz(Vec3 rgb);

// OKLab of a linear sRGB colour.
Vec3 linearToOklab(Vec3 rgb);

// CIELAB of an XYZ colour against the D65 white (Y = 1).
Lab xyzToLab(Vec3 xyz);

// The CIEDE2000 colour difference with kL = kC = kH = 1.
double ciede2000(const Lab& first, const Lab& second);

// The display colour of CPC colour n in linear light.
Vec3 cpcLinearColour(Byte n);

inline float squaredDistance(Vec3 p, Vec3 q) {
    const float dx = p.x - q.x;
    const float dy = p.y - q.y;
    const float dz = p.z - q.z;
    return dx * dx + dy * dy + dz * dz;
}

}  // namespace varnoke
