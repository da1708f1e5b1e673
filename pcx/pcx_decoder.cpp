#include "pcx/pcx_decoder.h"

#include "pcx/pcx_header.h"

#include <algorithm>
#include <cstring>

namespace varnoke {

Expected<DecodedPicture> decodePCX(std::span<const Byte> file, Byte cpcMode) {
    if (file.size() < kPcxMinimumFileSize)
        return Failure{"the file has " + std::to_string(file.size()) +
                       " bytes, fewer than the 896 that a PCX header and its 256-colour palette need"};

    DecodedPicture picture;
    const std::span<const Byte> palette = file.last(kPcxPaletteSize);
    std::copy(palette.begin(), palette.end(), picture.pcxPalette.begin());

    const std::span<const Byte> body = file.subspan(kPcxHeaderSize, file.size() - kPcxMinimumFileSize);
    const std::size_t target = targetPixelCount(cpcMode);

    // The last run may pass the target by up to 62 pixels.
    std::vector<Byte>& pixels = picture.pixelData;
    pixels.resize(target + 62);
    Byte* out = pixels.data();
    std::size_t count = 0;
    std::size_t position = 0;
    const std::size_t bodySize = body.size();
    const Byte* in = body.data();
    while (count < target) {
        if (position >= bodySize) break;
        const Byte b = in[position++];
        if (b > 192) {
            if (position >= bodySize) break;  // a run whose value byte is missing
            const Byte value = in[position++];
            const std::size_t length = b - 192u;
            std::memset(out + count, value, length);
            count += length;
        } else {
            out[count++] = b;
        }
    }
    if (count < target)
        return Failure{"the picture data ends after " + std::to_string(count) + " of " + std::to_string(target) +
                       " pixels: the file is cut short"};
    pixels.resize(count);

    for (const Byte p : pixels) ++picture.colorUsage[p];
    return picture;
}

}  // namespace varnoke
