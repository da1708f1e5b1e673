#include "import/colour_science.h"

#include "main/cpc_colors.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace varnoke {

namespace {

constexpr double kWhiteX = 0.95047;
constexpr double kWhiteY = 1.0;
constexpr double kWhiteZ = 1.08883;

// The cube root of a positive number: an estimate from the exponent bits (a third of
// the exponent), then three Newton steps, which bring it to full double precision.
double cubeRoot(double x) {
    auto estimate = std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) / 3 + 0x2A9F7893782DA1CEull);
    for (int step = 0; step < 3; ++step) estimate -= (estimate * estimate * estimate - x) / (3.0 * estimate * estimate);
    return estimate;
}

double labCurve(double t) {
    constexpr double kEpsilon = 216.0 / 24389.0;
    constexpr double kKappa = 24389.0 / 27.0;
    return t > kEpsilon ? cubeRoot(t) : (kKappa * t + 16.0) / 116.0;
}

double degrees(double radians) { return radians * 180.0 / std::numbers::pi; }
double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

// The hue angle in degrees, 0..360, of (a', b'); 0 for a neutral colour.
double hueAngle(double a, double b) {
    if (a == 0 && b == 0) return 0;
    const double h = degrees(std::atan2(b, a));
    return h < 0 ? h + 360.0 : h;
}

double seventhPower(double x) {
    const double x2 = x * x;
    return x2 * x2 * x2 * x;
}

// T of equation 15: 1 - 0.17 cos(h - 30°) + 0.24 cos 2h + 0.32 cos(3h + 6°) - 0.20 cos(4h - 63°),
// from one sine and cosine of h by the multiple-angle formulas.
double hueWeight(double h) {
    const double c = std::cos(h);
    const double s = std::sin(h);
    const double c2 = 2 * c * c - 1, s2 = 2 * s * c;
    const double c3 = c * (4 * c * c - 3), s3 = s * (3 - 4 * s * s);
    const double c4 = 2 * c2 * c2 - 1, s4 = 2 * s2 * c2;
    const double r30 = radians(30), r6 = radians(6), r63 = radians(63);
    return 1.0 - 0.17 * (c * std::cos(r30) + s * std::sin(r30)) + 0.24 * c2 +
           0.32 * (c3 * std::cos(r6) - s3 * std::sin(r6)) - 0.20 * (c4 * std::cos(r63) + s4 * std::sin(r63));
}

}  // namespace

float srgbToLinear(float value) {
    return value <= 0.04045f ? value / 12.92f : std::pow((value + 0.055f) / 1.055f, 2.4f);
}

float linearToSrgb(float value) {
    if (value <= 0.0031308f) return 12.92f * value;
    return 1.055f * std::pow(value, 1.0f / 2.4f) - 0.055f;
}

const std::array<float, 256>& linearOfByte() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> values{};
        for (int i = 0; i < 256; ++i)
            values[static_cast<std::size_t>(i)] = srgbToLinear(static_cast<float>(i) / 255.0f);
        return values;
    }();
    return table;
}

Vec3 linearToXyz(Vec3 c) {
    return {0.4124564f * c.x + 0.3575761f * c.y + 0.1804375f * c.z,
            0.2126729f * c.x + 0.7151522f * c.y + 0.0721750f * c.z,
            0.0193339f * c.x + 0.1191920f * c.y + 0.9503041f * c.z};
}

Vec3 linearToOklab(Vec3 c) {
    const float l = std::cbrt(0.4122214708f * c.x + 0.5363325363f * c.y + 0.0514459929f * c.z);
    const float m = std::cbrt(0.2119034982f * c.x + 0.6806995451f * c.y + 0.1073969566f * c.z);
    const float s = std::cbrt(0.0883024619f * c.x + 0.2817188376f * c.y + 0.6299787005f * c.z);
    return {0.2104542553f * l + 0.7936177850f * m - 0.0040720468f * s,
            1.9779984951f * l - 2.4285922050f * m + 0.4505937099f * s,
            0.0259040371f * l + 0.7827717662f * m - 0.8086757660f * s};
}

Lab xyzToLab(Vec3 xyz) {
    const double fx = labCurve(xyz.x / kWhiteX);
    const double fy = labCurve(xyz.y / kWhiteY);
    const double fz = labCurve(xyz.z / kWhiteZ);
    return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

double ciede2000(const Lab& first, const Lab& second) {
    constexpr double k25To7 = 6103515625.0;  // 25^7
    // Chroma of the mean, then a' stretched by G (equations 2 to 6 of Sharma et al.).
    const double meanC =
        (std::sqrt(first.a * first.a + first.b * first.b) + std::sqrt(second.a * second.a + second.b * second.b)) / 2.0;
    const double c7 = seventhPower(meanC);
    const double g = 0.5 * (1.0 - std::sqrt(c7 / (c7 + k25To7)));
    const double a1 = (1.0 + g) * first.a;
    const double a2 = (1.0 + g) * second.a;
    const double c1 = std::sqrt(a1 * a1 + first.b * first.b);
    const double c2 = std::sqrt(a2 * a2 + second.b * second.b);
    const double h1 = hueAngle(a1, first.b);
    const double h2 = hueAngle(a2, second.b);

    // Differences (equations 8 to 10).
    const double deltaL = second.l - first.l;
    const double deltaC = c2 - c1;
    double deltah = 0;
    if (c1 * c2 != 0) {
        deltah = h2 - h1;
        if (deltah > 180) deltah -= 360;
        if (deltah < -180) deltah += 360;
    }
    const double deltaH = 2.0 * std::sqrt(c1 * c2) * std::sin(radians(deltah / 2.0));

    // Means and weights (equations 12 to 22).
    const double meanL = (first.l + second.l) / 2.0;
    const double meanCp = (c1 + c2) / 2.0;
    double meanH = h1 + h2;
    if (c1 * c2 != 0) {
        if (std::abs(h1 - h2) <= 180)
            meanH /= 2.0;
        else
            meanH = meanH < 360 ? (meanH + 360) / 2.0 : (meanH - 360) / 2.0;
    }
    const double t = hueWeight(radians(meanH));
    const double hueOffset = (meanH - 275.0) / 25.0;
    const double deltaTheta = 30.0 * std::exp(-hueOffset * hueOffset);
    const double meanC7 = seventhPower(meanCp);
    const double rc = 2.0 * std::sqrt(meanC7 / (meanC7 + k25To7));
    const double l50 = (meanL - 50.0) * (meanL - 50.0);
    const double sl = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
    const double sc = 1.0 + 0.045 * meanCp;
    const double sh = 1.0 + 0.015 * meanCp * t;
    const double rt = -std::sin(radians(2.0 * deltaTheta)) * rc;

    const double termL = deltaL / sl;
    const double termC = deltaC / sc;
    const double termH = deltaH / sh;
    return std::sqrt(termL * termL + termC * termC + termH * termH + rt * termC * termH);
}

Vec3 cpcLinearColour(Byte n) {
    const Rgb display = cpcDisplayColor(n);
    const auto& linear = linearOfByte();
    return {linear[display.r], linear[display.g], linear[display.b]};
}

}  // namespace varnoke
