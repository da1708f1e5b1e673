#include "extras/disc_image.h"

#include <libdsk.h>
#include <cstddef>  // libdsk.h uses size_t without including it

#include "cpc/basic_loader.h"
#include "main/file_access.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <limits>

namespace varnoke {
namespace {

constexpr std::size_t kNameSize = 8;
constexpr std::size_t kExtensionSize = 3;
constexpr int kBlocksPerEntry = 16;  // 8-bit block numbers: 16 blocks of 1 KB, 128 records
constexpr int kRecordsPerEntry = kBlocksPerEntry * kDiscBlockSize / kRecordSize;
constexpr int kSectorsPerBlock = kDiscBlockSize / kDiscSectorSize;
// CP/M's end-of-file mark, which fills the unused end of a file's last record.
constexpr Byte kRecordFiller = 0x1A;

bool allowedInName(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'()-@^_`{}~").find(c) != std::string_view::npos;
}

std::string hexByte(Byte value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

// The printable 8.3 name of a directory entry, attribute bits removed.
std::string entryName(std::span<const Byte> entry) {
    std::string name;
    for (std::size_t i = 1; i <= kNameSize; ++i)
        if ((entry[i] & 0x7F) != ' ') name += static_cast<char>(entry[i] & 0x7F);
    name += '.';
    for (std::size_t i = 9; i < 12; ++i)
        if ((entry[i] & 0x7F) != ' ') name += static_cast<char>(entry[i] & 0x7F);
    return name;
}

int ceilDiv(std::size_t value, int unit) {
    return static_cast<int>((value + static_cast<std::size_t>(unit) - 1) / static_cast<std::size_t>(unit));
}

}  // namespace

Expected<std::array<Byte, 11>> directoryName(std::string_view name) {
    const std::size_t dot = name.find('.');
    const std::string_view base = name.substr(0, dot);
    const std::string_view extension = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    std::string quoted(1, '\'');
    quoted.append(name).push_back('\'');
    if (base.empty() || base.size() > kNameSize)
        return Failure{"the disc file name " + quoted + " needs 1 to 8 characters before its dot",
                       FailureKind::BadName};
    if (extension.size() > kExtensionSize)
        return Failure{"the disc file name " + quoted + " has more than 3 characters after its dot",
                       FailureKind::BadName};
    std::array<Byte, 11> bytes;
    bytes.fill(' ');
    for (std::size_t i = 0; i < base.size(); ++i) {
        if (!allowedInName(base[i]))
            return Failure{"the disc file name " + quoted + " holds '" + std::string(1, base[i]) +
                               "', which a CPC file name cannot hold (upper-case letters, digits and !#$%&'()-@^_`{}~)",
                           FailureKind::BadName};
        bytes[i] = static_cast<Byte>(base[i]);
    }
    for (std::size_t i = 0; i < extension.size(); ++i) {
        if (!allowedInName(extension[i]))
            return Failure{"the disc file name " + quoted + " holds '" + std::string(1, extension[i]) +
                               "', which a CPC file name cannot hold (upper-case letters, digits and !#$%&'()-@^_`{}~)",
                           FailureKind::BadName};
        bytes[kNameSize + i] = static_cast<Byte>(extension[i]);
    }
    return bytes;
}

Expected<std::string> discNameOf(const std::string& outputName, std::string_view extension) {
    const std::string fileName = std::filesystem::path(screenBaseName(outputName)).filename().string();
    std::string name;
    for (const char c : fileName.substr(0, fileName.find('.'))) {
        if (name.size() == kNameSize) break;
        if (c >= 'a' && c <= 'z')
            name += static_cast<char>(c - 'a' + 'A');
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
            name += c;
        else
            name += '_';
    }
    if (name.empty())
        return Failure{"cannot make a CPC file name from '" + outputName +
                           "': its file name has no characters before its first dot",
                       FailureKind::BadName};
    return name + "." + std::string(extension);
}

namespace {

using DirectoryName = std::array<Byte, 11>;

// The directory names of the files, each valid and none twice.
Expected<std::vector<DirectoryName>> directoryNamesOf(std::span<const DiscFile> files) {
    std::vector<DirectoryName> names;
    for (const DiscFile& file : files) {
        Expected<DirectoryName> name = directoryName(file.name);
        if (!name) return name.failure();
        if (std::find(names.begin(), names.end(), name.value()) != names.end())
            return Failure{"two files to put on the disc are both named " + file.name, FailureKind::BadName};
        names.push_back(name.value());
    }
    return names;
}

// What the directory leaves for the new files: the blocks still in use and the free
// entries (lowest first), once the files of the same name in user 0 are removed.
struct DiscRoom {
    std::bitset<kDiscBlocks> used;
    std::vector<int> freeEntries;
};

std::span<Byte> directoryEntry(DiscDirectory& directory, int entry) {
    return std::span<Byte>(directory).subspan(static_cast<std::size_t>(entry) * kDirectoryEntrySize,
                                              kDirectoryEntrySize);
}

bool isReplaced(std::span<const Byte> entry, const std::vector<DirectoryName>& names) {
    if (entry[0] != 0) return false;
    DirectoryName name;
    for (std::size_t i = 0; i < name.size(); ++i) name[i] = entry[1 + i] & 0x7F;
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Marks the blocks of one file's entry as used, unless the entry is replaced; refuses a
// block outside the data blocks.
Expected<void> takeEntryBlocks(std::span<const Byte> entry, int e, bool replaced, DiscRoom& room) {
    for (std::size_t i = 16; i < 32; ++i) {
        const Byte block = entry[i];
        if (block == 0) continue;
        if (block < kDirectoryBlocks || block >= kDiscBlocks)
            return Failure{"directory entry " + std::to_string(e) + " (" + entryName(entry) + ") names block " +
                               std::to_string(block) + ", outside the data blocks 2 to 179 of a CPC data disc",
                           FailureKind::Malformed};
        if (!replaced) room.used.set(block);
    }
    return {};
}

// Reads the directory: free entries, and the blocks that the remaining files hold. The
// entries of replaced files are freed in the plan's directory and their names noted.
Expected<DiscRoom> readRoom(DiscPlan& plan, const std::vector<DirectoryName>& names) {
    DiscRoom room;
    for (int b = 0; b < kDirectoryBlocks; ++b) room.used.set(static_cast<std::size_t>(b));
    for (int e = 0; e < kDirectoryEntries; ++e) {
        const std::span<Byte> entry = directoryEntry(plan.directory, e);
        const Byte user = entry[0];
        if (user == kFreeEntry) {
            room.freeEntries.push_back(e);
            continue;
        }
        // 0x20 is a disc label and 0x21 a block of time stamps: entries that hold no blocks.
        if (user == 0x20 || user == 0x21) continue;
        if (user > 0x0F)
            return Failure{"directory entry " + std::to_string(e) + " starts with 0x" + hexByte(user) +
                               ", which is neither a user number (0 to 15) nor a free entry (0xE5): the disc is "
                               "not in CPC data format or its directory is damaged",
                           FailureKind::Malformed};
        const bool replaced = isReplaced(entry, names);
        if (Expected<void> taken = takeEntryBlocks(entry, e, replaced, room); !taken) return taken.failure();
        if (!replaced) continue;
        const std::string name = entryName(entry);
        if (std::find(plan.replaced.begin(), plan.replaced.end(), name) == plan.replaced.end())
            plan.replaced.push_back(name);
        entry[0] = kFreeEntry;
        room.freeEntries.push_back(e);
    }
    std::sort(room.freeEntries.begin(), room.freeEntries.end());
    return room;
}

int extentsOf(std::size_t bytes) { return std::max(1, ceilDiv(bytes, kRecordsPerEntry * kRecordSize)); }

// Room: every file needs one entry per 16 KB extent and one block per KB. Sets the room
// left in the plan.
Expected<void> checkRoom(std::span<const DiscFile> files, const DiscRoom& room, DiscPlan& plan) {
    int entriesNeeded = 0;
    int blocksNeeded = 0;
    for (const DiscFile& file : files) {
        entriesNeeded += extentsOf(file.bytes.size());
        blocksNeeded += ceilDiv(file.bytes.size(), kDiscBlockSize);
    }
    const int freeBlocks = kDiscBlocks - static_cast<int>(room.used.count());
    const int freeEntries = static_cast<int>(room.freeEntries.size());
    if (entriesNeeded > freeEntries)
        return Failure{"the disc's directory is full: the files need " + std::to_string(entriesNeeded) +
                           " directory entries and only " + std::to_string(freeEntries) + " of 64 are free",
                       FailureKind::NoRoom};
    if (blocksNeeded > freeBlocks)
        return Failure{"the disc is full: the files need " + std::to_string(blocksNeeded) + " KB and only " +
                           std::to_string(freeBlocks) + " KB are free",
                       FailureKind::NoRoom};
    plan.freeBlocks = freeBlocks - blocksNeeded;
    plan.freeEntries = freeEntries - entriesNeeded;
    return {};
}

// Fills one directory entry for extent `extent` of a file and returns how many records
// it holds.
int fillEntry(std::span<Byte> entry, const DirectoryName& name, std::size_t size, int extent, int extents) {
    std::fill(entry.begin(), entry.end(), Byte{0});
    std::copy(name.begin(), name.end(), entry.begin() + 1);
    entry[12] = static_cast<Byte>(extent & 0x1F);
    entry[14] = static_cast<Byte>(extent >> 5);
    const int records = std::min(kRecordsPerEntry, ceilDiv(size, kRecordSize) - extent * kRecordsPerEntry);
    entry[15] = static_cast<Byte>(records);
    if (extent == extents - 1) entry[13] = static_cast<Byte>(size % kRecordSize);
    return records;
}

// Lays the files out, lowest free entry and block first.
void layOutFiles(std::span<const DiscFile> files, const std::vector<DirectoryName>& names, DiscRoom& room,
                 DiscPlan& plan) {
    std::size_t nextEntry = 0;
    std::size_t nextBlock = 0;
    for (std::size_t f = 0; f < files.size(); ++f) {
        const std::span<const Byte> bytes = files[f].bytes;
        const int extents = extentsOf(bytes.size());
        for (int extent = 0; extent < extents; ++extent) {
            const std::span<Byte> entry = directoryEntry(plan.directory, room.freeEntries[nextEntry++]);
            const int records = fillEntry(entry, names[f], bytes.size(), extent, extents);
            const std::size_t extentStart = static_cast<std::size_t>(extent) * kRecordsPerEntry * kRecordSize;
            const int blocks = ceilDiv(static_cast<std::size_t>(records) * kRecordSize, kDiscBlockSize);
            for (int i = 0; i < blocks; ++i) {
                while (room.used.test(nextBlock)) ++nextBlock;
                room.used.set(nextBlock);
                entry[16 + static_cast<std::size_t>(i)] = static_cast<Byte>(nextBlock);
                DiscBlock data;
                data.fill(kRecordFiller);
                const std::size_t start = extentStart + static_cast<std::size_t>(i) * kDiscBlockSize;
                const std::size_t length = std::min<std::size_t>(kDiscBlockSize, bytes.size() - start);
                std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(start), length, data.begin());
                plan.blocks.emplace_back(static_cast<int>(nextBlock), data);
            }
        }
    }
}

}  // namespace

namespace {

bool onDisc(const DiscDirectory& directory, const DirectoryName& name) {
    for (int e = 0; e < kDirectoryEntries; ++e) {
        const std::span<const Byte> entry(directory.data() + e * kDirectoryEntrySize, kDirectoryEntrySize);
        if (entry[0] != 0) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i) same = (entry[1 + i] & 0x7F) == name[i];
        if (same) return true;
    }
    return false;
}

// Refuses to replace a file whose companion (DiscFile::onlyBeside) is not on the disc.
Expected<void> checkCompanions(const DiscDirectory& directory, std::span<const DiscFile> files,
                               const std::vector<DirectoryName>& names) {
    for (std::size_t f = 0; f < files.size(); ++f) {
        if (files[f].onlyBeside.empty() || !onDisc(directory, names[f])) continue;
        Expected<DirectoryName> companion = directoryName(files[f].onlyBeside);
        if (companion && onDisc(directory, companion.value())) continue;
        return Failure{files[f].name + " is already on the disc, without " + files[f].onlyBeside +
                           " beside it, so it is not that picture's loader and is kept: give the picture another "
                           "name",
                       FailureKind::BadName};
    }
    return {};
}

}  // namespace

Expected<DiscPlan> planDiscFiles(const DiscDirectory& directory, std::span<const DiscFile> files) {
    Expected<std::vector<DirectoryName>> names = directoryNamesOf(files);
    if (!names) return names.failure();
    if (Expected<void> kept = checkCompanions(directory, files, names.value()); !kept) return kept.failure();
    DiscPlan plan;
    plan.directory = directory;
    Expected<DiscRoom> room = readRoom(plan, names.value());
    if (!room) return room.failure();
    if (Expected<void> enough = checkRoom(files, room.value(), plan); !enough) return enough.failure();
    layOutFiles(files, names.value(), room.value(), plan);
    return plan;
}

namespace {

// An open libdsk image that is closed on every path. close() reports the error of the
// final write, which is where libdsk writes a .dsk file out.
class DiscDriver {
public:
    DiscDriver() = default;
    DiscDriver(const DiscDriver&) = delete;
    DiscDriver& operator=(const DiscDriver&) = delete;
    ~DiscDriver() {
        if (driver_) dsk_close(&driver_);
    }
    DSK_PDRIVER* slot() { return &driver_; }
    DSK_PDRIVER get() const { return driver_; }
    dsk_err_t close() { return dsk_close(&driver_); }

private:
    DSK_PDRIVER driver_ = nullptr;
};

std::string libdskReason(dsk_err_t error) { return dsk_strerror(error); }

// Checks that an opened image is a CPC data disc this program can write to.
Expected<void> checkDataFormat(DSK_PDRIVER driver, const std::string& name) {
    const std::string type = dsk_drvname(driver);
    if (type != "dsk" && type != "edsk")
        return Failure{name + " is not a CPC disc image (.dsk or extended .dsk)", FailureKind::WrongFormat};
    DSK_GEOMETRY geometry;
    const dsk_err_t error = dsk_getgeom(driver, &geometry);
    if (error != DSK_ERR_OK)
        return Failure{"cannot read the layout of " + name + ": " + libdskReason(error), FailureKind::WrongFormat};
    if (geometry.dg_secbase != kDiscFirstSector || geometry.dg_sectors != kDiscSectorsPerTrack ||
        geometry.dg_secsize != kDiscSectorSize || geometry.dg_heads != 1)
        return Failure{name + " is not in CPC data format: its tracks hold " + std::to_string(geometry.dg_sectors) +
                           " sectors of " + std::to_string(geometry.dg_secsize) + " bytes numbered from &" +
                           hexByte(static_cast<Byte>(geometry.dg_secbase)) + " on " +
                           std::to_string(geometry.dg_heads) +
                           " side(s), where a data disc has 9 sectors of 512 bytes numbered &C1 to &C9 on one side",
                       FailureKind::WrongFormat};
    if (geometry.dg_cylinders < static_cast<dsk_pcyl_t>(kDiscTracks))
        return Failure{name + " has " + std::to_string(geometry.dg_cylinders) + " tracks; a CPC data disc has 40",
                       FailureKind::WrongFormat};
    return {};
}

std::string byteCount(std::size_t bytes) { return std::to_string(bytes) + " bytes"; }

}  // namespace

namespace {

// Whether the disc image exists; refuses a name that is there but not a plain file.
Expected<bool> discImageExists(const std::filesystem::path& disc) {
    std::error_code statusError;
    const std::filesystem::file_status status = std::filesystem::status(disc, statusError);
    const bool exists = std::filesystem::exists(status);
    if (statusError && exists)
        return Failure{"cannot read " + disc.string() + ": " + statusError.message(), FailureKind::CannotRead};
    if (exists && !std::filesystem::is_regular_file(status))
        return Failure{disc.string() + " is not a regular file", FailureKind::CannotWrite};
    return exists;
}

// Opens the scratch copy of an existing image and checks that it is a CPC data disc.
Expected<void> openExistingImage(DiscDriver& driver, const std::filesystem::path& disc,
                                 const std::filesystem::path& scratch) {
    const std::string name = disc.string();
    std::error_code copyError;
    std::filesystem::copy_file(disc, scratch, std::filesystem::copy_options::overwrite_existing, copyError);
    if (copyError) return Failure{"cannot copy " + name + ": " + copyError.message(), FailureKind::CannotRead};
    const dsk_err_t error = dsk_open(driver.slot(), scratch.c_str(), nullptr, nullptr);
    if (error != DSK_ERR_OK)
        return Failure{name + " is not a disc image that libdsk can read: " + libdskReason(error),
                       FailureKind::WrongFormat};
    return checkDataFormat(driver.get(), name);
}

// Makes a formatted, empty CPC data disc in the scratch file.
Expected<void> createEmptyImage(DiscDriver& driver, const std::filesystem::path& disc,
                                const std::filesystem::path& scratch, DSK_GEOMETRY& geometry, const Log& log) {
    log.DEBUG("Creating a CPC data disc: 40 tracks of 9 sectors &C1-&C9");
    dsk_err_t error = dsk_creat(driver.slot(), scratch.c_str(), "dsk", nullptr);
    if (error != DSK_ERR_OK)
        return Failure{"cannot create " + disc.string() + ": " + libdskReason(error), FailureKind::CannotWrite};
    for (dsk_pcyl_t track = 0; track < static_cast<dsk_pcyl_t>(kDiscTracks) && error == DSK_ERR_OK; ++track)
        error = dsk_apform(driver.get(), &geometry, track, 0, kFreeEntry);
    if (error != DSK_ERR_OK)
        return Failure{"cannot format " + disc.string() + ": " + libdskReason(error), FailureKind::CannotWrite};
    return {};
}

Expected<DiscDirectory> readDirectory(const DiscDriver& driver, DSK_GEOMETRY& geometry, const std::string& name) {
    DiscDirectory directory{};
    for (int sector = 0; sector < kDirectoryBlocks * kSectorsPerBlock; ++sector) {
        const dsk_err_t error = dsk_lread(driver.get(), &geometry, directory.data() + sector * kDiscSectorSize,
                                          static_cast<dsk_lsect_t>(sector));
        if (error != DSK_ERR_OK)
            return Failure{"cannot read the directory of " + name + " (logical sector " + std::to_string(sector) +
                               "): " + libdskReason(error),
                           FailureKind::CannotRead};
    }
    return directory;
}

dsk_err_t writeSectors(const DiscDriver& driver, DSK_GEOMETRY& geometry, const Byte* data, int firstSector, int count) {
    for (int i = 0; i < count; ++i) {
        const dsk_err_t error = dsk_lwrite(driver.get(), &geometry, data + i * kDiscSectorSize,
                                           static_cast<dsk_lsect_t>(firstSector) + static_cast<dsk_lsect_t>(i));
        if (error != DSK_ERR_OK) return error;
    }
    return DSK_ERR_OK;
}

// Writes the plan's blocks, then its directory: until the directory is written, the new
// blocks belong to no file. Closing the image is libdsk's final write.
Expected<void> writePlan(DiscDriver& driver, DSK_GEOMETRY& geometry, const DiscPlan& plan, const std::string& name) {
    for (const auto& [block, data] : plan.blocks) {
        const dsk_err_t error = writeSectors(driver, geometry, data.data(), block * kSectorsPerBlock, kSectorsPerBlock);
        if (error != DSK_ERR_OK)
            return Failure{"cannot write block " + std::to_string(block) + " of " + name + ": " + libdskReason(error),
                           FailureKind::CannotWrite};
    }
    if (const dsk_err_t error =
            writeSectors(driver, geometry, plan.directory.data(), 0, kDirectoryBlocks * kSectorsPerBlock);
        error != DSK_ERR_OK)
        return Failure{"cannot write the directory of " + name + ": " + libdskReason(error), FailureKind::CannotWrite};
    if (const dsk_err_t error = driver.close(); error != DSK_ERR_OK)
        return Failure{"cannot write " + name + ": " + libdskReason(error), FailureKind::CannotWrite};
    return {};
}

// Puts the files on the image in the scratch file; returns the plan that was written.
Expected<DiscPlan> updateScratchImage(const std::filesystem::path& disc, bool exists,
                                      const std::filesystem::path& scratch, std::span<const DiscFile> files,
                                      const Log& log) {
    const std::string name = disc.string();
    DSK_GEOMETRY geometry;
    dg_stdformat(&geometry, FMT_CPCDATA, nullptr, nullptr);
    DiscDriver driver;
    const Expected<void> opened =
        exists ? openExistingImage(driver, disc, scratch) : createEmptyImage(driver, disc, scratch, geometry, log);
    if (!opened) return opened.failure();
    Expected<DiscDirectory> directory = readDirectory(driver, geometry, name);
    if (!directory) return directory.failure();
    Expected<DiscPlan> planned = planDiscFiles(directory.value(), files);
    if (!planned) return Failure{planned.reason() + "; " + name + " was left as it was", planned.kind()};
    if (Expected<void> written = writePlan(driver, geometry, planned.value(), name); !written) return written.failure();
    return planned;
}

}  // namespace

Expected<DiscImageUpdate> prepareDiscImage(const std::filesystem::path& disc, std::span<const DiscFile> files,
                                           const Log& log) {
    log.DEBUG("Disc image " + disc.string() + " ...");
    Expected<bool> exists = discImageExists(disc);
    if (!exists) return exists.failure();
    // libdsk works on files: the new image is made in a scratch file, removed at the end.
    Expected<TemporaryFile> scratch = createTemporaryFileBeside(disc);
    if (!scratch) return scratch.failure();
    Expected<DiscPlan> plan = updateScratchImage(disc, exists.value(), scratch.value().path(), files, log);
    if (!plan) return plan.failure();
    Expected<std::vector<Byte>> image = readWholeFile(scratch.value().path(), std::numeric_limits<std::size_t>::max());
    if (!image) return image.failure();
    return DiscImageUpdate{std::move(image.value()), std::move(plan.value())};
}

void logDiscImageWritten(const DiscImageUpdate& update, std::span<const DiscFile> files, const Log& log) {
    for (const std::string& replaced : update.plan.replaced) log.DEBUG("Replaced " + replaced + " on the disc");
    for (const DiscFile& file : files)
        log.DEBUG("Disc file " + file.name + ": " + byteCount(file.bytes.size()) + " in " +
                  std::to_string(ceilDiv(file.bytes.size(), kDiscBlockSize)) + " KB");
    log.DEBUG("Disc image Ok: " + std::to_string(update.plan.freeBlocks) + " KB and " +
              std::to_string(update.plan.freeEntries) + " directory entries free");
}

Expected<void> addFilesToDiscImage(const std::filesystem::path& disc, std::span<const DiscFile> files, const Log& log) {
    Expected<DiscImageUpdate> update = prepareDiscImage(disc, files, log);
    Expected<void> written = update ? writeFilesAtomically(std::array<FileToWrite, 1>{
                                          {{disc, update.value().image, Permissions::OfReplacedFile}}})
                                    : Expected<void>(update.failure());
    if (!written) {
        log.DEBUG("Disc image not written: " + written.reason());
        return written;
    }
    logDiscImageWritten(update.value(), files, log);
    return {};
}

Expected<PictureDiscFiles> outputDiscFiles(const OutputFiles& files, const std::string& outputName) {
    Expected<std::string> screenName = discNameOf(outputName, "SCR");
    if (!screenName) return screenName.failure();
    Expected<std::string> paletteName = discNameOf(outputName, "PAL");
    if (!paletteName) return paletteName.failure();
    Expected<std::string> loaderName = discNameOf(outputName, "BAS");
    if (!loaderName) return loaderName.failure();
    Expected<LoaderTarget> target = loaderTargetOf(files.screenFile);
    if (!target) return Failure{"cannot make the BASIC loader: the screen file " + target.reason()};
    PictureDiscFiles out;
    out.loader = basicLoaderFile(target.value(), screenName.value(), loaderName.value());
    out.files = {{{screenName.value(), files.screenFile},
                  {paletteName.value(), files.paletteFile},
                  {loaderName.value(), out.loader, screenName.value()}}};
    return out;
}

Expected<void> writeOutputToDiscImage(const OutputFiles& files, const std::string& outputName,
                                      const std::filesystem::path& disc, const Log& log) {
    Expected<PictureDiscFiles> discFiles = outputDiscFiles(files, outputName);
    if (!discFiles) {
        log.DEBUG("Disc image not written: " + discFiles.reason());
        return discFiles.failure();
    }
    return addFilesToDiscImage(disc, discFiles.value().files, log);
}

Expected<SavedFiles> saveToDiscImage(const ProgramState& state, ScreenLayout layout, const std::string& outputName,
                                     const std::filesystem::path& disc, const Log& log, PaletteModeByte modeByte) {
    log.DEBUG(disc.string());
    if (Expected<void> ready = checkBeforeSaving(state, log); !ready) return ready.failure();
    const OutputFiles files = buildOutputFiles(state, layout, log, modeByte);
    SavedFiles saved;
    if (Expected<std::string> name = discNameOf(outputName, "SCR")) saved.screenFile = name.value();
    if (Expected<std::string> name = discNameOf(outputName, "PAL")) saved.paletteFile = name.value();
    if (const Expected<void> written = writeOutputToDiscImage(files, outputName, disc, log); !written)
        return written.failure();
    log.DEBUG("Saving Ok ... ");
    return saved;
}

Expected<std::vector<std::string>> filesOnDisc(const std::filesystem::path& disc) {
    const std::string name = disc.string();
    DiscDriver driver;
    if (const dsk_err_t error = dsk_open(driver.slot(), name.c_str(), nullptr, nullptr); error != DSK_ERR_OK)
        return Failure{name + " is not a disc image that libdsk can read: " + libdskReason(error),
                       FailureKind::WrongFormat};
    if (const Expected<void> format = checkDataFormat(driver.get(), name); !format) return format.failure();
    DSK_GEOMETRY geometry;
    dg_stdformat(&geometry, FMT_CPCDATA, nullptr, nullptr);
    const Expected<DiscDirectory> directory = readDirectory(driver, geometry, name);
    if (!directory) return directory.failure();
    std::vector<std::string> names;
    for (int e = 0; e < kDirectoryEntries; ++e) {
        const std::span<const Byte> entry(directory.value().data() + e * kDirectoryEntrySize, kDirectoryEntrySize);
        if (entry[0] != 0) continue;  // free, another user, a label or time stamps
        std::string file = entryName(entry);
        if (std::find(names.begin(), names.end(), file) == names.end()) names.push_back(std::move(file));
    }
    return names;
}

}  // namespace varnoke
