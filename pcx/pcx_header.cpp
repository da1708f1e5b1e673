#include "pcx/pcx_header.h"

#include "main/little_endian.h"

#include <algorithm>

namespace varnoke {
namespace {

std::string fieldReason(const char* field, long long value, const char* expected) {
    return std::string(field) + " is " + std::to_string(value) + ", " + expected;
}

}  // namespace

PcxHeader readPcxHeader(std::span<const Byte, kPcxHeaderSize> bytes) {
    PcxHeader h;
    h.Manufacturer = bytes[0];
    h.Version = bytes[1];
    h.Encoding = bytes[2];
    h.BitsPerPixel = bytes[3];
    h.Xmin = readLittleEndian16(bytes, 4);
    h.Ymin = readLittleEndian16(bytes, 6);
    h.Xmax = readLittleEndian16(bytes, 8);
    h.Ymax = readLittleEndian16(bytes, 10);
    h.HDpi = readLittleEndian16(bytes, 12);
    h.VDpi = readLittleEndian16(bytes, 14);
    std::copy_n(bytes.begin() + 16, 48, h.Colormap.begin());
    h.Reserved = bytes[64];
    h.NPlanes = bytes[65];
    h.BytesPerLine = readLittleEndian16(bytes, 66);
    h.PaletteInfo = readLittleEndian16(bytes, 68);
    h.HscreenSize = readLittleEndian16(bytes, 70);
    h.VscreenSize = readLittleEndian16(bytes, 72);
    std::copy_n(bytes.begin() + 74, 54, h.Filler.begin());
    return h;
}

Expected<Byte> Verif_Entete_PCX(const PcxHeader& header, const Log& log) {
    auto reject = [](std::string reason) { return Failure{std::move(reason), FailureKind::WrongFormat}; };

    log.DEBUG("Entete PCX : ");
    log.DEBUG("Format = ", header.Manufacturer);
    if (header.Manufacturer != 10)
        return reject(
            fieldReason("the PCX marker (first byte)", header.Manufacturer, "not 10: this is not a PCX file"));
    log.DEBUG("Version = ", header.Version);
    if (header.Version != 5)
        return reject(
            fieldReason("the PCX version", header.Version, "not 5: only 256-colour PCX pictures are accepted"));
    log.DEBUG("Encodage = ", header.Encoding);
    if (header.Encoding != 1) return reject(fieldReason("the encoding", header.Encoding, "not 1 (run-length encoded)"));
    log.DEBUG("# bits/pixels = ", header.BitsPerPixel);
    if (header.BitsPerPixel != 8)
        return reject(
            fieldReason("the bits per pixel", header.BitsPerPixel, "not 8: the picture must have 256 indexed colours"));

    // Signed differences of the unsigned fields; the log shows them as unsigned 32-bit
    // numbers, so a negative width prints as its two's complement.
    const std::int32_t width = std::int32_t{header.Xmax} - std::int32_t{header.Xmin} + 1;
    const std::int32_t height = std::int32_t{header.Ymax} - std::int32_t{header.Ymin} + 1;
    log.DEBUG("Largeur = ", static_cast<std::uint32_t>(width));
    log.DEBUG("Hauteur = ", static_cast<std::uint32_t>(height));
    if (height != 200) return reject(fieldReason("the height", height, "not 200 lines"));
    if (width != 160 && width != 320 && width != 640)
        return reject(fieldReason("the width", width, "not 160, 320 or 640 pixels"));

    log.DEBUG("Resolution Horyzontale = ", header.HDpi);
    log.DEBUG("Resolution Verticale = ", header.VDpi);
    log.DEBUG("# plans = ", header.NPlanes);
    if (header.NPlanes != 1) return reject(fieldReason("the number of colour planes", header.NPlanes, "not 1"));

    log.DEBUG("# octets/lignes = ", header.BytesPerLine);
    const Byte mode = header.BytesPerLine == 160 ? 0 : header.BytesPerLine == 320 ? 1 : 2;

    const Byte paletteInfo = static_cast<Byte>(header.PaletteInfo & 0xFF);
    log.DEBUG("Couleur = ", paletteInfo);
    if (paletteInfo != 1) return reject(fieldReason("the palette type", paletteInfo, "not 1 (colour)"));
    return mode;
}

}  // namespace varnoke
