#include "pcx/pcx_decoder.h"

#include "pcx/pcx_header.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace varnoke {
namespace {

// A run is written as one fixed 64-byte store (its length is at most 63); the bytes past
// the run are overwritten by the pixels that follow or cut off at the end. The pixel
// buffer therefore holds the target, the up to 62 pixels a last run may add, and room
// for that store.
constexpr std::size_t kRunStore = 64;

constexpr std::uint64_t kLow7Bits = 0x7F7F7F7F7F7F7F7Full;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kPlus63 = 0x3F3F3F3F3F3F3F3Full;

// True when none of the eight bytes in `word` is above 192, so that they are eight
// single pixels. A byte is above 192 when its high bit is set and its low seven bits
// exceed 64, that is when adding 63 to them carries into bit 7 (never into the next byte).
bool eightSinglePixels(std::uint64_t word) { return (((word & kLow7Bits) + kPlus63) & word & kHighBits) == 0; }

// Pixel counts kept in four tables, so that neighbouring pixels of the same index do not
// wait on each other's increment; added up at the end.
struct UsageTally {
    std::uint32_t counts[4][256] = {};

    void addEight(std::uint64_t word) {
        for (int k = 0; k < 8; ++k) ++counts[k & 3][(word >> (8 * k)) & 0xFF];
    }
    void add(Byte value, std::uint32_t n) { counts[0][value] += n; }
    void sumInto(std::array<std::uint32_t, 256>& usage) const {
        for (std::size_t i = 0; i < 256; ++i) usage[i] = counts[0][i] + counts[1][i] + counts[2][i] + counts[3][i];
    }
};

}  // namespace

Expected<DecodedPicture> decodePCX(std::span<const Byte> file, Byte cpcMode) {
    if (file.size() < kPcxMinimumFileSize)
        return Failure{"the file has " + std::to_string(file.size()) +
                       " bytes, fewer than the 896 that a PCX header and its 256-colour palette need"};

    DecodedPicture picture;
    const std::span<const Byte> palette = file.last(kPcxPaletteSize);
    std::copy(palette.begin(), palette.end(), picture.pcxPalette.begin());

    const std::span<const Byte> body = file.subspan(kPcxHeaderSize, file.size() - kPcxMinimumFileSize);
    const std::size_t target = targetPixelCount(cpcMode);

    std::vector<Byte>& pixels = picture.pixelData;
    pixels.resize(target + 62 + kRunStore);
    Byte* const out = pixels.data();
    UsageTally tally;

    std::size_t count = 0;
    std::size_t position = 0;
    const std::size_t bodySize = body.size();
    const Byte* const in = body.data();
    while (count < target) {
        // Eight single pixels at once, while they all fit before the target.
        if (position + 8 <= bodySize && count + 8 <= target) {
            std::uint64_t word;
            std::memcpy(&word, in + position, 8);
            if (eightSinglePixels(word)) {
                std::memcpy(out + count, &word, 8);
                tally.addEight(word);
                position += 8;
                count += 8;
                continue;
            }
        }
        if (position >= bodySize) break;
        const Byte b = in[position++];
        if (b > 192) {
            if (position >= bodySize) break;  // a run whose value byte is missing
            const Byte value = in[position++];
            const std::uint32_t length = b - 192u;
            std::memset(out + count, value, kRunStore);
            tally.add(value, length);
            count += length;
        } else {
            out[count++] = b;
            tally.add(b, 1);
        }
    }
    if (count < target)
        return Failure{"the picture data ends after " + std::to_string(count) + " of " + std::to_string(target) +
                       " pixels: the file is cut short"};
    pixels.resize(count);
    tally.sumInto(picture.colorUsage);
    return picture;
}

}  // namespace varnoke
