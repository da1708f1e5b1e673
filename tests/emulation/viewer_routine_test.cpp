// The screen file's Z80 routine, run on an emulated CPC. The file is loaded where its
// AMSDOS header says, the routine is called as BASIC's CALL would, and the test watches
// what reaches the hardware: the mode, the pens, the CRTC's display start, the keyboard
// polls, the interrupt entry at &0038, and every byte of memory written.
#include "emulated_cpc.h"

#include "cpc/save_command.h"
#include "display/picture_display.h"
#include "independent/independent_pictures.h"
#include "main/cpc_colors.h"
#include "palette/palette_fit.h"
#include "pcx/open_command.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace varnoke {
namespace {

using test::EmulatedCpc;
using Addresses = std::vector<std::uint16_t>;
constexpr std::uint64_t kFrame = EmulatedCpc::kFrame;

// A picture opened, fitted into its mode's pens, drawn, and saved in memory.
struct Converted {
    ProgramState state;
    PictureArea area;
    OutputFiles files;
    test::Bytes image() const { return {files.screenFile.begin() + 128, files.screenFile.end()}; }
    unsigned header(std::size_t at) const {
        return test::le16({files.screenFile.begin(), files.screenFile.begin() + 128}, at);
    }
};

std::unique_ptr<Converted> convert(const std::filesystem::path& pcx, ScreenLayout layout) {
    auto converted = std::make_unique<Converted>();
    const Expected<void> opened = openPictureFile(converted->state, pcx, pcx.filename().string(), Log());
    EXPECT_TRUE(opened.ok()) << pcx << ": " << opened.reason();
    if (!opened.ok()) return nullptr;
    fitPalette(converted->state, Log());
    drawPicture(converted->state, converted->area, Log());
    converted->files = buildOutputFiles(converted->state, layout, Log());
    return converted;
}

TEST(GateArrayCodes, ShowTheirCpcColours) {
    for (Byte n = 0; n < 27; ++n) EXPECT_EQ(test::firmwareColourOfCode(cpcGateArrayCode(n)), n);
}

class Viewer : public ::testing::TestWithParam<const char*> {
protected:
    void load(ScreenLayout layout) {
        converted_ = convert(test::sample(GetParam()), layout);
        ASSERT_TRUE(converted_);
        ASSERT_EQ(converted_->header(24), 0x4000u);  // data length
        cpc_.load(static_cast<std::uint16_t>(converted_->header(21)), converted_->image());
        mode_ = converted_->state.cpcMode;
    }
    // Pens 0 to the mode's last, each once, get the codes of the ink table at `table`.
    void expectPensFromInkTable(std::uint16_t table) const {
        const int pens = pensOfMode(static_cast<Byte>(mode_));
        ASSERT_EQ(cpc_.penColours.size(), static_cast<std::size_t>(pens)) << "each pen of the mode is set once";
        for (int p = 0; p < pens; ++p) {
            EXPECT_EQ(cpc_.penColours[std::size_t(p)].key, p);
            EXPECT_EQ(cpc_.penColours[std::size_t(p)].value, cpc_.memory[table + std::size_t(p)]) << "pen " << p;
            EXPECT_NE(cpc_.memory[table + std::size_t(p)], 0);
        }
        EXPECT_EQ(cpc_.memory[table + std::size_t(pens)], 0);
    }
    std::vector<int> modes() const {
        std::vector<int> modes;
        for (const EmulatedCpc::Event& e : cpc_.modesSet) modes.push_back(e.key);
        return modes;
    }
    bool firmwareEntryBack() const {
        return std::equal(EmulatedCpc::kFirmwareInterruptEntry.begin(), EmulatedCpc::kFirmwareInterruptEntry.end(),
                          cpc_.memory.begin() + 0x38);
    }

    std::unique_ptr<Converted> converted_;
    EmulatedCpc cpc_;
    int mode_ = 0;
};

TEST_P(Viewer, At4000ShowsThePictureUntilTheSpaceBarThenRestoresTheMachine) {
    load(ScreenLayout::At4000);
    ASSERT_EQ(converted_->header(21), 0x4000u);
    ASSERT_EQ(converted_->header(26), 0x4FD0u);
    const std::uint64_t pressedAt = 5 * kFrame + 30000;
    cpc_.spaceDownAt = pressedAt;
    const EmulatedCpc::CallResult run = cpc_.call(0x4FD0, 12 * kFrame);
    ASSERT_TRUE(run.returned) << "the routine did not come back within 12 frames";
    EXPECT_GT(run.endedAt, pressedAt);
    EXPECT_LT(run.endedAt, pressedAt + kFrame + EmulatedCpc::kFlyback) << "it returns at the next flyback";

    // The file's mode, then mode 2 on the way out, both through the firmware; the pens
    // from the table at &47E0; display from &4000 before the first keyboard poll, back
    // to &C000 after the press and before mode 2.
    EXPECT_EQ(modes(), (std::vector<int>{mode_, 2}));
    expectPensFromInkTable(0x47E0);
    ASSERT_FALSE(cpc_.keyboardReads.empty());
    ASSERT_EQ(cpc_.crtcWrites.size(), 2u);
    const auto& [show, restore] = std::tie(cpc_.crtcWrites[0], cpc_.crtcWrites[1]);
    EXPECT_EQ(std::tie(show.key, show.value), std::make_tuple(12, std::uint8_t{0x10}));
    EXPECT_EQ(std::tie(restore.key, restore.value), std::make_tuple(12, std::uint8_t{0x30}));
    EXPECT_LT(show.time, cpc_.keyboardReads.front().time);
    EXPECT_LT(cpc_.penColours.back().time, cpc_.keyboardReads.front().time);
    EXPECT_GT(restore.time, pressedAt);
    EXPECT_GT(cpc_.modesSet.back().time, restore.time);

    // The keyboard is read on line 5 just after the flyback bit was seen set, in every
    // frame until the press; the last poll saw the space bar down.
    std::map<std::uint64_t, int> pollsPerFrame;
    for (const EmulatedCpc::Event& read : cpc_.keyboardReads) {
        EXPECT_EQ(read.key, 5);
        EXPECT_LT(read.time % kFrame, EmulatedCpc::kFlyback + 200) << "read at T-state " << read.time;
        if (read.time < pressedAt) ++pollsPerFrame[read.time / kFrame];
    }
    EXPECT_EQ(pollsPerFrame.size(), 6u) << "frames 0 to 5 polled";
    EXPECT_TRUE(cpc_.spaceDown(cpc_.keyboardReads.back().time));

    // While it waits, every interrupt returns at once (EI; RET at &0038), and the
    // firmware's handler never runs; afterwards the firmware's bytes are back.
    ASSERT_TRUE(cpc_.shownWhileWaiting);
    EXPECT_EQ(cpc_.shownWhileWaiting->memory[0x38], 0xFB);
    EXPECT_EQ(cpc_.shownWhileWaiting->memory[0x39], 0xC9);
    EXPECT_GT(cpc_.interruptsTaken, 20);
    EXPECT_EQ(cpc_.firmwareHandlerRuns, 0);
    EXPECT_TRUE(firmwareEntryBack());
    // Nothing is written but its own operands, &0038-&0039 and the stack.
    EXPECT_EQ(cpc_.writesOutsideStack(), (Addresses{0x0038, 0x0039, 0x4FF5, 0x4FF6, 0x5FDD, 0x5FDE}));
    EXPECT_TRUE(cpc_.unexpectedPorts.empty());
}

// With the space bar already down it returns after one flyback. It keeps its pen
// pointer in its own code (&5FDD) and leaves it on the zero that ends the list, so a
// second call without reloading sets the mode only. The pens still come from the &4000
// file when the firmware clears &C000 on a mode change.
TEST_P(Viewer, At4000AgainWithTheSpaceBarDownAndTheScreenAtC000Cleared) {
    load(ScreenLayout::At4000);
    cpc_.spaceDownAt = 0;
    cpc_.setModeClearsScreen = true;
    std::fill(cpc_.memory.begin() + 0xC000, cpc_.memory.end(), Byte{0xAA});
    ASSERT_TRUE(cpc_.call(0x4FD0, 3 * kFrame).returned);
    EXPECT_EQ(cpc_.keyboardReads.size(), 1u);
    expectPensFromInkTable(0x47E0);
    EXPECT_EQ(cpc_.memory[0x5FDD] | cpc_.memory[0x5FDE] << 8, 0x47E0 + pensOfMode(static_cast<Byte>(mode_)));

    ASSERT_TRUE(cpc_.call(0x4FD0, 3 * kFrame).returned);
    EXPECT_EQ(cpc_.penColours.size(), pensOfMode(static_cast<Byte>(mode_)));
    EXPECT_EQ(modes(), (std::vector<int>{mode_, 2, mode_, 2}));
    EXPECT_TRUE(firmwareEntryBack());
}

// The &C000 file's routine, at &CFD0, uses absolute addresses of &4000 (its header's
// entry): it runs once copied there. (It asks the firmware for the mode before it reads
// the table at &C7E0, which the firmware clears with the screen on a CPC: a known fault.)
TEST_P(Viewer, AtC000SetsTheModeAndThePensOnly) {
    load(ScreenLayout::AtC000);
    ASSERT_EQ(converted_->header(21), 0xC000u);
    ASSERT_EQ(converted_->header(26), 0x4000u);
    std::copy_n(cpc_.memory.begin() + 0xCFD0, 32, cpc_.memory.begin() + 0x4000);
    ASSERT_TRUE(cpc_.call(0x4000, kFrame).returned);
    EXPECT_EQ(modes(), std::vector<int>{mode_});
    expectPensFromInkTable(0xC7E0);
    EXPECT_TRUE(cpc_.crtcWrites.empty());
    EXPECT_TRUE(cpc_.keyboardReads.empty());
    EXPECT_EQ(cpc_.writesOutsideStack(), (Addresses{0x400D, 0x400E}));  // its operands only
    EXPECT_TRUE(cpc_.unexpectedPorts.empty());
}

INSTANTIATE_TEST_SUITE_P(Samples, Viewer,
                         ::testing::Values("sunset-mode0.pcx", "sunset-mode1.pcx", "checkerboard-mode2.pcx"),
                         [](const auto& info) { return "mode" + std::to_string(info.index); });

// Every pixel of a picture that another tool wrote, as the CPC shows it (screen bytes,
// pen, the code the routine gave the pen, the colour of that code), is the colour the
// window shows for it.
class CpcShowsWhatTheWindowShows : public ::testing::TestWithParam<std::tuple<std::string, ScreenLayout>> {};

TEST_P(CpcShowsWhatTheWindowShows, EveryPixel) {
    const auto& [picture, layout] = GetParam();
    const auto converted = convert(test::independentPicture(picture), layout);
    ASSERT_TRUE(converted);
    EmulatedCpc cpc;
    cpc.load(static_cast<std::uint16_t>(converted->header(21)), converted->image());
    const auto entry = static_cast<std::uint16_t>(converted->header(26));
    EmulatedCpc::Picture shown{};
    if (layout == ScreenLayout::At4000) {
        cpc.spaceDownAt = kFrame;
        ASSERT_TRUE(cpc.call(entry, 4 * kFrame).returned);
        ASSERT_TRUE(cpc.shownWhileWaiting);
        shown = *cpc.shownWhileWaiting;
    } else {
        std::copy_n(cpc.memory.begin() + 0xCFD0, 32, cpc.memory.begin() + entry);
        ASSERT_TRUE(cpc.call(entry, kFrame).returned);
        shown = cpc.shownNow();
    }
    ASSERT_EQ(shown.mode, converted->state.cpcMode);
    // Register 12 bits 5-4 choose the 16 KB bank the CRTC displays.
    const std::span<const std::uint8_t> screen(shown.memory.data() + ((shown.crtcR12 >> 4) & 3) * 0x4000, 0x4000);
    for (int y = 0; y < kPictureHeight; ++y)
        for (int x = 0; x < pictureWidth(converted->state.cpcMode); ++x) {
            const int pen = test::penOnScreen(screen, shown.mode, x, y);
            ASSERT_TRUE(shown.inks[std::size_t(pen)]) << "pen " << pen << " was never given a colour";
            const test::Rgb3 rgb = test::displayRgb(test::firmwareColourOfCode(*shown.inks[std::size_t(pen)]));
            const std::uint32_t onCpc = 0xFF000000u | unsigned{rgb[0]} << 16 | unsigned{rgb[1]} << 8 | rgb[2];
            ASSERT_EQ(onCpc, converted->area.at(shown.mode == 0 ? 2 * x : x, shown.mode == 2 ? 2 * y : y))
                << "pixel (" << x << ", " << y << "), pen " << pen;
        }
}

INSTANTIATE_TEST_SUITE_P(IndependentPictures, CpcShowsWhatTheWindowShows,
                         ::testing::Combine(::testing::ValuesIn(test::independentPictures()),
                                            ::testing::Values(ScreenLayout::At4000, ScreenLayout::AtC000)),
                         [](const auto& info) {
                             return test::testNameOf(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) == ScreenLayout::At4000 ? "_at4000" : "_atC000");
                         });

}  // namespace
}  // namespace varnoke
