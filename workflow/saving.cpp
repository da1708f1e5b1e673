#include "workflow/saving.h"

#include "cpc/amsdos_header.h"
#include "cpc/basic_loader.h"
#include "cpc/overscan_screen.h"
#include "cpc/screen_file_reader.h"
#include "extras/cpc_preview.h"
#include "extras/disc_image.h"
#include "extras/png_writer.h"
#include "palette/palette_check.h"
#include "pcx/pcx_writer.h"
#include "workflow/picture_road.h"

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace varnoke {
namespace {

struct ExtraOutputs {
    std::vector<Byte> preview;
    std::vector<Byte> pcx;
    std::optional<DiscImageUpdate> disc;
    PictureDiscFiles discFiles;
    // The disc's log lines, given after "Saving Ok ... " as when it is written last.
    std::vector<std::string> discLog;
};

Expected<ExtraOutputs> buildExtras(const ProgramState& state, const OutputFiles& files, const SaveRequest& request) {
    ExtraOutputs extras;
    if (!request.pcxFile.empty()) extras.pcx = encodePcx(state);
    if (!request.previewFile.empty()) {
        Expected<PictureArea> area = previewScreenFile(files.screenFile);
        if (!area) return area.failure();
        Expected<std::vector<Byte>> png = encodePng(area.value());
        if (!png) return png.failure();
        extras.preview = std::move(png.value());
    }
    if (!request.discImage.empty()) {
        Expected<PictureDiscFiles> discFiles = outputDiscFiles(files, request.output);
        if (!discFiles) return discFiles.failure();
        extras.discFiles = std::move(discFiles.value());
        const Log discLog([&extras](std::string_view line) { extras.discLog.emplace_back(line); });
        Expected<DiscImageUpdate> update = prepareDiscImage(request.discImage, extras.discFiles.files, discLog);
        if (!update) return update.failure();
        extras.disc = std::move(update.value());
    }
    return extras;
}

std::vector<FileToWrite> extraWrites(const ExtraOutputs& extras, const SaveRequest& request) {
    std::vector<FileToWrite> writes;
    if (!request.previewFile.empty()) writes.push_back({request.previewFile, extras.preview});
    if (!request.pcxFile.empty()) writes.push_back({request.pcxFile, extras.pcx});
    if (extras.disc) writes.push_back({request.discImage, extras.disc->image, Permissions::OfReplacedFile});
    return writes;
}

void logExtrasWritten(const ExtraOutputs& extras, const SaveRequest& request, const Log& log) {
    if (!request.previewFile.empty()) log.DEBUG("Preview written: " + request.previewFile);
    if (!request.pcxFile.empty()) log.DEBUG("PCX written: " + request.pcxFile);
    if (!extras.disc) return;
    for (const std::string& line : extras.discLog) log.DEBUG(line);
    logDiscImageWritten(*extras.disc, extras.discFiles.files, log);
}

}  // namespace

Expected<SavedFiles> saveWithExtras(const ProgramState& state, const SaveRequest& request, const Log& log) {
    log.DEBUG(request.output);
    if (Expected<void> ready = checkBeforeSaving(state, log); !ready) return ready.failure();
    const OutputFiles files = buildOutputFiles(state, request.layout, log, request.paletteModeByte);
    Expected<ExtraOutputs> extras = buildExtras(state, files, request);
    if (!extras) {
        log.DEBUG("Nothing saved: " + extras.reason());
        return extras.failure();
    }
    Expected<SavedFiles> saved = writeOutputFiles(files, request.output, extraWrites(extras.value(), request), log);
    if (saved) logExtrasWritten(extras.value(), request, log);
    return saved;
}

namespace {

// A line-pen picture's files on a disc, NAME.SCR, NAME.RAS and the loader NAME.BAS that
// shows it on RUN"NAME, with the disc as it becomes and its log lines (given once the
// disc is written). The files' bytes must outlive it.
struct LinePenDisc {
    std::vector<Byte> loader;
    std::array<DiscFile, 3> files;
    DiscImageUpdate update;
    std::vector<std::string> log;
};

Expected<std::unique_ptr<LinePenDisc>> prepareLinePenDisc(const LinePenFiles& files, Byte mode,
                                                          const std::string& outputName, const std::string& disc) {
    Expected<std::string> screenName = discNameOf(outputName, "SCR");
    Expected<std::string> rasterName = discNameOf(outputName, "RAS");
    Expected<std::string> loaderName = discNameOf(outputName, "BAS");
    if (!screenName || !rasterName || !loaderName)
        return (!screenName ? screenName : !rasterName ? rasterName : loaderName).failure();
    auto prepared = std::make_unique<LinePenDisc>();
    const LoaderTarget target{ScreenFormat::Standard, ScreenLayout::At4000, mode, {}, rasterName.value()};
    prepared->loader = basicLoaderFile(target, screenName.value(), loaderName.value());
    prepared->files = {{{screenName.value(), files.screenFile},
                        {rasterName.value(), files.rasterFile},
                        {loaderName.value(), prepared->loader}}};
    const Log discLog([lines = &prepared->log](std::string_view line) { lines->emplace_back(line); });
    Expected<DiscImageUpdate> update = prepareDiscImage(disc, prepared->files, discLog);
    if (!update) return update.failure();
    prepared->update = std::move(update.value());
    return prepared;
}

void logLinePenDiscWritten(const LinePenDisc& disc, const Log& log) {
    for (const std::string& line : disc.log) log.DEBUG(line);
    logDiscImageWritten(disc.update, disc.files, log);
}

}  // namespace

Expected<void> saveLinePenPicture(const ImportResult& result, const SaveRequest& request, const Log& log) {
    log.DEBUG(request.output);
    const std::string base = screenBaseName(request.output);
    const LinePenFiles files = buildLinePenFiles(linePenColoursOf(result), result.penOfPixel);
    std::vector<FileToWrite> writes{{base + ".scr", files.screenFile}, {base + ".ras", files.rasterFile}};
    std::vector<Byte> preview;
    if (!request.previewFile.empty()) {
        Expected<std::vector<Byte>> png = encodePng(cpcViewOf(result));
        if (!png) return png.failure();
        preview = std::move(png.value());
        writes.push_back({request.previewFile, preview});
    }
    std::unique_ptr<LinePenDisc> disc;
    if (!request.discImage.empty()) {
        Expected<std::unique_ptr<LinePenDisc>> prepared =
            prepareLinePenDisc(files, result.cpcMode, request.output, request.discImage);
        if (!prepared) return prepared.failure();
        disc = std::move(prepared.value());
        writes.push_back({request.discImage, disc->update.image, Permissions::OfReplacedFile});
    }
    if (const Expected<void> written = writeFilesAtomically(writes); !written) {
        log.DEBUG("Nothing saved: " + written.reason());
        return written.failure();
    }
    log.DEBUG("Saving Ok ... ");
    if (!request.previewFile.empty()) log.DEBUG("Preview written: " + request.previewFile);
    if (disc) logLinePenDiscWritten(*disc, log);
    return {};
}

Expected<void> saveLinePenPictureOnDisc(const ImportResult& result, const std::string& name, const std::string& disc,
                                        const Log& log) {
    log.DEBUG(disc);
    const LinePenFiles files = buildLinePenFiles(linePenColoursOf(result), result.penOfPixel);
    Expected<std::unique_ptr<LinePenDisc>> prepared = prepareLinePenDisc(files, result.cpcMode, name, disc);
    if (!prepared) {
        log.DEBUG("Nothing saved: " + prepared.reason());
        return prepared.failure();
    }
    const LinePenDisc& update = *prepared.value();
    const std::array<FileToWrite, 1> writes{{{disc, update.update.image, Permissions::OfReplacedFile}}};
    if (const Expected<void> written = writeFilesAtomically(writes); !written) {
        log.DEBUG("Nothing saved: " + written.reason());
        return written.failure();
    }
    log.DEBUG("Saving Ok ... ");
    logLinePenDiscWritten(update, log);
    return {};
}

Expected<SavedFiles> saveOnDisc(const ProgramState& state, ScreenLayout layout, const std::string& name,
                                const std::string& disc, const Log& log, PaletteModeByte modeByte) {
    return saveToDiscImage(state, layout, name, disc, log, modeByte);
}

namespace {

// A screen file to draw: its mode, its pens' colours and what the CPC shows.
struct ShownScreen {
    Byte mode = 0;
    std::array<Byte, 16> colors{};
    PictureArea area;
};

Expected<ShownScreen> readOverscanToShow(std::span<const Byte> bytes, const std::string& name, ScreenLayout layout) {
    Expected<OverscanFile> overscan = parseOverscanFile(bytes);
    if (!overscan)
        return Failure{name + " is not a screen file of this program: " + overscan.reason(), FailureKind::Malformed};
    if (layout == ScreenLayout::AtC000)
        return Failure{name + " is an overscan file, which has one form, loaded at &0170; drop --c000",
                       FailureKind::Usage};
    Expected<PictureArea> area = previewOverscanFile(bytes);
    if (!area) return Failure{area.reason(), FailureKind::CannotWrite};
    return ShownScreen{overscan.value().mode, overscan.value().colors, std::move(area.value())};
}

Expected<ShownScreen> readScreenToShow(std::span<const Byte> bytes, const std::string& name, ScreenLayout layout) {
    if (bytes.size() == kAmsdosHeaderSize + kOverscanImageSize) return readOverscanToShow(bytes, name, layout);
    Expected<ScreenFile> screen = parseScreenFile(bytes);
    if (!screen)
        return Failure{name + " is not a screen file of this program: " + screen.reason(), FailureKind::Malformed};
    const ScreenFile& file = screen.value();
    if (file.layout != layout) {
        const char* const at = file.layout == ScreenLayout::At4000 ? "&4000" : "&C000";
        const char* const wanted = layout == ScreenLayout::At4000 ? "&4000" : "&C000";
        return Failure{name + " loads at " + at + ", not at " + wanted + "; " +
                           (layout == ScreenLayout::AtC000 ? "drop --c000" : "add --c000"),
                       FailureKind::Usage};
    }
    // A raster file beside it gives the line pens their colours on each line.
    const std::string rasterFile = screenBaseName(name) + ".ras";
    Expected<PictureArea> area = Failure{""};
    if (std::error_code error; std::filesystem::exists(rasterFile, error)) {
        Expected<std::vector<Byte>> raster = readWholeFile(rasterFile, 1u << 20);
        if (!raster) return raster.failure();
        area = previewLinePenScreen(file.image, raster.value());
        if (!area) return Failure{rasterFile + ": " + area.reason(), FailureKind::Malformed};
    } else {
        area = previewScreenImage(file.image);
    }
    if (!area) return Failure{area.reason(), FailureKind::CannotWrite};
    return ShownScreen{file.inks.mode, file.inks.colors, std::move(area.value())};
}

}  // namespace

Expected<void> showScreenFile(const std::string& screenFile, ScreenLayout layout, const std::string& png,
                              const Log& log) {
    // Larger files are read only as far as needed to say they are too large.
    Expected<std::vector<Byte>> bytes = readWholeFile(screenFile, 1u << 20);
    if (!bytes) return bytes.failure();
    Expected<ShownScreen> shown = readScreenToShow(bytes.value(), screenFile, layout);
    if (!shown) return shown.failure();
    const ShownScreen& file = shown.value();
    log.DEBUG(screenFile);
    log.DEBUG("Mode = ", file.mode);
    for (int pen = 0; pen < pensOfMode(file.mode); ++pen)
        log.DEBUG("Pen " + std::to_string(pen) + " = ", file.colors[static_cast<std::size_t>(pen)]);
    Expected<std::vector<Byte>> encoded = encodePng(file.area);
    if (!encoded) return Failure{encoded.reason(), FailureKind::CannotWrite};
    if (const Expected<void> written = writeFilesAtomically(std::array<FileToWrite, 1>{{{png, encoded.value()}}});
        !written)
        return written.failure();
    log.DEBUG("Preview written: " + png);
    return {};
}

std::optional<PaletteProblem> paletteProblem(const ProgramState& state) {
    const std::optional<PenOutsideMode> outside = firstPenOutsideMode(state);
    if (!outside) return std::nullopt;
    PaletteProblem problem;
    problem.pen = outside->pen;
    problem.filterColor = outside->filterColor;
    problem.shownColor = state.colorSubstitution[outside->filterColor];
    problem.modePens = pensPerMode(state);
    std::vector<std::string> colours;
    for (int pen = 0; pen < problem.modePens; ++pen) {
        const Byte filter = state.inkBoxes[static_cast<std::size_t>(pen)].filterColor;
        if (filter != kEmptyPen) colours.push_back(std::to_string(state.colorSubstitution[filter]));
    }
    for (std::size_t i = 0; i < colours.size(); ++i)
        problem.modeColours += (i == 0 ? "" : i + 1 == colours.size() ? " and " : ", ") + colours[i];
    return problem;
}

}  // namespace varnoke
