// The raster routine on an emulated CPC with the CPC's timing. The beam is placed by the
// test's own clock: the frame flyback starts every 19968 us (312 lines of 64 us), and
// the picture's line y is drawn 72 + y lines after it starts, for its first 40 us.
#include "emulated_cpc.h"

#include "cpc/raster_routine.h"
#include "main/cpc_colors.h"

#include <gtest/gtest.h>

#include <map>

namespace varnoke {
namespace {

using test::EmulatedCpc;
constexpr std::int64_t kLine = 64, kFrameUs = 312 * kLine, kFirstLine = 72 * kLine, kDrawn = 40;

struct Case {
    const char* name;
    Byte mode;
    std::vector<Byte> linePens;
    bool everyLineChanges;
    std::uint16_t startDelay;  // units of 7 us spent before the call, so the flyback is met at other moments
};

// The colours the test asks for: pen p fixed at (5p + 1) mod 27; line pen k on line y
// at (7y + 9k + 3) mod 27, a new colour on every line, or at 9k + 3 on every line.
int expectedColour(const Case& c, int y, int pen) {
    const auto k = std::find(c.linePens.begin(), c.linePens.end(), pen);
    if (k == c.linePens.end()) return (5 * pen + 1) % 27;
    const int index = static_cast<int>(k - c.linePens.begin());
    return ((c.everyLineChanges ? 7 * y : 0) + 9 * index + 3) % 27;
}

LinePenColours coloursOf(const Case& c) {
    LinePenColours colours{c.mode, {}, c.linePens, {}};
    for (int pen = 0; pen < 16; ++pen)
        colours.penColours[std::size_t(pen)] = static_cast<Byte>(expectedColour(c, 0, pen));
    for (int y = 0; y < kPictureHeight; ++y)
        for (const Byte pen : c.linePens) colours.lineColours.push_back(static_cast<Byte>(expectedColour(c, y, pen)));
    return colours;
}

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class RasterRoutine : public ::testing::TestWithParam<Case> {};

TEST_P(RasterRoutine, WritesEveryLinesPensInItsUndrawnTimeEveryFrameThenReturnsToBasic) {
    const Case& c = GetParam();
    const std::vector<Byte> file = buildRasterFile(coloursOf(c));
    ASSERT_EQ(file.size(), kRasterFileSize);
    EmulatedCpc cpc;
    cpc.cpcTiming = true;
    cpc.load(0x8000, std::span(file).subspan(kAmsdosHeaderSize));
    // LD HL,n; DEC HL; LD A,H; OR L; JP NZ,&9003; RET
    const std::array<std::uint8_t, 10> delay{
        0x21, Byte(c.startDelay), Byte(c.startDelay >> 8), 0x2B, 0x7C, 0xB5, 0xC2, 0x03, 0x90, 0xC9};
    cpc.load(0x9000, delay);
    ASSERT_TRUE(cpc.call(0x9000, 2 * EmulatedCpc::kFrame).returned);
    const std::uint64_t pressedAt = 17 * EmulatedCpc::kFrame + 4000;  // finding the flyback takes up to 9 frames
    cpc.spaceDownAt = pressedAt;
    const EmulatedCpc::CallResult run = cpc.call(0x8000, 30 * EmulatedCpc::kFrame);

    // Back in BASIC: its stack (the call checks it), interrupts on, the firmware's
    // interrupt entry untouched, the display at &C000 and BASIC's mode again, within a
    // frame of the press; nothing written but the routine's own saved state and the stack.
    ASSERT_TRUE(run.returned);
    EXPECT_LT(run.endedAt, pressedAt + EmulatedCpc::kFrame);
    EXPECT_TRUE(cpc.interruptsEnabled());
    EXPECT_TRUE(std::equal(EmulatedCpc::kFirmwareInterruptEntry.begin(), EmulatedCpc::kFirmwareInterruptEntry.end(),
                           cpc.memory.begin() + 0x38));
    ASSERT_EQ(cpc.modesSet.size(), 2u);
    EXPECT_EQ(cpc.modesSet[0].key, c.mode);
    EXPECT_EQ(cpc.modesSet[1].key, 1) << "BASIC's mode (1 in the emulated CPC)";
    ASSERT_EQ(cpc.crtcWrites.size(), 2u);
    EXPECT_EQ(cpc.crtcWrites[0].value, 0x10);
    EXPECT_EQ(cpc.crtcWrites[1].value, 0x30);
    EXPECT_EQ(cpc.writesOutsideStack(), (std::vector<std::uint16_t>{0x8135, 0x8136, 0x8137}));
    EXPECT_TRUE(cpc.unexpectedPorts.empty());

    // No gate-array write after the mode's pens are set lands while a line of the picture
    // is drawn, and every colour lands in the undrawn 24 us before a line of the picture.
    const int pens = pensOfMode(c.mode);
    ASSERT_GT(cpc.penColours.size(), std::size_t(pens));
    const std::uint64_t setUp = cpc.penColours[std::size_t(pens - 1)].time;
    for (const std::uint64_t run : cpc.firmwareHandlerTimes)
        EXPECT_FALSE(run > cpc.modesSet[0].time && run < cpc.crtcWrites[1].time)
            << "the firmware's handler ran at " << run;
    std::map<std::int64_t, std::vector<std::int64_t>> writesOfFrame;  // frame -> positions from its line 0
    for (const auto* events : {&cpc.penColours, &cpc.penSelects})
        for (const EmulatedCpc::Event& e : *events) {
            if (e.time <= setUp) continue;
            const auto us = static_cast<std::int64_t>(e.time / 4);
            const std::int64_t frame = (us - kFirstLine + kLine) / kFrameUs;
            const std::int64_t at = us - kFirstLine - frame * kFrameUs, intoLine = (at + kLine) % kLine;
            ASSERT_FALSE(at >= 0 && at < kPictureHeight * kLine && intoLine < kDrawn)
                << "pen " << e.key << " written while line " << at / kLine << " is drawn, frame " << frame;
            if (events == &cpc.penColours) {
                ASSERT_TRUE(at >= -24 && at < 199 * kLine && intoLine >= kDrawn)
                    << "pen " << e.key << " given a colour " << intoLine << " us into a line, " << at
                    << " us from line 0 of frame " << frame;
            }
            writesOfFrame[frame].push_back(at);
        }

    // Each frame writes at the same moments (a frame takes exactly 312 lines), 3 colour
    // and 2 select writes a line and a select before line 0; every frame before the press
    // is shown whole.
    ASSERT_GE(writesOfFrame.size(), 6u);
    const std::int64_t first = writesOfFrame.begin()->first;
    for (auto& [frame, positions] : writesOfFrame) {
        std::sort(positions.begin(), positions.end());
        EXPECT_EQ(positions, writesOfFrame.begin()->second) << "frame " << frame;
        EXPECT_EQ(positions.size(), 5u * kPictureHeight + 1);
    }
    EXPECT_EQ(writesOfFrame.rbegin()->first - first + 1, std::int64_t(writesOfFrame.size()));

    // What each line shows: every pen's colour as the beam starts the line's picture.
    for (auto [frame, positions] : writesOfFrame) {
        std::array<int, 16> shown{};
        auto next = cpc.penColours.begin();
        for (int y = 0; y < kPictureHeight; ++y) {
            const std::uint64_t drawn = static_cast<std::uint64_t>(4 * (kFirstLine + frame * kFrameUs + y * kLine));
            for (; next != cpc.penColours.end() && next->time < drawn; ++next)
                shown[std::size_t(next->key)] = test::firmwareColourOfCode(next->value);
            for (int pen = 0; pen < pens; ++pen)
                ASSERT_EQ(shown[std::size_t(pen)], expectedColour(c, y, pen))
                    << "frame " << frame << ", line " << y << ", pen " << pen;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, RasterRoutine,
                         ::testing::Values(Case{"mode1_three_pens_new_colours_every_line", 1, {1, 2, 3}, true, 100},
                                           Case{"mode0_one_pen_same_colour_on_every_line", 0, {15}, false, 1},
                                           Case{"mode0_three_pens_every_line", 0, {3, 9, 14}, true, 2849},
                                           Case{"mode1_two_pens_same_colours", 1, {0, 3}, false, 1733},
                                           Case{"mode2_one_pen_every_line", 2, {1}, true, 2000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RasterFile, ReadsBackWhatWasWrittenAndRefusesDamage) {
    const Case c{"", 0, {2, 7}, true, 0};
    const std::vector<Byte> file = buildRasterFile(coloursOf(c));
    const Expected<LinePenColours> back = parseRasterFile(file);
    ASSERT_TRUE(back) << back.reason();
    for (int y = 0; y < kPictureHeight; ++y)
        for (int pen = 0; pen < 16; ++pen) ASSERT_EQ(back.value().colourOn(y, Byte(pen)), expectedColour(c, y, pen));
    // A byte of the routine, a pen beyond the mode, a code that is no colour, a missing
    // end of table, one byte short: each refused.
    for (const std::size_t at :
         {std::size_t{0x10}, kRasterLinePensOffset, kRasterTableOffset + 4 * 57, kRasterTableOffset + 4 * 200 + 2}) {
        std::vector<Byte> damaged = file;
        damaged[kAmsdosHeaderSize + at] ^= 0x20;
        EXPECT_FALSE(parseRasterFile(damaged)) << "damage at " << at;
    }
    EXPECT_FALSE(parseRasterFile(std::span(file).first(file.size() - 1)));
}

}  // namespace
}  // namespace varnoke
