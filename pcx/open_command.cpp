#include "pcx/open_command.h"

#include "main/file_access.h"
#include "palette/palette_building.h"
#include "pcx/pcx_decoder.h"
#include "pcx/pcx_header.h"

namespace varnoke {
namespace {

constexpr const char* kUnknownFormat = "Format de fichier inconnu !!!";

// The user is told that a picture stays on screen only when there is one.
Failure reject(const ProgramState& state, const Log& log, Failure failure, bool unknownFormat) {
    log.DEBUG("File rejected: " + failure.reason +
              (state.pixelData.empty() ? "" : "; the picture already loaded is kept"));
    if (unknownFormat) log.DEBUG(kUnknownFormat);
    return failure;
}

Expected<void> checkAndDecode(ProgramState& state, std::span<const Byte> file, const Log& log) {
    if (file.size() < kPcxHeaderSize)
        return reject(
            state, log,
            Failure{"the file has " + std::to_string(file.size()) + " bytes, fewer than the 128 of a PCX header",
                    FailureKind::WrongFormat},
            true);

    const Expected<Byte> mode = Verif_Entete_PCX(readPcxHeader(file.first<kPcxHeaderSize>()), log);
    if (!mode) {
        log.DEBUG(kUnknownFormat);
        return mode.failure();
    }

    Expected<DecodedPicture> decoded = decodePCX(file, mode.value());
    if (!decoded) return reject(state, log, Failure{decoded.reason(), FailureKind::Malformed}, false);

    DecodedPicture& picture = decoded.value();
    state.cpcMode = mode.value();
    state.screen = ScreenFormat::Standard;
    state.pcxPalette = picture.pcxPalette;
    state.pixelData = std::move(picture.pixelData);
    state.colorUsage = picture.colorUsage;
    buildPalette(state, log);
    return {};
}

}  // namespace

Expected<void> openPicture(ProgramState& state, const std::string& fileName, std::span<const Byte> file,
                           const Log& log) {
    log.DEBUG(fileName);
    return checkAndDecode(state, file, log);
}

Expected<void> openPictureFile(ProgramState& state, const std::filesystem::path& path, const std::string& fileName,
                               const Log& log) {
    log.DEBUG(fileName);
    Expected<std::vector<Byte>> file = readWholeFile(path, kMaximumPictureFileSize);
    if (!file) return reject(state, log, Failure{file.reason(), FailureKind::CannotRead}, false);
    return checkAndDecode(state, file.value(), log);
}

bool isOpenablePcx(std::span<const Byte> file) {
    ProgramState scratch;
    return checkAndDecode(scratch, file, Log()).ok();
}

}  // namespace varnoke
