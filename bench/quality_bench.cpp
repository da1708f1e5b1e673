// The picture quality benchmark: photos and drawings from Debian's mate-backgrounds,
// cropped to 8 : 5, converted in modes 0, 1 and 2 by this project and by two peers,
// each result scored with the project's measure against the same 640 × 400 canvas.
//
//   build/varnoke-bench-quality [--dither METHOD] [--strength N] [--modes 012] [--only NAME] [--pens C1,C2,...]
//   [--best] [--budget MS] [--sweeps N] [--line-pens K] [--ppd 16,32,64] [--floor N [--pairs]] [--verbose]
//
// --line-pens K gives K pens a colour of their own on every line (at most the mode
// allows), dithered as the converter does: by the optimising dither's sweeps over the
// lines unless --dither names a method. --budget and --sweeps set the optimising
// dither's time or its number of sweeps instead of its defaults. --floor N (with --best)
// prints the blended floors of the best result's pens and of every colour (N steps of
// descent each); --pairs adds, in mode 2, those of every pair of colours.
//
// Peers: (a) ImageMagick as an informed user drives it (-colors N, each colour snapped
// to the nearest CPC colour, then -remap with Floyd-Steinberg); (b) the usual converter
// recipe (the N most frequent nearest colours, Floyd-Steinberg in sRGB).
// ImageMagick also crops, flattens transparency onto black (as the converter does by
// default) and resizes (in linear light) for all three, so each converter gets the
// same picture.
#include "import/colour_science.h"
#include "import/dithering.h"
#include "import/line_pens.h"
#include "import/optimised_dither.h"
#include "import/pen_choice.h"
#include "import/quality_measure.h"
#include "main/cpc_colors.h"
#include "workflow/choices.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace varnoke {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kCorpus{
    "nature/Aqua.jpg",
    "nature/Dune.jpg",
    "nature/FreshFlower.jpg",
    "nature/Garden.jpg",
    "nature/LadyBird.jpg",
    "nature/Storm.jpg",
    "nature/TwoWings.jpg",
    "nature/YellowFlower.jpg",
    "abstract/Elephants.jpg",
    "abstract/Flow.png",
    "abstract/Gulp.png",
    "desktop/Ubuntu-Mate-Warm-no-logo.png",
    // Mostly dark or mostly flat: a dark desktop, flat shapes on black, flat waves.
    "desktop/Ubuntu-Mate-Dark-no-logo.png",
    "abstract/Arc-Colors-Transparent-Wallpaper.png",
    "abstract/Waves.png",
};
const fs::path kCorpusDir = "/usr/share/backgrounds/mate";

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    std::array<char, 256> buffer{};
    while (fgets(buffer.data(), buffer.size(), pipe) != nullptr) output += buffer.data();
    if (pclose(pipe) != 0) {
        std::cerr << "failed: " << command << "\n";
        std::exit(1);
    }
    return output;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// A binary PPM (8 or 16 bits) as linear light.
LinearImage readPpm(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxValue = 0;
    in >> magic >> width >> height >> maxValue;
    in.get();
    LinearImage image{width, height,
                      std::vector<float>(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height))};
    for (float& value : image.rgb) {
        int sample = in.get();
        if (maxValue > 255) sample = sample * 256 + in.get();
        value = srgbToLinear(static_cast<float>(sample) / static_cast<float>(maxValue));
    }
    return image;
}

// The colours of a PPM as 8-bit sRGB, one triple a pixel.
std::vector<Rgb> readPpmBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxValue = 0;
    in >> magic >> width >> height >> maxValue;
    in.get();
    std::vector<Rgb> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (Rgb& p : pixels) {
        p.r = static_cast<Byte>(in.get());
        p.g = static_cast<Byte>(in.get());
        p.b = static_cast<Byte>(in.get());
    }
    return pixels;
}

int squaredRgbDistance(Rgb a, Rgb b) {
    return (a.r - b.r) * (a.r - b.r) + (a.g - b.g) * (a.g - b.g) + (a.b - b.b) * (a.b - b.b);
}

// The CPC colour nearest to an sRGB colour, by plain distance of the 8-bit components.
Byte nearestCpcSrgb(int r, int g, int b) {
    Byte best = 0;
    int bestDistance = 1 << 30;
    for (Byte n = 0; n < 27; ++n) {
        const Rgb c = cpcDisplayColor(n);
        const int d = (c.r - r) * (c.r - r) + (c.g - g) * (c.g - g) + (c.b - b) * (c.b - b);
        if (d < bestDistance) {
            bestDistance = d;
            best = n;
        }
    }
    return best;
}

struct Result {
    std::vector<Byte> pens;
    std::vector<Byte> pixels;
};

// Peer (a): ImageMagick's own quantiser for the colours, then its remap.
Result imageMagickPeer(const fs::path& work, const std::string& source, int width, int colours) {
    const std::string size = std::to_string(width) + "x200!";
    const fs::path quantised = work / "q.ppm";
    run("convert " + source + " -resize " + size + " +dither -colors " + std::to_string(colours) + " -unique-colors " +
        quoted(quantised));
    std::vector<Byte> pens;
    for (const Rgb c : readPpmBytes(quantised)) {
        const Byte n = nearestCpcSrgb(c.r, c.g, c.b);
        if (std::find(pens.begin(), pens.end(), n) == pens.end()) pens.push_back(n);
    }
    std::ofstream palette(work / "pal.ppm", std::ios::binary);
    palette << "P6\n" << pens.size() << " 1\n255\n";
    for (const Byte n : pens) {
        const Rgb c = cpcDisplayColor(n);
        palette.put(static_cast<char>(c.r)).put(static_cast<char>(c.g)).put(static_cast<char>(c.b));
    }
    palette.close();
    const fs::path out = work / "remapped.ppm";
    run("convert " + source + " -resize " + size + " -dither FloydSteinberg -remap " + quoted(work / "pal.ppm") + " " +
        quoted(out));
    Result result{pens, {}};
    for (const Rgb c : readPpmBytes(out)) {
        Byte best = 0;
        for (Byte pen = 0; pen < pens.size(); ++pen) {
            if (squaredRgbDistance(c, cpcDisplayColor(pens[pen])) < squaredRgbDistance(c, cpcDisplayColor(pens[best])))
                best = pen;
        }
        result.pixels.push_back(best);
    }
    return result;
}

// Peer (b): count each pixel's nearest CPC colour, keep the most frequent, then
// Floyd-Steinberg in sRGB, line by line from the left.
Result recipePeer(const LinearImage& grid, int colours) {
    std::array<long, 27> counts{};
    std::vector<std::array<float, 3>> srgb(grid.pixelCount());
    for (std::size_t i = 0; i < grid.pixelCount(); ++i) {
        for (std::size_t c = 0; c < 3; ++c) srgb[i][c] = 255.0f * linearToSrgb(grid.rgb[3 * i + c]);
        ++counts[nearestCpcSrgb(static_cast<int>(std::lround(srgb[i][0])), static_cast<int>(std::lround(srgb[i][1])),
                                static_cast<int>(std::lround(srgb[i][2])))];
    }
    Result result;
    std::vector<Byte> order(27);
    for (Byte n = 0; n < 27; ++n) order[n] = n;
    std::stable_sort(order.begin(), order.end(), [&](Byte a, Byte b) { return counts[a] > counts[b]; });
    for (int k = 0; k < colours && counts[order[static_cast<std::size_t>(k)]] > 0; ++k)
        result.pens.push_back(order[static_cast<std::size_t>(k)]);
    result.pixels.resize(grid.pixelCount());
    const std::array<std::array<int, 3>, 4> taps{{{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}};
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < grid.width; ++x) {
            std::array<float, 3>& p = srgb[static_cast<std::size_t>(y * grid.width + x)];
            Byte best = 0;
            float bestDistance = 1e30f;
            for (Byte pen = 0; pen < result.pens.size(); ++pen) {
                const Rgb c = cpcDisplayColor(result.pens[pen]);
                const float d = (c.r - p[0]) * (c.r - p[0]) + (c.g - p[1]) * (c.g - p[1]) + (c.b - p[2]) * (c.b - p[2]);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = pen;
                }
            }
            result.pixels[static_cast<std::size_t>(y * grid.width + x)] = best;
            const Rgb c = cpcDisplayColor(result.pens[best]);
            const std::array<float, 3> error{p[0] - c.r, p[1] - c.g, p[2] - c.b};
            for (const auto& tap : taps) {
                const int nx = x + tap[0], ny = y + tap[1];
                if (nx < 0 || nx >= grid.width || ny >= grid.height) continue;
                std::array<float, 3>& q = srgb[static_cast<std::size_t>(ny * grid.width + nx)];
                for (std::size_t c2 = 0; c2 < 3; ++c2) q[c2] += error[c2] * static_cast<float>(tap[2]) / 16.0f;
            }
        }
    }
    return result;
}

struct Settings {
    std::string modes = "012";
    std::string only;        // a picture's name, to run it alone
    std::vector<Byte> pens;  // colours that Varnoke must use (all of them, and only them)
    bool hasDither = false;
    DitherOptions dither{DitherMethod::FloydSteinberg, DitherOptions{}.strength, true};  // chosen unless --strength
    bool verbose = false;
    bool best = false;                          // also the optimising dither
    std::vector<double> pixelsPerDegree{32.0};  // viewing distances to measure at
    int linePens = 0;                           // pens whose colours change on every line (at most the mode allows)
    int budgetMs = 0;                           // the optimising dither's time (0: the mode's default)
    int sweeps = 0;                             // or its sweeps (0: linePenSweeps over line pens)
    int floorSteps = 0;                         // steps of the blended floor (0: not measured)
    bool surveyPairs = false;                   // and the floors of every pair of colours in mode 2
};

// The converter's own words for the methods.
DitherMethod methodNamed(const std::string& name) {
    const std::optional<DitherMethod> method = ditherMethodNamed(name);
    if (!method) {
        std::cerr << "unknown method " << name << " (" << ditherWordList() << ")\n";
        std::exit(2);
    }
    return *method;
}

Settings parse(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--verbose")
            settings.verbose = true;
        else if (arg == "--dither" && i + 1 < argc) {
            settings.hasDither = true;
            settings.dither.method = methodNamed(argv[++i]);
        } else if (arg == "--strength" && i + 1 < argc) {
            settings.dither.strength = std::atoi(argv[++i]);
            settings.dither.chooseStrength = false;
        } else if (arg == "--best")
            settings.best = true;
        else if (arg == "--line-pens" && i + 1 < argc)
            settings.linePens = std::atoi(argv[++i]);
        else if (arg == "--budget" && i + 1 < argc)
            settings.budgetMs = std::atoi(argv[++i]);
        else if (arg == "--sweeps" && i + 1 < argc)
            settings.sweeps = std::atoi(argv[++i]);
        else if (arg == "--pairs")
            settings.surveyPairs = true;
        else if (arg == "--floor" && i + 1 < argc)
            settings.floorSteps = std::atoi(argv[++i]);
        else if (arg == "--ppd" && i + 1 < argc) {
            settings.pixelsPerDegree.clear();
            std::istringstream list(argv[++i]);
            for (std::string item; std::getline(list, item, ',');) settings.pixelsPerDegree.push_back(std::stod(item));
        } else if (arg == "--modes" && i + 1 < argc)
            settings.modes = argv[++i];
        else if (arg == "--only" && i + 1 < argc)
            settings.only = argv[++i];
        else if (arg == "--pens" && i + 1 < argc) {
            std::istringstream list(argv[++i]);
            for (std::string item; std::getline(list, item, ',');)
                settings.pens.push_back(static_cast<Byte>(std::stoi(item)));
        } else {
            std::cerr << "usage: varnoke-bench-quality [--dither METHOD] [--strength N] [--modes 012] [--only NAME] "
                         "[--pens C1,C2,...] [--best] [--budget MS] [--sweeps N] [--line-pens K] [--ppd 16,32,64] "
                         "[--floor N [--pairs]] [--verbose]\n";
            std::exit(2);
        }
    }
    return settings;
}

// The crop to 8 : 5 around the centre, as ImageMagick geometry.
std::string cropOf(const fs::path& picture) {
    std::istringstream size(run("identify -format '%w %h' " + quoted(picture) + "[0]"));
    long width = 0, height = 0;
    size >> width >> height;
    long w = width, h = height;
    if (width * 5 > height * 8)
        w = height * 8 / 5;
    else
        h = width * 5 / 8;
    return std::to_string(w) + "x" + std::to_string(h) + "+" + std::to_string((width - w) / 2) + "+" +
           std::to_string((height - h) / 2);
}

// ImageMagick's resize in linear light.
const std::string kLinearResize = " -colorspace RGB -filter Lanczos -resize ";

struct Scores {
    double imageMagick = 0;
    double recipe = 0;
    double ours = 0;
    double best = 0;
};

struct Line {
    std::string name;
    int mode = 0;
    std::vector<Scores> byDistance;  // one per viewing distance
};

// The weights of a pixel's blend projected onto the simplex (each at least 0, summing to 1).
void projectOntoSimplex(std::span<float> weights) {
    std::vector<float> sorted(weights.begin(), weights.end());
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    float sum = 0, theta = 0;
    for (std::size_t j = 0; j < sorted.size(); ++j) {
        sum += sorted[j];
        const float t = (sum - 1.0f) / static_cast<float>(j + 1);
        if (sorted[j] - t > 0) theta = t;
    }
    for (float& w : weights) w = std::max(0.0f, w - theta);
}

// The measure of the closest result whose pixels each show a blend of the pens (in
// linear light, in any proportions) rather than one pen, found by projected gradient
// descent from `pixels`. Every arrangement of whole pens is such a result, so no
// dithering in these pens gets far below this figure: it shows how much of the
// difference that is left is the pens' and how much the arrangement's.
double blendedFloor(const ScielabReference& reference, Byte mode, const std::vector<Byte>& pens,
                    std::vector<float>& weights, int steps) {
    const std::size_t k = pens.size();
    const std::size_t gridPixels = weights.size() / k;
    const int gridWidth = 160 << mode;
    const int stretch = 640 / gridWidth;
    std::vector<Vec3> linear(k), opponent(k);
    for (std::size_t p = 0; p < k; ++p) {
        linear[p] = cpcLinearColour(pens[p]);
        opponent[p] = linearToOpponent(linear[p]);
    }
    // The grid pixel that a canvas pixel shows, and the canvas pixel's own index.
    const auto gridOf = [&](int x, int y) { return static_cast<std::size_t>(y / 2 * gridWidth + x / stretch); };
    const auto canvasIndex = [](int x, int y) {
        return static_cast<std::size_t>(y) * 640 + static_cast<std::size_t>(x);
    };
    const auto canvasOf = [&](const std::vector<float>& w) {
        LinearImage canvas{640, 400, std::vector<float>(3 * 640 * 400)};
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 640; ++x) {
                const std::size_t g = gridOf(x, y);
                Vec3 c{0, 0, 0};
                for (std::size_t p = 0; p < k; ++p) {
                    const float share = w[g * k + p];
                    c.x += share * linear[p].x;
                    c.y += share * linear[p].y;
                    c.z += share * linear[p].z;
                }
                float* out = canvas.pixel(x, y);
                out[0] = c.x;
                out[1] = c.y;
                out[2] = c.z;
            }
        return canvas;
    };
    LinearImage canvas = canvasOf(weights);
    double current = reference.difference(canvas);
    double rate = 0;
    for (int step = 0; step < steps; ++step) {
        const std::array<std::vector<float>, 3> slope = reference.gradient(canvas);
        std::vector<float> descent(weights.size(), 0.0f);
        float largest = 0;
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 640; ++x) {
                const std::size_t g = gridOf(x, y);
                const std::size_t i = canvasIndex(x, y);
                for (std::size_t p = 0; p < k; ++p)
                    descent[g * k + p] +=
                        slope[0][i] * opponent[p].x + slope[1][i] * opponent[p].y + slope[2][i] * opponent[p].z;
            }
        for (const float d : descent) largest = std::max(largest, std::abs(d));
        if (largest == 0) break;
        if (rate == 0) rate = 0.25 / largest;
        bool moved = false;
        for (int attempt = 0; attempt < 8 && !moved; ++attempt) {
            std::vector<float> trial = weights;
            for (std::size_t i = 0; i < trial.size(); ++i) trial[i] -= static_cast<float>(rate) * descent[i];
            for (std::size_t g = 0; g < gridPixels; ++g) projectOntoSimplex(std::span(trial).subspan(g * k, k));
            LinearImage trialCanvas = canvasOf(trial);
            const double measured = reference.difference(trialCanvas);
            if (measured < current) {
                weights = std::move(trial);
                canvas = std::move(trialCanvas);
                current = measured;
                rate *= 1.5;
                moved = true;
            } else {
                rate *= 0.3;
            }
        }
        if (!moved) break;
    }
    return current;
}

std::vector<float> weightsOf(std::size_t pens, const std::vector<Byte>& pixels) {
    std::vector<float> weights(pixels.size() * pens, 0.0f);
    for (std::size_t g = 0; g < pixels.size(); ++g) weights[g * pens + pixels[g]] = 1.0f;
    return weights;
}

// Every pair of CPC colours as mode 2's two pens: each pixel first the blend of the pair
// nearest its colour (in linear light), measured; the pairs whose start measures under
// twice `target` are descended 15 steps, and those then under 1.2 × `target` the full
// `steps`. Prints the pairs with the lowest floors.
void surveyPairs(const ScielabReference& reference, const GridPicture& grid, int steps, double target) {
    struct Pair {
        Byte a, b;
        double start, floor;
        std::vector<float> weights;
    };
    std::vector<Pair> pairs;
    for (Byte a = 0; a < 27; ++a)
        for (Byte b = static_cast<Byte>(a + 1); b < 27; ++b) {
            const Vec3 ca = cpcLinearColour(a), cb = cpcLinearColour(b);
            const Vec3 d{cb.x - ca.x, cb.y - ca.y, cb.z - ca.z};
            const double length = d.x * d.x + d.y * d.y + d.z * d.z;
            std::vector<float> weights(2 * grid.image.pixelCount());
            for (std::size_t g = 0; g < grid.image.pixelCount(); ++g) {
                const float* p = grid.image.rgb.data() + 3 * g;
                const double t =
                    std::clamp(((p[0] - ca.x) * d.x + (p[1] - ca.y) * d.y + (p[2] - ca.z) * d.z) / length, 0.0, 1.0);
                weights[2 * g] = static_cast<float>(1 - t);
                weights[2 * g + 1] = static_cast<float>(t);
            }
            const double start = blendedFloor(reference, grid.cpcMode, {a, b}, weights, 0);
            pairs.push_back({a, b, start, start, std::move(weights)});
        }
    int screened = 0, descended = 0;
    for (Pair& pair : pairs)
        if (pair.start < 2 * target) {
            ++screened;
            pair.floor = blendedFloor(reference, grid.cpcMode, {pair.a, pair.b}, pair.weights, 15);
        }
    for (Pair& pair : pairs)
        if (pair.floor < 1.2 * target) {
            ++descended;
            pair.floor = blendedFloor(reference, grid.cpcMode, {pair.a, pair.b}, pair.weights, steps);
        }
    std::sort(pairs.begin(), pairs.end(), [](const Pair& x, const Pair& y) { return x.floor < y.floor; });
    std::printf("  pairs of %zu: %d under %.3f at the start, %d under %.3f after 15 steps; lowest floors:",
                pairs.size(), screened, 2 * target, descended, 1.2 * target);
    for (std::size_t i = 0; i < std::min<std::size_t>(8, pairs.size()); ++i)
        std::printf(" %d,%d %.3f (from %.3f);", pairs[i].a, pairs[i].b, pairs[i].floor, pairs[i].start);
    std::printf("\n");
}

// One picture in one mode: the converters' results, each measured at every distance.
Line scoreMode(const fs::path& work, const fs::path& cropped, const LinearImage& canvas,
               const std::vector<ScielabReference>& references, Byte mode, const Settings& settings,
               const std::string& name) {
    const int width = 160 << mode;
    const int colours = pensOfMode(mode);
    run("convert " + quoted(cropped) + kLinearResize + std::to_string(width) + "x200! -colorspace sRGB -depth 16 " +
        quoted(work / "grid.ppm"));
    const GridPicture grid{mode, readPpm(work / "grid.ppm"), {}};
    const Result a = imageMagickPeer(work, quoted(cropped), width, colours);
    const Result b = recipePeer(grid.image, colours);
    PenOptions options;
    options.fixedColours = settings.pens;
    if (!settings.pens.empty()) options.colours = static_cast<int>(settings.pens.size());
    options.dither = settings.dither;
    if (!settings.hasDither) options.dither.method = defaultDither(mode);
    options.dither.chooseMethod = !settings.hasDither;
    auto start = std::chrono::steady_clock::now();
    std::vector<Byte> pens;
    std::vector<Byte> pixels;
    int strength = options.dither.strength;
    DitherMethod method = options.dither.method;
    bool withinPens = false;
    LinearImage oursCanvas;
    LinePenChoice lineChoice;
    OptimiseOptions search;
    search.budget = settings.budgetMs > 0 ? std::chrono::milliseconds(settings.budgetMs) : defaultOptimiseBudget(mode);
    search.sweeps = settings.sweeps;
    search.mostPens = pensOfMode(mode);
    search.fixedColours = settings.pens;
    if (settings.linePens > 0) {
        // Pens whose colours change on every line: measured as the raster routine shows them.
        // Their default dithering is the search from the lines' error diffusion, as the
        // converter runs it (--best gives nothing more).
        const int k = std::min(settings.linePens, mode >= 2 ? 1 : 3);
        lineChoice = chooseLinePens(grid, options, k);
        if (!settings.hasDither || options.dither.method == DitherMethod::Best) {
            if (settings.budgetMs == 0) search.budget = {};
            if (settings.budgetMs == 0 && settings.sweeps == 0) search.sweeps = linePenSweeps(mode);
            lineChoice = *optimiseLinePens(grid, lineChoice, search);
        }
        pens = lineChoice.penColours;
        pixels = lineChoice.penOfPixel;
        oursCanvas = cpcCanvasOfLines(mode, pixels, penColoursOfLines(lineChoice), pens.size());
    } else {
        const PenChoice choice = choosePensAndStrength(grid, options);
        pens = choice.colours;
        strength = choice.strength;
        method = choice.method;
        withinPens = choice.withinPens;
        pixels = ditherToPens(grid, pens, {method, strength, false, false, withinPens});
        oursCanvas = cpcCanvas(mode, pixels, pens);
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    LinearImage bestCanvas = oursCanvas;
    double bestMs = 0;
    if (settings.best) {
        start = std::chrono::steady_clock::now();
        if (settings.linePens > 0) {
            bestCanvas = oursCanvas;
        } else {
            const std::optional<OptimisedDither> found = optimiseDither(grid, pens, pixels, search);
            bestCanvas = cpcCanvas(mode, found->penOfPixel, found->penColours);
        }
        bestMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (settings.floorSteps > 0 && settings.linePens == 0) {
            const std::optional<OptimisedDither> found = optimiseDither(grid, pens, pixels, search);
            std::vector<float> weights = weightsOf(found->penColours.size(), found->penOfPixel);
            std::printf("  blended floor of the best result's pens: %.3f\n",
                        blendedFloor(references.front(), mode, found->penColours, weights, settings.floorSteps));
            // Every result the CPC can show in any pens is a blend of its 27 colours.
            std::vector<Byte> everyColour(27);
            for (Byte c = 0; c < 27; ++c) everyColour[c] = c;
            // From the pens' floor, so that it comes no higher.
            const std::size_t k = found->penColours.size();
            std::vector<float> everyWeight(27 * found->penOfPixel.size());
            for (std::size_t g = 0; g < found->penOfPixel.size(); ++g)
                for (std::size_t p = 0; p < k; ++p) everyWeight[27 * g + found->penColours[p]] += weights[k * g + p];
            std::printf("  blended floor of every colour: %.3f\n",
                        blendedFloor(references.front(), mode, everyColour, everyWeight, settings.floorSteps));
            // The survey compares every other filtered pixel each way (within a few thousandths
            // of the whole comparison, at a quarter of its time).
            if (mode == 2 && settings.surveyPairs)
                surveyPairs(ScielabReference(canvas, 32.0, 2), grid, settings.floorSteps,
                            0.8 * references.front().difference(oursCanvas));
        }
    }
    Line line{fs::path(name).stem().string(), mode, {}};
    for (const ScielabReference& reference : references) {
        Scores scores;
        scores.imageMagick = reference.difference(cpcCanvas(mode, a.pixels, a.pens));
        scores.recipe = reference.difference(cpcCanvas(mode, b.pixels, b.pens));
        scores.ours = reference.difference(oursCanvas);
        scores.best = settings.best ? reference.difference(bestCanvas) : scores.ours;
        line.byDistance.push_back(scores);
    }
    const Scores& first = line.byDistance.front();
    std::printf("%s %d: %.3f %.3f %.3f %.3f", line.name.c_str(), mode, first.imageMagick, first.recipe, first.ours,
                first.best);
    if (settings.verbose) {
        std::printf(" (%.0f ms, best %.0f ms), %s%s %d, pens", ms, bestMs,
                    method == DitherMethod::Sierra ? "sierra" : "floyd-steinberg", withinPens ? " within the pens" : "",
                    strength);
        for (const Byte pen : pens) std::printf(" %d", pen);
    }
    std::printf("\n");
    std::fflush(stdout);
    return line;
}

// One table for a viewing distance: every line, then the geometric means per mode and
// over everything.
void printTable(const std::vector<Line>& lines, std::size_t distance, double pixelsPerDegree, bool best) {
    std::printf("\n### %.0f canvas pixels a degree\n\n", pixelsPerDegree);
    std::printf("| picture | mode | ImageMagick | usual recipe | Varnoke | against the best peer |%s\n",
                best ? " best | best against the default |" : "");
    std::printf("|---|---|---|---|---|---|%s\n", best ? "---|---|" : "");
    std::map<int, std::array<double, 5>> logs;  // a, b, ours, best peer, best
    std::map<int, int> counts;
    for (const Line& line : lines) {
        const Scores& s = line.byDistance[distance];
        const double peer = std::min(s.imageMagick, s.recipe);
        std::printf("| %s | %d | %.3f | %.3f | %.3f | %+.1f %% |", line.name.c_str(), line.mode, s.imageMagick,
                    s.recipe, s.ours, 100.0 * (s.ours / peer - 1.0));
        if (best) std::printf(" %.3f | %.3f × |", s.best, s.best / s.ours);
        std::printf("\n");
        std::array<double, 5>& l = logs[line.mode];
        l[0] += std::log(s.imageMagick);
        l[1] += std::log(s.recipe);
        l[2] += std::log(s.ours);
        l[3] += std::log(peer);
        l[4] += std::log(s.best);
        ++counts[line.mode];
    }
    std::printf("\n| mode | ImageMagick | usual recipe | Varnoke | Varnoke against the best peer |%s\n",
                best ? " best | best against the default |" : "");
    std::printf("|---|---|---|---|---|%s\n", best ? "---|---|" : "");
    std::array<double, 5> all{};
    int total = 0;
    for (const auto& [mode, l] : logs) {
        const double n = counts[mode];
        std::printf("| %d (geometric mean) | %.3f | %.3f | %.3f | %.3f × |", mode, std::exp(l[0] / n),
                    std::exp(l[1] / n), std::exp(l[2] / n), std::exp((l[2] - l[3]) / n));
        if (best) std::printf(" %.3f | %.3f × |", std::exp(l[4] / n), std::exp((l[4] - l[2]) / n));
        std::printf("\n");
        for (std::size_t k = 0; k < 5; ++k) all[k] += l[k];
        total += counts[mode];
    }
    std::printf("| all | %.3f | %.3f | %.3f | %.3f × |", std::exp(all[0] / total), std::exp(all[1] / total),
                std::exp(all[2] / total), std::exp((all[2] - all[3]) / total));
    if (best) std::printf(" %.3f | %.3f × |", std::exp(all[4] / total), std::exp((all[4] - all[2]) / total));
    std::printf("\n");
}

}  // namespace
}  // namespace varnoke

int main(int argc, char** argv) {
    using namespace varnoke;
    const Settings settings = parse(argc, argv);
    const fs::path work = fs::temp_directory_path() / ("varnoke-quality-" + std::to_string(getpid()));
    fs::create_directories(work);
    std::vector<Line> lines;
    std::printf("picture mode: ImageMagick, usual recipe, Varnoke, best (at %.0f pixels a degree)\n",
                settings.pixelsPerDegree.front());
    for (const std::string& name : kCorpus) {
        if (!settings.only.empty() && fs::path(name).stem() != settings.only) continue;
        const fs::path picture = kCorpusDir / name;
        const fs::path cropped = work / "cropped.png";
        run("convert " + quoted(picture) + "[0] -auto-orient -strip -background black -alpha remove -alpha off -crop " +
            cropOf(picture) + " +repage " + quoted(cropped));
        run("convert " + quoted(cropped) + kLinearResize + "640x400! -colorspace sRGB -depth 16 " +
            quoted(work / "ref.ppm"));
        const LinearImage canvas = readPpm(work / "ref.ppm");
        std::vector<ScielabReference> references;
        for (const double ppd : settings.pixelsPerDegree) references.emplace_back(canvas, ppd);
        for (const char modeChar : settings.modes) {
            const auto mode = static_cast<Byte>(modeChar - '0');
            lines.push_back(scoreMode(work, cropped, canvas, references, mode, settings, name));
        }
    }
    for (std::size_t d = 0; d < settings.pixelsPerDegree.size(); ++d)
        printTable(lines, d, settings.pixelsPerDegree[d], settings.best);
    fs::remove_all(work);
    return 0;
}
