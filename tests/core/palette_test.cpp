// The colour mapping: the 27-colour model, quantising at the thresholds, ranking colours
// into pens (ties included), the user's edits, and the check before saving.
#include "main/cpc_colors.h"
#include "palette/palette_building.h"
#include "palette/palette_check.h"
#include "palette/palette_editing.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace varnoke {
namespace {

using test::CapturedLog;

// Gives filter colour f exactly counts[f] pixels: palette entry f gets the display
// colour of CPC colour f (which the default thresholds map back to f), and the pixel
// counts are set directly.
void setCountsPerFilterColor(ProgramState& state, const std::vector<std::uint32_t>& counts) {
    state.pcxPalette.fill(0);
    state.colorUsage.fill(0);
    for (std::size_t f = 0; f < counts.size(); ++f) {
        const Rgb rgb = cpcDisplayColor(static_cast<Byte>(f));
        state.pcxPalette[3 * f] = rgb.r;
        state.pcxPalette[3 * f + 1] = rgb.g;
        state.pcxPalette[3 * f + 2] = rgb.b;
        state.colorUsage[f] = counts[f];
    }
    // Every unused entry is black and adds nothing.
}

std::vector<int> penFilterColors(const ProgramState& state) {
    std::vector<int> colors;
    for (const couleur_palette& pen : state.inkBoxes) colors.push_back(pen.filterColor == kEmptyPen ? -1 : pen.filterColor);
    return colors;
}

TEST(CpcColorModel, TableOfCodesAndDisplayColours) {
    const ProgramState state;
    EXPECT_THAT(state.hardwareCodes,
                ::testing::ElementsAre(0x54, 0x44, 0x55, 0x5C, 0x58, 0x5D, 0x4C, 0x45, 0x4D, 0x56, 0x46, 0x57, 0x5E,
                                       0x40, 0x5F, 0x4E, 0x47, 0x4F, 0x52, 0x42, 0x53, 0x5A, 0x59, 0x5B, 0x4A, 0x43,
                                       0x4B));
    EXPECT_EQ(cpcColorNumber(1, 0, 0), 9);  // green weighs most
    EXPECT_EQ(cpcDisplayColor(0), (Rgb{0, 0, 0}));
    EXPECT_EQ(cpcDisplayColor(26), (Rgb{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(cpcDisplayColor(13), (Rgb{0x7F, 0x7F, 0x7F}));
    EXPECT_EQ(cpcDisplayColor(7), (Rgb{0xFF, 0x00, 0x7F}));
    EXPECT_EQ(cpcDisplayColor(15), (Rgb{0xFF, 0x7F, 0x00}));
    // 27 different display colours, none of them the grey of an empty pen.
    for (Byte a = 0; a < 27; ++a) {
        EXPECT_NE(cpcDisplayColor(a), kEmptyPenGrey);
        for (Byte b = 0; b < a; ++b) EXPECT_NE(cpcDisplayColor(a), cpcDisplayColor(b));
    }
    // Gate-array codes are 27 distinct hardware colours with bit 6 set.
    std::vector<Byte> codes(state.hardwareCodes.begin(), state.hardwareCodes.end());
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(std::unique(codes.begin(), codes.end()), codes.end());
    for (const Byte c : codes) EXPECT_EQ(c & 0xE0, 0x40);
}

TEST(Quantising, EveryComponentValueAtEveryThresholdPair) {
    // Levels by a count of thresholds exceeded, the High test first: a value above High
    // is full whatever Low says.
    for (int low = 0; low <= 62; ++low)
        for (int high = 0; high <= 62; ++high)
            for (int byte = 0; byte < 256; ++byte) {
                const int v = byte / 4;
                const int expected = v > high ? 2 : (v > low ? 1 : 0);
                const Byte b = static_cast<Byte>(byte);
                ASSERT_EQ(filterColorOf(b, 0, 0, low, high), 3 * expected) << byte << " " << low << " " << high;
                ASSERT_EQ(filterColorOf(0, b, 0, low, high), 9 * expected);
                ASSERT_EQ(filterColorOf(0, 0, b, low, high), expected);
            }
}

TEST(Quantising, DefaultThresholdsCutAt88And168) {
    EXPECT_EQ(filterColorOf(87, 87, 87, 21, 41), 0);
    EXPECT_EQ(filterColorOf(88, 88, 88, 21, 41), 13);
    EXPECT_EQ(filterColorOf(167, 167, 167, 21, 41), 13);
    EXPECT_EQ(filterColorOf(168, 168, 168, 21, 41), 26);
    EXPECT_EQ(filterColorOf(255, 0, 128, 21, 41), 7);
    EXPECT_EQ(filterColorOf(252, 252, 252, 62, 62), 26);  // 63 is above even the highest High
}

TEST(TallySort, SortsAscendingWhateverTheInput) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::array<occ_color_cpc, 27> tally;
        std::uniform_int_distribution<std::uint32_t> count(0, round % 3 == 0 ? 3 : 1000000);
        for (Byte k = 0; k < 27; ++k) tally[k] = {k, count(random)};
        std::array<occ_color_cpc, 27> sorted = tally;
        sortTally(sorted);
        ASSERT_TRUE(std::is_sorted(sorted.begin(), sorted.end(),
                                   [](const occ_color_cpc& a, const occ_color_cpc& b) { return a.count < b.count; }));
        // A permutation of the records.
        std::array<int, 27> seen{};
        for (const occ_color_cpc& r : sorted) ++seen[r.color];
        ASSERT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
    }
}

TEST(PaletteBuilding, TiesFollowTheSortingProcedure) {
    ProgramState state;
    CapturedLog captured;

    // Colours 3 and 20 with 7 pixels each, colour 26 with 9.
    std::vector<std::uint32_t> counts(27, 0);
    counts[3] = 7;
    counts[20] = 7;
    counts[26] = 9;
    setCountsPerFilterColor(state, counts);
    buildPalette(state, captured.log);
    EXPECT_EQ(penFilterColors(state)[0], 26);
    EXPECT_EQ(penFilterColors(state)[1], 3);
    EXPECT_EQ(penFilterColors(state)[2], 20);
    EXPECT_EQ(penFilterColors(state)[3], -1);

    // All 27 equal: pens 0 to 26 hold colours 0 to 26.
    setCountsPerFilterColor(state, std::vector<std::uint32_t>(27, 5));
    buildPalette(state, captured.log);
    for (int pen = 0; pen < 27; ++pen) EXPECT_EQ(penFilterColors(state)[static_cast<std::size_t>(pen)], pen);

    // A case where equal counts do not come out in colour order.
    setCountsPerFilterColor(state, {1, 0, 1, 3, 1, 1, 0, 0, 1, 3, 1, 0, 1, 1, 3, 1, 0, 1, 3, 1, 3, 0, 0, 3, 1, 0, 3});
    buildPalette(state, captured.log);
    const std::vector<int> expected{26, 23, 3, 20, 18, 9, 14, 0, 2, 4, 5, 8, 10, 12, 13, 15, 17, 19, 24,
                                    -1, -1, -1, -1, -1, -1, -1, -1};
    EXPECT_EQ(penFilterColors(state), expected);
}

TEST(PaletteBuilding, PensShowSubstitutedColoursAndEmptyPensAreGrey) {
    ProgramState state;
    CapturedLog captured;
    std::vector<std::uint32_t> counts(27, 0);
    counts[13] = 100;
    counts[6] = 50;
    setCountsPerFilterColor(state, counts);
    state.colorSubstitution[6] = 20;
    buildPalette(state, captured.log);
    EXPECT_EQ(captured.lines, std::vector<std::string>{"- Building Palette ..."});
    EXPECT_EQ(state.inkBoxes[0].filterColor, 13);
    EXPECT_EQ(state.inkBoxes[0].box.text, "13");
    EXPECT_EQ(state.inkBoxes[1].filterColor, 6);
    EXPECT_EQ(state.inkBoxes[1].box.background, cpcDisplayColor(20));
    EXPECT_EQ(state.inkBoxes[1].box.text, "20");
    EXPECT_EQ(state.inkBoxes[2].filterColor, kEmptyPen);
    EXPECT_EQ(state.inkBoxes[2].box.background, kEmptyPenGrey);
    EXPECT_EQ(state.inkBoxes[2].box.text, "");
}

TEST(PaletteBuilding, EntriesOfOneFilterColourShareOnePen) {
    ProgramState state;
    CapturedLog captured;
    state.pcxPalette.fill(0);
    // Entries 1 and 2 are both full red at the default thresholds; entry 3 is unused.
    for (std::size_t i : {3u, 6u}) state.pcxPalette[i] = 250;
    state.pcxPalette[9] = 200;
    state.colorUsage.fill(0);
    state.colorUsage[1] = 10;
    state.colorUsage[2] = 15;
    state.colorUsage[0] = 20;
    buildPalette(state, captured.log);
    EXPECT_EQ(state.cpcColorOfIndex[1], 6);
    EXPECT_EQ(state.cpcColorOfIndex[3], 6);  // mapped although no pixel uses it
    EXPECT_EQ(state.inkBoxes[0].filterColor, 6);  // 25 pixels
    EXPECT_EQ(state.inkBoxes[1].filterColor, 0);  // 20 pixels
    EXPECT_EQ(state.inkBoxes[2].filterColor, kEmptyPen);
}

TEST(PaletteBuilding, NothingLoadedGivesOnlyEmptyPens) {
    ProgramState state;
    CapturedLog captured;
    buildPalette(state, captured.log);
    for (const couleur_palette& pen : state.inkBoxes) EXPECT_EQ(pen.filterColor, kEmptyPen);
}

TEST(PenQueries, PensPerModeAndPenOfColor) {
    ProgramState state;
    EXPECT_EQ(pensPerMode(state), 16);
    EXPECT_EQ(penOfColor(state, 5), 0);  // nothing loaded: every colour gives pen 0
    state.cpcMode = 1;
    EXPECT_EQ(pensPerMode(state), 4);
    state.cpcMode = 2;
    EXPECT_EQ(pensPerMode(state), 2);

    for (std::size_t pen = 0; pen < 6; ++pen) state.inkBoxes[pen].filterColor = static_cast<Byte>(pen + 1);
    EXPECT_EQ(penOfColor(state, 2), 1);
    EXPECT_EQ(penOfColor(state, 5), 0);  // held by pen 4, outside mode 2's pens
    state.cpcMode = 0;
    EXPECT_EQ(penOfColor(state, 5), 4);
    state.colorSubstitution[4] = 2;  // pens 1 and 3 now show colour 2
    EXPECT_EQ(penOfColor(state, 2), 1);
    state.colorSubstitution[2] = 9;
    EXPECT_EQ(penOfColor(state, 2), 3);
}

TEST(PaletteEditing, ThresholdBarsPushEachOtherOneStep) {
    ProgramState state;
    CapturedLog captured;
    state.thresholdLow = 40;
    moveLowThreshold(state, 41, captured.log);
    EXPECT_EQ(state.thresholdHigh, 42);
    EXPECT_EQ(captured.lines, std::vector<std::string>{"- Building Palette ..."});

    state.thresholdHigh = 62;
    moveLowThreshold(state, 62, captured.log);
    EXPECT_EQ(state.thresholdLow, 62);
    EXPECT_EQ(state.thresholdHigh, 62);

    state.thresholdLow = 21;
    state.thresholdHigh = 22;
    moveHighThreshold(state, 21, captured.log);
    EXPECT_EQ(state.thresholdLow, 20);

    state.thresholdLow = 0;
    moveHighThreshold(state, 0, captured.log);
    EXPECT_EQ(state.thresholdLow, 0);
    EXPECT_EQ(state.thresholdHigh, 0);

    // A jump past the other bar leaves them crossed.
    moveLowThreshold(state, 50, captured.log);
    EXPECT_EQ(state.thresholdLow, 50);
    EXPECT_EQ(state.thresholdHigh, 0);
}

TEST(PaletteEditing, PickingAColourForTheSelectedPen) {
    ProgramState state;
    CapturedLog captured;
    std::vector<std::uint32_t> counts(27, 0);
    counts[0] = 30;
    counts[26] = 20;
    counts[13] = 10;
    setCountsPerFilterColor(state, counts);
    buildPalette(state, captured.log);
    ASSERT_EQ(state.inkBoxes[2].filterColor, 13);

    selectPen(state, 2);
    captured.lines.clear();
    EXPECT_TRUE(substituteColor(state, 20, captured.log));
    EXPECT_EQ(captured.lines, (std::vector<std::string>{"Color selected : 2", "filtre : 13", "hard : 20",
                                                        "- Building Palette ..."}));
    EXPECT_EQ(state.colorSubstitution[13], 20);
    EXPECT_EQ(state.inkBoxes[2].box.text, "20");
    EXPECT_EQ(state.inkBoxes[2].box.background, cpcDisplayColor(20));
    EXPECT_EQ(state.inkBoxes[2].filterColor, 13);  // the pen keeps its colour's rank

    // An empty pen has no colour to change.
    selectPen(state, 5);
    const auto substitutions = state.colorSubstitution;
    captured.lines.clear();
    EXPECT_FALSE(substituteColor(state, 3, captured.log));
    EXPECT_EQ(state.colorSubstitution, substitutions);
    ASSERT_EQ(captured.lines.size(), 1u);
    EXPECT_NE(captured.lines[0].find("Pen 5"), std::string::npos);
}

TEST(PaletteCheck, SurplusPensMustShowAColourOfTheModesPens) {
    ProgramState state;
    CapturedLog captured;
    state.cpcMode = 1;
    // Six colours; pen 4 will hold colour 13 (4 pixels), pen 5 colour 6 (3 pixels).
    std::vector<std::uint32_t> counts(27, 0);
    counts[0] = 90;
    counts[26] = 80;
    counts[9] = 70;
    counts[2] = 60;
    counts[13] = 4;
    counts[6] = 3;
    setCountsPerFilterColor(state, counts);
    buildPalette(state, captured.log);
    captured.lines.clear();
    EXPECT_FALSE(Palette_Ok(state, captured.log));
    EXPECT_EQ(captured.lines, std::vector<std::string>{"4 n'est pas dans la palette - index: 13"});

    state.colorSubstitution[13] = 26;  // shown as pen 1's colour
    buildPalette(state, captured.log);
    captured.lines.clear();
    EXPECT_FALSE(Palette_Ok(state, captured.log));
    EXPECT_EQ(captured.lines, std::vector<std::string>{"5 n'est pas dans la palette - index: 6"});

    state.colorSubstitution[6] = 2;
    buildPalette(state, captured.log);
    captured.lines.clear();
    EXPECT_TRUE(Palette_Ok(state, captured.log));
    EXPECT_TRUE(captured.lines.empty());

    // Mode 0 with no more than 16 colours always fits.
    state.cpcMode = 0;
    state.colorSubstitution = ProgramState().colorSubstitution;
    buildPalette(state, captured.log);
    EXPECT_TRUE(Palette_Ok(state, captured.log));
}

TEST(PaletteCheck, AllTwentySevenColoursInModeTwo) {
    ProgramState state;
    CapturedLog captured;
    state.cpcMode = 2;
    std::vector<std::uint32_t> counts(27);
    for (std::size_t f = 0; f < 27; ++f) counts[f] = static_cast<std::uint32_t>(1000 - f);  // pen f holds colour f
    setCountsPerFilterColor(state, counts);
    for (Byte f = 2; f < 27; ++f) state.colorSubstitution[f] = f % 2 == 0 ? Byte{0} : Byte{1};
    buildPalette(state, captured.log);
    EXPECT_TRUE(Palette_Ok(state, captured.log));
    state.colorSubstitution[26] = 7;  // the last pen alone shows another colour
    buildPalette(state, captured.log);
    captured.lines.clear();
    EXPECT_FALSE(Palette_Ok(state, captured.log));
    EXPECT_EQ(captured.lines, std::vector<std::string>{"26 n'est pas dans la palette - index: 26"});
}

}  // namespace
}  // namespace varnoke
