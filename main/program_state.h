// The program state: everything the converter knows about the loaded picture and the
// user's colour choices, plus the log through which every command reports its steps.
//
// The state is plain data. Commands (opening a picture, building the palette, editing
// it, saving) are free functions that take the state and a Log; the window and the
// command-line converter each own one ProgramState and call those functions.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace varnoke {

using Byte = std::uint8_t;

// The CPC shows 27 colours (numbered 0 to 26) and has at most 16 pens in use; the pen
// table holds 27 entries so that every colour of a picture can be shown and edited.
inline constexpr int kCpcColorCount = 27;
inline constexpr int kPenCount = 27;
// The filter colour of a pen that holds no colour.
inline constexpr Byte kEmptyPen = 255;

// Picture geometry of the standard screen: 200 lines; 160, 320 or 640 pixels wide for
// modes 0, 1, 2.
inline constexpr int kPictureHeight = 200;
// The overscan screen fills the CPC's whole display: 272 lines; 192, 384 or 768 pixels wide
// (96 bytes a line, see cpc/overscan_screen.h).
inline constexpr int kOverscanHeight = 272;

// Which screen a picture is made for: the standard 16 KB screen inside its border, or the
// 32 KB overscan screen that covers the display.
enum class ScreenFormat { Standard, Overscan };

// Which screen-file layout a deliverable writes: loaded at &4000 with the four-block
// viewer routine, or loaded straight into the displayed screen at &C000.
enum class ScreenLayout { At4000, AtC000 };

// A display colour: what the window paints for a CPC colour.
struct Rgb {
    Byte r = 0;
    Byte g = 0;
    Byte b = 0;
    friend constexpr bool operator==(Rgb, Rgb) = default;
    // 0xFFRRGGBB, the layout of a 32-bit frame-buffer pixel.
    constexpr std::uint32_t argb() const {
        return 0xFF000000u | (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b;
    }
};

// What an Ink box shows: its background colour and its text.
struct PenBox {
    Rgb background;
    std::string text;
};

// One pen of the image palette: the box that shows it and the filter colour that
// palette building gave it (kEmptyPen for a pen without colour).
struct couleur_palette {
    PenBox box;
    Byte filterColor = kEmptyPen;
};

// The grey of an empty Ink box; none of the 27 display colours equals it.
inline constexpr Rgb kEmptyPenGrey{0x80, 0x80, 0x80};

// The range of the two thresholds, and where they start on every run.
inline constexpr int kThresholdMin = 0;
inline constexpr int kThresholdMax = 62;
inline constexpr int kDefaultThresholdLow = 21;
inline constexpr int kDefaultThresholdHigh = 41;

struct ProgramState {
    // Builds the state as it is once the window exists: the colour model loaded,
    // the identity substitution, 27 empty pens, pen 0 selected, thresholds 21 and 41.
    ProgramState();

    // CPC screen mode of the loaded picture: 0, 1 or 2.
    Byte cpcMode = 0;
    // The screen the picture is made for; the Open command always gives Standard.
    ScreenFormat screen = ScreenFormat::Standard;
    // One PCX palette index per pixel, rows from the top, each row from the left.
    std::vector<Byte> pixelData;
    // The picture's 256 (R, G, B) palette entries as stored at the end of the file.
    std::array<Byte, 768> pcxPalette{};
    // The filter colour (CPC colour 0..26) that the thresholds give each palette index.
    std::array<Byte, 256> cpcColorOfIndex{};
    // How many decoded pixels use each palette index.
    std::array<std::uint32_t, 256> colorUsage{};
    // For each filter colour, the CPC colour shown and saved in its place.
    std::array<Byte, kCpcColorCount> colorSubstitution{};
    // Gate-array colour code of each CPC colour.
    std::array<Byte, kCpcColorCount> hardwareCodes{};
    // Display colour of each CPC colour, as the row of CPC colour boxes shows it.
    std::array<Rgb, kCpcColorCount> cpcColorBoxes{};
    // The 27 pens of the image palette, most used colour first.
    std::array<couleur_palette, kPenCount> inkBoxes{};
    // The pen whose Ink box the user picked last.
    Byte selectedPen = 0;
    // Positions of the two threshold bars, 0 to 62 each.
    int thresholdLow = kDefaultThresholdLow;
    int thresholdHigh = kDefaultThresholdHigh;
};

// How many pens a mode has: 16, 4 or 2 (any mode above 2 counts as mode 2).
constexpr Byte pensOfMode(Byte cpcMode) { return cpcMode == 0 ? 16 : cpcMode == 1 ? 4 : 2; }

// How many pens the current mode has: 16, 4 or 2.
Byte pensPerMode(const ProgramState& state);

// The pen that shows CPC colour `cpcColor`: the lowest non-empty pen of the mode whose
// substituted colour equals it, or pen 0 when none does.
Byte penOfColor(const ProgramState& state, Byte cpcColor);

// Width in pixels of a picture of the given mode: 160, 320 or 640 on the standard screen,
// 192, 384 or 768 on the overscan screen.
int pictureWidth(Byte cpcMode, ScreenFormat screen = ScreenFormat::Standard);

// Lines of a picture: 200 on the standard screen, 272 on the overscan screen.
constexpr int pictureHeight(ScreenFormat screen) {
    return screen == ScreenFormat::Overscan ? kOverscanHeight : kPictureHeight;
}

// The number of decoded pixels that a picture of the given mode and screen needs.
std::size_t targetPixelCount(Byte cpcMode, ScreenFormat screen = ScreenFormat::Standard);

// True when a decoded picture of the current mode and screen is loaded (enough pixels to
// encode).
bool hasPictureOfMode(const ProgramState& state);

// The log: a sink of whole lines that the front provides (the window's log pane,
// standard output, a test's vector). DEBUG appends exactly one line.
class Log {
public:
    using Sink = std::function<void(std::string_view)>;
    Log() = default;
    explicit Log(Sink sink) : sink_(std::move(sink)) {}
    void DEBUG(std::string_view line) const {
        if (sink_) sink_(line);
    }
    // A label ending in a blank followed directly by a decimal value: "Checksum = 1338".
    void DEBUG(std::string_view label, long long value) const;

private:
    Sink sink_;
};

}  // namespace varnoke
