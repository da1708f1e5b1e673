// The colour mapping: quantising at the thresholds, ranking colours into pens (ties
// included, against a model of the documented sort), the user's edits, and the check
// before saving.
#include "main/cpc_colors.h"
#include "palette/palette_building.h"
#include "palette/palette_check.h"
#include "palette/palette_editing.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace varnoke {
namespace {

using test::CapturedLog;
using Strings = std::vector<std::string>;

// Gives filter colour f exactly counts[f] pixels through palette entry f.
void setCounts(ProgramState& state, const std::vector<std::uint32_t>& counts) {
    state.pcxPalette.fill(0);
    state.colorUsage.fill(0);
    for (std::size_t f = 0; f < counts.size(); ++f) {
        const test::Rgb3 entry = test::paletteEntryOf(static_cast<int>(f));
        std::copy(entry.begin(), entry.end(), state.pcxPalette.begin() + static_cast<std::ptrdiff_t>(3 * f));
        state.colorUsage[f] = counts[f];
    }
}

std::vector<int> penColors(const ProgramState& state) {
    std::vector<int> colors;
    for (const couleur_palette& pen : state.inkBoxes)
        colors.push_back(pen.filterColor == kEmptyPen ? -1 : pen.filterColor);
    return colors;
}

TEST(Quantising, EveryComponentValueAtEveryThresholdPair) {
    // A value above High is full whatever Low says; both tests are strict.
    for (int low = 0; low <= 62; ++low)
        for (int high = 0; high <= 62; ++high)
            for (int byte = 0; byte < 256; ++byte) {
                const int v = byte / 4, level = v > high ? 2 : (v > low ? 1 : 0);
                const Byte b = static_cast<Byte>(byte);
                ASSERT_EQ(filterColorOf(b, 0, 0, low, high), 3 * level) << byte << " " << low << " " << high;
                ASSERT_EQ(filterColorOf(0, b, 0, low, high), 9 * level);
                ASSERT_EQ(filterColorOf(0, 0, b, low, high), level);
            }
}

// The tally sort as its procedure is written down: a partitioning loop on ranges of more
// than 16 records (median-of-three pivot, unguarded scans, the smaller side first in
// recursion order as documented), then straight insertion of the first 16 records and
// linear insertion of the rest. Equal counts end where this procedure puts them.
struct SortModel {
    std::vector<occ_color_cpc> t;
    static bool less(const occ_color_cpc& a, const occ_color_cpc& b) { return a.count < b.count; }

    void partitionLoop(std::size_t first, std::size_t last) {
        while (last - first > 16) {
            // Only the pivot's count is compared: the median of the three counts.
            std::array three{t[first].count, t[first + (last - first) / 2].count, t[last - 1].count};
            std::sort(three.begin(), three.end());
            const occ_color_cpc pivot{0, three[1]};
            std::size_t i = first, j = last;
            for (;; ++i) {
                while (less(t[i], pivot)) ++i;
                for (--j; less(pivot, t[j]);) --j;
                if (i >= j) break;
                std::swap(t[i], t[j]);
            }
            if (i - first >= last - i)
                partitionLoop(i, last), last = i;
            else
                partitionLoop(first, i), first = i;
        }
    }
    void linearInsert(std::size_t p) {
        const occ_color_cpc x = t[p];
        for (; less(x, t[p - 1]); --p) t[p] = t[p - 1];
        t[p] = x;
    }
    std::vector<int> sortedColors() {
        partitionLoop(0, t.size());
        for (std::size_t p = 1; p < t.size(); ++p) {
            if (p < 16 && less(t[p], t[0]))
                std::rotate(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(p),
                            t.begin() + static_cast<std::ptrdiff_t>(p) + 1);
            else
                linearInsert(p);
        }
        std::vector<int> colors;
        for (const occ_color_cpc& r : t) colors.push_back(r.color);
        return colors;
    }
};

TEST(TallySort, PutsEqualCountsWhereTheDocumentedProcedureDoes) {
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::array<occ_color_cpc, 27> tally;
        std::uniform_int_distribution<std::uint32_t> count(
            0, round % 3 == 0 ? 1000000u : 1u + static_cast<unsigned>(round % 5));
        for (Byte k = 0; k < 27; ++k) tally[k] = {k, count(random)};
        SortModel model{{tally.begin(), tally.end()}};
        const std::vector<int> expected = model.sortedColors();
        sortTally(tally);
        std::vector<int> colors;
        for (const occ_color_cpc& r : tally) colors.push_back(r.color);
        ASSERT_EQ(colors, expected) << "round " << round;
    }
}

TEST(PaletteBuilding, PensTakeColoursByCountWithTiesAsDocumented) {
    struct Case {
        std::vector<std::uint32_t> counts;
        std::vector<int> pens;  // the first pens; all later pens empty
    };
    std::vector<std::uint32_t> threeUsed(27, 0), allButNone(27, 0);
    threeUsed[3] = threeUsed[20] = 7, threeUsed[26] = 9;
    const Case cases[] = {
        {threeUsed, {26, 3, 20}},
        {{1, 0, 1, 3, 1, 1, 0, 0, 1, 3, 1, 0, 1, 1, 3, 1, 0, 1, 3, 1, 3, 0, 0, 3, 1, 0, 3},
         {26, 23, 3, 20, 18, 9, 14, 0, 2, 4, 5, 8, 10, 12, 13, 15, 17, 19, 24}},
        {allButNone, {}},
    };
    for (const Case& c : cases) {
        ProgramState state;
        setCounts(state, c.counts);
        buildPalette(state, Log());
        std::vector<int> expected = c.pens;
        expected.resize(27, -1);
        EXPECT_EQ(penColors(state), expected);
    }
}

TEST(PaletteBuilding, BoxesShowSubstitutesEmptyPensGreyAndEntriesShareAPen) {
    ProgramState state;
    CapturedLog captured;
    state.pcxPalette.fill(0);
    state.colorUsage.fill(0);
    // Entries 1 and 2 are full red at the defaults; entry 3 too, but unused; entry 4 is
    // (255, 0, 128): red full, green off, blue half.
    for (std::size_t i : {3u, 6u, 9u, 12u}) state.pcxPalette[i] = 250;
    state.pcxPalette[14] = 128;
    state.colorUsage[0] = 20, state.colorUsage[1] = 10, state.colorUsage[2] = 15, state.colorUsage[4] = 5;
    state.colorSubstitution[0] = 20;
    buildPalette(state, captured.log);
    EXPECT_EQ((std::array{state.cpcColorOfIndex[3], state.cpcColorOfIndex[4], state.cpcColorOfIndex[5]}),
              (std::array<Byte, 3>{6, 7, 0}));
    // Colour 6 has 25 pixels, colour 0 (shown as 20) 20, colour 7 5; pen 3 is empty.
    const std::vector<int> pens = penColors(state);
    EXPECT_EQ(std::vector<int>(pens.begin(), pens.begin() + 4), (std::vector<int>{6, 0, 7, -1}));
    Strings texts;
    for (std::size_t pen = 0; pen < 4; ++pen) texts.push_back(state.inkBoxes[pen].box.text);
    EXPECT_EQ(texts, (Strings{"6", "20", "7", ""}));
    EXPECT_EQ(state.inkBoxes[1].box.background, cpcDisplayColor(20));
    EXPECT_EQ(state.inkBoxes[3].box.background, (Rgb{0x80, 0x80, 0x80}));  // none of the display colours
}

TEST(PaletteEditing, ThresholdBarsPushEachOtherOneStepAtMost) {
    struct Move {
        bool low;
        int to, low0, high0, lowAfter, highAfter;
    };
    const Move moves[] = {{true, 41, 40, 41, 41, 42}, {true, 62, 40, 62, 62, 62}, {false, 21, 21, 22, 20, 21},
                          {false, 0, 0, 22, 0, 0},    {true, 50, 0, 0, 50, 0},    {false, 30, 20, 40, 20, 30}};
    for (const Move& m : moves) {
        ProgramState state;
        CapturedLog captured;
        state.thresholdLow = m.low0, state.thresholdHigh = m.high0;
        if (m.low)
            moveLowThreshold(state, m.to, captured.log);
        else
            moveHighThreshold(state, m.to, captured.log);
        EXPECT_EQ(state.thresholdLow, m.lowAfter) << m.to;
        EXPECT_EQ(state.thresholdHigh, m.highAfter) << m.to;
        EXPECT_EQ(captured.lines, Strings{"- Building Palette ..."});
    }
}

// A picked colour's log lines, box and pixels: window_test clicks a pen and a colour.
// An empty pen has no colour to change.
TEST(PaletteEditing, AnEmptyPenTakesNoColour) {
    ProgramState state;
    CapturedLog captured;
    std::vector<std::uint32_t> counts(27, 0);
    counts[0] = 30, counts[26] = 20, counts[13] = 10;
    setCounts(state, counts);
    buildPalette(state, Log());
    selectPen(state, 5);
    const auto substitutions = state.colorSubstitution;
    EXPECT_FALSE(substituteColor(state, 3, captured.log));
    EXPECT_EQ(state.colorSubstitution, substitutions);
    ASSERT_EQ(captured.lines.size(), 1u);
    EXPECT_NE(captured.lines[0].find("Pen 5"), std::string::npos);
}

TEST(PaletteCheck, SurplusPensMustShowAColourOfTheModesPens) {
    ProgramState state;
    auto expectCheck = [&state](const Strings& refusal) {  // after building the palette again
        buildPalette(state, Log());
        CapturedLog captured;
        EXPECT_EQ(Palette_Ok(state, captured.log), refusal.empty());
        EXPECT_EQ(captured.lines, refusal);
    };
    // Mode 1, six colours; pen 4 holds colour 13, pen 5 colour 6.
    state.cpcMode = 1;
    std::vector<std::uint32_t> counts(27, 0);
    counts[0] = 90, counts[26] = 80, counts[9] = 70, counts[2] = 60, counts[13] = 4, counts[6] = 3;
    setCounts(state, counts);
    expectCheck({"4 n'est pas dans la palette - index: 13"});
    state.colorSubstitution[13] = 26;
    expectCheck({"5 n'est pas dans la palette - index: 6"});
    state.colorSubstitution[6] = 2;
    expectCheck({});

    // Mode 2 with all 27 colours, every surplus pen showing black or white, then not the last.
    state.cpcMode = 2;
    for (std::size_t f = 0; f < 27; ++f) counts[f] = static_cast<std::uint32_t>(1000 - f);  // pen f holds colour f
    setCounts(state, counts);
    for (Byte f = 2; f < 27; ++f) state.colorSubstitution[f] = f % 2 == 0 ? Byte{0} : Byte{1};
    expectCheck({});
    state.colorSubstitution[26] = 7;
    expectCheck({"26 n'est pas dans la palette - index: 26"});
}

}  // namespace
}  // namespace varnoke
