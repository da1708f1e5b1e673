// The overscan file's routine, run on the emulated CPC as BASIC's RUN enters it: the CRTC
// registers it sets and puts back, the gate array's mode and pens, the reset it ends with,
// and every pixel that the CRTC's registers make the CPC show, against the picture and
// against --preview.
#include "emulated_cpc.h"

#include "cpc/save_command.h"
#include "extras/cpc_preview.h"
#include "import/import_session.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace varnoke {
namespace {

using test::EmulatedCpc;
constexpr std::uint64_t kFrame = EmulatedCpc::kFrame;
using Writes = std::vector<std::pair<int, int>>;

class OverscanRoutine : public ::testing::TestWithParam<int> {};

TEST_P(OverscanRoutine, ShowsTheWholePictureUntilSpaceThenPutsTheCrtcBackAndResets) {
    const Byte mode = static_cast<Byte>(GetParam());
    // A picture on the overscan grid in pens of distinct colours.
    ImportResult picture{mode, ScreenFormat::Overscan, {}, {}, 0, {}, {}};
    const int width = 192 << mode, pens = pensOfMode(mode);
    for (int p = 0; p < pens; ++p) picture.penColours.push_back(static_cast<Byte>((5 * p + 3) % 27));
    for (int i = 0; i < width * 272; ++i)
        picture.penOfPixel.push_back(static_cast<Byte>((i % width / 3 + i / width / 5 + i % 7) % pens));
    ProgramState state;
    installImport(state, picture, Log());
    const std::vector<Byte> file = buildOutputFiles(state, ScreenLayout::At4000, Log()).screenFile;
    EXPECT_EQ(std::make_tuple(file.size(), file[18], test::le16(file, 21), test::le16(file, 24), test::le16(file, 26)),
              std::make_tuple(128u + 0x7F80, Byte{2}, 0x0170u, 0x7F80u, 0x0170u));

    EmulatedCpc cpc;
    cpc.load(0x0170, std::span<const Byte>(file).subspan(128));
    const std::uint64_t pressedAt = 3 * kFrame + 1000;
    cpc.spaceDownAt = pressedAt;
    const EmulatedCpc::CallResult run = cpc.call(0x0170, 8 * kFrame);
    ASSERT_TRUE(run.reset) << "the routine did not reset the machine within 8 frames";
    EXPECT_LT(run.endedAt, pressedAt + 2 * kFrame);

    // 48 characters × 34 rows from &0200 with MA10 and MA11 set, syncs at 50 and 35; then
    // the firmware's 40 × 25 screen at &C000, syncs at 46 and 30.
    Writes crtc;
    for (const EmulatedCpc::Event& e : cpc.crtcWrites) crtc.emplace_back(e.key, e.value);
    Writes expected{{1, 48}, {2, 50}, {6, 34}, {7, 35}, {12, 0x0D}, {13, 0}};
    expected.insert(expected.end(), {{1, 40}, {2, 46}, {6, 25}, {7, 30}, {12, 0x30}, {13, 0}});
    EXPECT_EQ(crtc, expected);
    ASSERT_TRUE(cpc.crtcWrites.size() == 12u && !cpc.keyboardReads.empty());
    EXPECT_LT(cpc.crtcWrites[5].time, cpc.keyboardReads.front().time);
    EXPECT_GT(cpc.crtcWrites[6].time, pressedAt);
    // The mode with both ROMs off, then mode 1 with the lower ROM for the reset.
    Writes modes;
    for (const EmulatedCpc::Event& e : cpc.gateArrayModes) modes.emplace_back(e.key, e.value);
    EXPECT_EQ(modes, (Writes{{mode, 0x8C + mode}, {1, 0x89}}));
    // Pens 0 to 15, then the border in black; interrupts stay off, nothing but the stack is written.
    ASSERT_EQ(cpc.penColours.size(), 17u);
    for (int p = 0; p < 17; ++p) EXPECT_EQ(cpc.penColours[std::size_t(p)].key, p);
    EXPECT_EQ(cpc.penColours[16].value, 0x54);
    EXPECT_EQ(cpc.interruptsTaken + cpc.firmwareHandlerRuns, 0);
    EXPECT_TRUE(cpc.writesOutsideStack().empty());
    EXPECT_TRUE(cpc.unexpectedPorts.empty());

    // Every pixel the CRTC shows is the picture's colour, and --preview's at its place.
    ASSERT_TRUE(cpc.shownWhileWaiting);
    const EmulatedCpc::Picture& shown = *cpc.shownWhileWaiting;
    const Expected<PictureArea> preview = previewOverscanFile(file);
    ASSERT_TRUE(preview) << preview.reason();
    const PictureArea& area = preview.value();
    ASSERT_EQ(std::make_pair(area.width, area.height), std::make_pair(832, 576));
    const int across = 768 / width;
    for (int y = 0; y < shown.crtc[6] * 8; ++y)
        for (int x = 0; x < width; ++x) {
            const int perByte = 2 << mode;
            const Byte byte = shown.memory[test::crtcByteAddress(shown.crtc, y, x / perByte)];
            const int pen = test::penOfByte(byte, shown.mode, x % perByte);
            const test::Rgb3 onCpc = test::displayRgb(test::firmwareColourOfCode(*shown.inks[std::size_t(pen)]));
            const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
            ASSERT_EQ(onCpc, test::displayRgb(picture.penColours[picture.penOfPixel[i]])) << x << ", " << y;
            const std::uint32_t argb = 0xFF000000u | unsigned{onCpc[0]} << 16 | unsigned{onCpc[1]} << 8 | onCpc[2];
            ASSERT_TRUE(area.at(32 + across * x, 16 + 2 * y) == argb &&
                        area.at(32 + across * x + across - 1, 17 + 2 * y) == argb)
                << x << ", " << y;
        }
    EXPECT_EQ(shown.crtc[1] * 2, 96);
    for (const auto& [x, y] : {std::pair{0, 0}, {31, 300}, {800, 300}, {400, 15}, {400, 560}, {831, 575}})
        EXPECT_EQ(area.at(x, y), 0xFF000000u) << "border at " << x << ", " << y;
}

INSTANTIATE_TEST_SUITE_P(Modes, OverscanRoutine, ::testing::Values(0, 1, 2),
                         [](const auto& info) { return "mode" + std::to_string(info.param); });

}  // namespace
}  // namespace varnoke
