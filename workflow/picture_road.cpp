#include "workflow/picture_road.h"

#include "extras/cpc_preview.h"
#include "main/file_access.h"
#include "pcx/open_command.h"
#include "pcx/pcx_decoder.h"

#include <array>

namespace varnoke {

PictureRoad roadOf(std::span<const Byte> file) {
    return file.size() <= kMaximumPictureFileSize && isOpenablePcx(file) ? PictureRoad::Open : PictureRoad::Import;
}

Expected<std::vector<Byte>> readPictureFile(const std::filesystem::path& path) {
    return readWholeFile(path, kMaximumPictureFileBytes);
}

void logImportRefused(const std::string& fileName, const std::string& reason, const ProgramState& state,
                      const Log& log) {
    log.DEBUG(fileName);
    log.DEBUG("Picture not imported: " + reason +
              (state.pixelData.empty() ? "" : "; the picture already loaded is kept"));
}

Expected<ImportSession> startImport(std::span<const Byte> file, const std::string& fileName, Rgb background,
                                    const ProgramState& state, const Log& log) {
    DecodeOptions decode;
    decode.background = background;
    decode.minimumSide = kImportMinimumSide;
    Expected<ImportSession> session = ImportSession::open(file, decode);
    if (!session) logImportRefused(fileName, session.reason(), state, log);
    return session;
}

void applyPaletteEdits(ProgramState& state, const PaletteEdits& edits) {
    state.thresholdLow = edits.low;
    state.thresholdHigh = edits.high;
    for (const auto& [filter, cpcColor] : edits.substitutions) state.colorSubstitution[filter] = cpcColor;
}

void installImportedPicture(ProgramState& state, const ImportResult& result, const std::string& fileName,
                            const Log& log, const PaletteEdits& edits) {
    log.DEBUG(fileName);
    state.thresholdLow = kDefaultThresholdLow;
    state.thresholdHigh = kDefaultThresholdHigh;
    for (std::size_t n = 0; n < state.colorSubstitution.size(); ++n) state.colorSubstitution[n] = static_cast<Byte>(n);
    log.DEBUG("Thresholds back to " + std::to_string(kDefaultThresholdLow) + " and " +
              std::to_string(kDefaultThresholdHigh) + ", every colour shown as itself: the picture shows as imported");
    applyPaletteEdits(state, edits);
    installImport(state, result, log);
    for (const Byte pen : result.linePens) log.DEBUG("Line pen ", pen);
}

PictureArea cpcViewOf(const ImportResult& result) {
    if (result.linePens.empty())
        return renderScreenPens(result.cpcMode, result.screen, result.penOfPixel, result.penColours);
    return renderPensOfLines(result.cpcMode, result.penOfPixel, penColoursOfLines(result), result.penColours.size());
}

double scoreOfState(const ImportSession& session, const ImportSettings& settings, const ProgramState& state) {
    // Each palette index shows the CPC colour of its filter colour's substitution.
    std::array<Byte, 256> shown{};
    for (std::size_t i = 0; i < shown.size(); ++i) shown[i] = state.colorSubstitution[state.cpcColorOfIndex[i]];
    const std::span<const Byte> pixels(state.pixelData.data(), targetPixelCount(state.cpcMode, state.screen));
    return session.measure(settings, pixels, shown);
}

}  // namespace varnoke
