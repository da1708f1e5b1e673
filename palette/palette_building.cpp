#include "palette/palette_building.h"

#include "main/cpc_colors.h"

#include <array>
#include <utility>

namespace varnoke {
namespace {

using Iterator = occ_color_cpc*;

bool operator<(const occ_color_cpc& a, const occ_color_cpc& b) { return a.count < b.count; }

constexpr std::ptrdiff_t kInsertionThreshold = 16;

// The pivot: the median of the records at first, mid and last - 1, chosen exactly so.
const occ_color_cpc& medianOfThree(const occ_color_cpc& a, const occ_color_cpc& m, const occ_color_cpc& z) {
    if (a < m) {
        if (m < z) return m;
        if (a < z) return z;
        return a;
    }
    if (a < z) return a;
    if (m < z) return z;
    return m;
}

// Moves records smaller than the pivot to the front and larger ones to the back;
// returns the cut. Neither scan needs a bound: the pivot is one of the records.
Iterator partition(Iterator first, Iterator last, occ_color_cpc pivot) {
    while (true) {
        while (*first < pivot) ++first;
        --last;
        while (pivot < *last) --last;
        if (!(first < last)) return first;
        std::swap(*first, *last);
        ++first;
    }
}

void partitionLoop(Iterator first, Iterator last) {
    while (last - first > kInsertionThreshold) {
        const Iterator mid = first + (last - first) / 2;
        const occ_color_cpc pivot = medianOfThree(*first, *mid, *(last - 1));
        const Iterator cut = partition(first, last, pivot);
        if (cut - first >= last - cut) {
            partitionLoop(cut, last);
            last = cut;
        } else {
            partitionLoop(first, cut);
            first = cut;
        }
    }
}

// Inserts the record at `position` into the sorted records before it. A record not
// greater than it always lies ahead, so the scan needs no bound.
void linearInsert(Iterator position) {
    const occ_color_cpc x = *position;
    Iterator previous = position - 1;
    while (x < *previous) {
        *position = *previous;
        position = previous;
        --previous;
    }
    *position = x;
}

void straightInsertion(Iterator first, Iterator last) {
    if (first == last) return;
    for (Iterator i = first + 1; i != last; ++i) {
        if (*i < *first) {
            const occ_color_cpc x = *i;
            for (Iterator j = i; j != first; --j) *j = *(j - 1);
            *first = x;
        } else {
            linearInsert(i);
        }
    }
}

}  // namespace

Byte filterColorOf(Byte red, Byte green, Byte blue, int low, int high) {
    return cpcColorNumber(componentLevel(green >> 2, low, high), componentLevel(red >> 2, low, high),
                          componentLevel(blue >> 2, low, high));
}

void sortTally(std::span<occ_color_cpc> tally) {
    const Iterator first = tally.data();
    const Iterator last = first + tally.size();
    partitionLoop(first, last);
    if (last - first > kInsertionThreshold) {
        straightInsertion(first, first + kInsertionThreshold);
        for (Iterator i = first + kInsertionThreshold; i != last; ++i) linearInsert(i);
    } else {
        straightInsertion(first, last);
    }
}

void buildPalette(ProgramState& state, const Log& log) {
    log.DEBUG("- Building Palette ...");

    std::array<occ_color_cpc, kCpcColorCount> tally;
    for (Byte k = 0; k < kCpcColorCount; ++k) tally[k] = {k, 0};

    for (std::size_t i = 0; i < 256; ++i) {
        const Byte f = filterColorOf(state.pcxPalette[3 * i], state.pcxPalette[3 * i + 1], state.pcxPalette[3 * i + 2],
                                     state.thresholdLow, state.thresholdHigh);
        state.cpcColorOfIndex[i] = f;
        tally[f].count += state.colorUsage[i];
    }

    sortTally(tally);

    for (std::size_t pen = 0; pen < kPenCount; ++pen) {
        const occ_color_cpc& record = tally[kPenCount - 1 - pen];
        couleur_palette& entry = state.inkBoxes[pen];
        if (record.count != 0) {
            const Byte shown = state.colorSubstitution[record.color];
            entry.filterColor = record.color;
            entry.box = {state.cpcColorBoxes[shown], std::to_string(shown)};
        } else {
            entry.filterColor = kEmptyPen;
            entry.box = {kEmptyPenGrey, ""};
        }
    }
}

}  // namespace varnoke
