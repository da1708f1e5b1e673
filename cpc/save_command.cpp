#include "cpc/save_command.h"

#include "cpc/overscan_screen.h"
#include "cpc/viewer_routine.h"
#include "main/file_access.h"

#include <algorithm>
#include <vector>

namespace varnoke {

void buildPaletteBlock(const ProgramState& state, std::span<Byte, kPaletteBlockSize> block, PaletteModeByte modeByte) {
    std::fill(block.begin(), block.end(), Byte{0});
    if (modeByte == PaletteModeByte::PictureMode) block[0] = state.cpcMode;
    block[1] = 0xFF;
    const std::size_t pens = pensPerMode(state);
    for (std::size_t slot = 0; slot < 16; ++slot) {
        const Byte filter = state.inkBoxes[slot % pens].filterColor;
        const Byte code = state.hardwareCodes[filter == kEmptyPen ? 0 : filter];
        std::fill_n(block.begin() + static_cast<std::ptrdiff_t>(3 + 12 * slot), 12, code);
    }
    std::fill_n(block.begin() + 195, 12, state.hardwareCodes[0]);
}

OutputFiles buildOutputFiles(const ProgramState& state, ScreenLayout layout, const Log& log, PaletteModeByte modeByte) {
    OutputFiles files;
    if (state.screen == ScreenFormat::Overscan) {
        files.screenFile = buildOverscanFile(state, log);
        const std::span<Byte, kPaletteFileSize> palette(files.paletteFile);
        buildAmsdosHeader(palette.first<kAmsdosHeaderSize>(), true, layout, log);
        buildPaletteBlock(state, palette.last<kPaletteBlockSize>(), modeByte);
        return files;
    }
    log.DEBUG("Saving ... ");

    // The rows, the ink table and the mode byte; then the two offset lines of each row,
    // in row order.
    ScreenImage image = encodeScreenImage(state);
    for (int y = 0; y < kPictureHeight; ++y) {
        const std::size_t offset = rowOffset(y);
        log.DEBUG("offset debut: ", static_cast<long long>(offset));
        log.DEBUG("offset fin: ", static_cast<long long>(offset + kScreenBytesPerRow - 1));
    }
    placeViewerRoutine(image, layout);

    const std::span<Byte, kScreenFileSize> screen(files.screenFile.data(), kScreenFileSize);
    buildAmsdosHeader(screen.first<kAmsdosHeaderSize>(), false, layout, log);
    std::copy(image.begin(), image.end(), screen.begin() + kAmsdosHeaderSize);

    const std::span<Byte, kPaletteFileSize> palette(files.paletteFile);
    buildAmsdosHeader(palette.first<kAmsdosHeaderSize>(), true, layout, log);
    buildPaletteBlock(state, palette.last<kPaletteBlockSize>(), modeByte);
    return files;
}

std::string screenBaseName(const std::string& fileName) {
    constexpr std::string_view extension = ".scr";
    if (fileName.size() >= extension.size() && fileName.ends_with(extension))
        return fileName.substr(0, fileName.size() - extension.size());
    return fileName;
}

Expected<void> checkBeforeSaving(const ProgramState& state, const Log& log) {
    if (!hasPictureOfMode(state)) {
        Failure refused{"there is no picture to save: open a PCX picture first", FailureKind::NoPicture};
        log.DEBUG("Nothing saved: " + refused.reason);
        return refused;
    }
    if (!Palette_Ok(state, log)) {
        log.DEBUG("!!! Des couleurs restent à modifier !!!");
        return Failure{"the picture needs more colours than the mode has pens", FailureKind::PaletteRefused};
    }
    return {};
}

Expected<SavedFiles> writeOutputFiles(const OutputFiles& files, const std::string& fileName,
                                      std::span<const FileToWrite> alongside, const Log& log) {
    const std::string base = screenBaseName(fileName);
    SavedFiles saved{base + ".scr", base + ".pal"};
    std::vector<FileToWrite> writes{{saved.screenFile, files.screenFile}, {saved.paletteFile, files.paletteFile}};
    writes.insert(writes.end(), alongside.begin(), alongside.end());
    if (const Expected<void> written = writeFilesAtomically(writes); !written) {
        log.DEBUG("Nothing saved: " + written.reason());
        return written.failure();
    }
    log.DEBUG("Saving Ok ... ");
    return saved;
}

Expected<SavedFiles> saveFiles(const ProgramState& state, ScreenLayout layout, const std::string& fileName,
                               const Log& log, PaletteModeByte modeByte) {
    log.DEBUG(fileName);
    if (Expected<void> ready = checkBeforeSaving(state, log); !ready) return ready.failure();
    return writeOutputFiles(buildOutputFiles(state, layout, log, modeByte), fileName, {}, log);
}

}  // namespace varnoke
