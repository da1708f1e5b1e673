// Reading PCX pictures: the header check's log lines and verdicts, run-length decoding,
// and the Open chain that installs a picture only when all of it could be read.
#include "pcx/open_command.h"
#include "pcx/pcx_decoder.h"
#include "pcx/pcx_header.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

namespace varnoke {
namespace {

using test::CapturedLog;
using test::PcxFields;
using ::testing::ElementsAre;

HeaderVerdict check(const std::array<Byte, 128>& bytes, CapturedLog& captured) {
    return Verif_Entete_PCX(readPcxHeader(std::span<const Byte, 128>(bytes)), captured.log);
}

void put16(std::array<Byte, 128>& h, std::size_t at, unsigned value) {
    h[at] = static_cast<Byte>(value & 0xFF);
    h[at + 1] = static_cast<Byte>(value >> 8);
}

TEST(PcxHeaderCheck, AcceptedHeaderLogsTwelveLinesInOrder) {
    CapturedLog captured;
    const HeaderVerdict verdict = check(test::pcxHeader({320, 200, 320}), captured);
    EXPECT_TRUE(verdict.accepted);
    EXPECT_EQ(verdict.cpcMode, 1);
    EXPECT_EQ(captured.lines,
              (std::vector<std::string>{"Entete PCX : ", "Format = 10", "Version = 5", "Encodage = 1",
                                        "# bits/pixels = 8", "Largeur = 320", "Hauteur = 200",
                                        "Resolution Horyzontale = 300", "Resolution Verticale = 300", "# plans = 1",
                                        "# octets/lignes = 320", "Couleur = 1"}));
}

TEST(PcxHeaderCheck, StopsAtTheFirstWrongFieldAfterLoggingIt) {
    struct Case {
        std::size_t offset;
        Byte value;
        std::size_t lines;  // lines logged up to and including the failing field
    };
    for (const Case c : {Case{0, 11, 2}, Case{1, 3, 3}, Case{2, 0, 4}, Case{3, 4, 5}, Case{65, 3, 10}, Case{68, 2, 12}}) {
        std::array<Byte, 128> h = test::pcxHeader({});
        h[c.offset] = c.value;
        CapturedLog captured;
        const HeaderVerdict verdict = check(h, captured);
        EXPECT_FALSE(verdict.accepted) << "offset " << c.offset;
        EXPECT_FALSE(verdict.reason.empty());
        ASSERT_EQ(captured.lines.size(), c.lines) << "offset " << c.offset;
        const std::string value = std::to_string(c.value);
        EXPECT_TRUE(captured.lines.back().ends_with(value)) << captured.lines.back();
        EXPECT_EQ(captured.lines.back()[captured.lines.back().size() - value.size() - 1], ' ');
    }
}

TEST(PcxHeaderCheck, OnlyTheDifferencesOfTheWindowCount) {
    CapturedLog captured;
    // Xmin 10, Xmax 169: 160 wide wherever the window lies.
    EXPECT_TRUE(check(test::pcxHeader({160, 200, 160, 10, 7}), captured).accepted);

    // Ymin 0, Ymax 200: 201 lines fails after both size lines.
    std::array<Byte, 128> h = test::pcxHeader({});
    put16(h, 10, 200);
    captured.lines.clear();
    EXPECT_FALSE(check(h, captured).accepted);
    EXPECT_THAT(captured.lines, ::testing::SizeIs(7));
    EXPECT_EQ(captured.lines[5], "Largeur = 160");
    EXPECT_EQ(captured.lines[6], "Hauteur = 201");
}

TEST(PcxHeaderCheck, NegativeWidthLogsAsUnsigned32Bits) {
    for (const auto& [xmax, logged] : {std::pair{9u, "Largeur = 0"}, std::pair{8u, "Largeur = 4294967295"}}) {
        std::array<Byte, 128> h = test::pcxHeader({});
        put16(h, 4, 10);
        put16(h, 8, xmax);
        CapturedLog captured;
        EXPECT_FALSE(check(h, captured).accepted);
        ASSERT_EQ(captured.lines.size(), 7u);
        EXPECT_EQ(captured.lines[5], logged);
    }
}

TEST(PcxHeaderCheck, ModeComesFromBytesPerLineAlone) {
    CapturedLog captured;
    EXPECT_EQ(check(test::pcxHeader({160, 200, 160}), captured).cpcMode, 0);
    EXPECT_EQ(check(test::pcxHeader({320, 200, 320}), captured).cpcMode, 1);
    EXPECT_EQ(check(test::pcxHeader({640, 200, 640}), captured).cpcMode, 2);
    EXPECT_EQ(check(test::pcxHeader({160, 200, 162}), captured).cpcMode, 2);
    EXPECT_FALSE(check(test::pcxHeader({200, 200, 200}), captured).accepted);
}

TEST(PcxHeaderCheck, OnlyTheLowByteOfPaletteInfoCounts) {
    std::array<Byte, 128> h = test::pcxHeader({});
    put16(h, 68, 257);
    CapturedLog captured;
    EXPECT_TRUE(check(h, captured).accepted);
    EXPECT_EQ(captured.lines.back(), "Couleur = 1");
}

// A file around a body given byte by byte, with a recognisable palette.
std::vector<Byte> fileWithBody(const std::vector<Byte>& body) {
    const std::array<Byte, 128> header = test::pcxHeader({});
    std::vector<Byte> file(128 + body.size() + 768);
    std::copy(header.begin(), header.end(), file.begin());
    std::copy(body.begin(), body.end(), file.begin() + 128);
    for (std::size_t i = 0; i < 768; ++i) file[128 + body.size() + i] = static_cast<Byte>(i * 7);
    return file;
}

TEST(PcxDecoding, RunsAndSingleBytes) {
    // 0xC5 0x07: five pixels of 7. 0xC0: one pixel of 192. 0xC1 0xC1: one of 193.
    // 0x3F: one of 63. Then runs of 0 to finish the picture.
    std::vector<Byte> body{0xC5, 0x07, 0xC0, 0xC1, 0xC1, 0x3F};
    std::size_t pixels = 8;
    while (pixels < 32000) {
        body.insert(body.end(), {0xFF, 0x00});
        pixels += 63;
    }
    Expected<DecodedPicture> decoded = decodePCX(fileWithBody(body), 0);
    ASSERT_TRUE(decoded) << decoded.reason();
    const std::vector<Byte>& p = decoded.value().pixelData;
    EXPECT_EQ(std::vector<Byte>(p.begin(), p.begin() + 8), (std::vector<Byte>{7, 7, 7, 7, 7, 192, 193, 63}));
    EXPECT_EQ(decoded.value().colorUsage[7], 5u);
    EXPECT_EQ(decoded.value().colorUsage[192], 1u);
    // The last run passes the target and is kept whole.
    EXPECT_EQ(p.size(), pixels);
    EXPECT_GT(p.size(), 32000u);
    const std::uint64_t total = std::accumulate(decoded.value().colorUsage.begin(), decoded.value().colorUsage.end(),
                                                std::uint64_t{0});
    EXPECT_EQ(total, p.size());
}

TEST(PcxDecoding, StopsAfterTheRunThatReachesTheTarget) {
    // 31990 pixels, then a run of 20: 32010 pixels; the bytes after it are never read.
    std::vector<Byte> body;
    for (int i = 0; i < 31990 / 10; ++i) body.insert(body.end(), {0xCA, 0x01});
    body.insert(body.end(), {0xD4, 0x02, 0xFF, 0x03});
    Expected<DecodedPicture> decoded = decodePCX(fileWithBody(body), 0);
    ASSERT_TRUE(decoded) << decoded.reason();
    EXPECT_EQ(decoded.value().pixelData.size(), 32010u);
    EXPECT_EQ(decoded.value().colorUsage[2], 20u);
    EXPECT_EQ(decoded.value().colorUsage[3], 0u);
}

TEST(PcxDecoding, PaletteIsTheLast768BytesWhateverPrecedesThem) {
    std::vector<Byte> body(32000, 0x05);
    body.push_back(0x99);  // not the usual 0x0C marker
    Expected<DecodedPicture> decoded = decodePCX(fileWithBody(body), 0);
    ASSERT_TRUE(decoded);
    for (int i = 0; i < 768; ++i) ASSERT_EQ(decoded.value().pcxPalette[static_cast<std::size_t>(i)], static_cast<Byte>(i * 7));
}

TEST(PcxDecoding, ShortBodiesAndFilesAreRejectedWithTheReason) {
    Expected<DecodedPicture> shortBody = decodePCX(fileWithBody(std::vector<Byte>(31990, 0x01)), 0);
    ASSERT_FALSE(shortBody);
    EXPECT_NE(shortBody.reason().find("31990 of 32000"), std::string::npos) << shortBody.reason();

    // A run byte whose value byte would lie past the body.
    std::vector<Byte> body(31999, 0x01);
    body.push_back(0xC2);
    EXPECT_FALSE(decodePCX(fileWithBody(body), 0));
}

TEST(OpenCommand, ARejectedFileLeavesThePreviousPictureAndMode) {
    ProgramState state;
    CapturedLog captured;
    const std::vector<Byte> good =
        test::pcxFile({320, 200, 320}, std::vector<Byte>(64000, 1), test::paletteOf({{0, 0, 0}, {255, 255, 255}}));
    ASSERT_TRUE(openPicture(state, "good.pcx", good, captured.log).accepted);
    const ProgramState before = state;

    // Shorter than a header. (Each kind of refused file, and the whole state it must
    // leave, is in the hostile input tests.)
    captured.lines.clear();
    EXPECT_FALSE(openPicture(state, "tiny.pcx", std::vector<Byte>(57, 10), captured.log).accepted);
    EXPECT_THAT(captured.lines, ::testing::SizeIs(3));
    EXPECT_EQ(captured.lines.back(), "Format de fichier inconnu !!!");

    EXPECT_EQ(state.cpcMode, before.cpcMode);
    EXPECT_EQ(state.pixelData, before.pixelData);
    EXPECT_EQ(state.pcxPalette, before.pcxPalette);
    EXPECT_EQ(state.colorUsage, before.colorUsage);
    EXPECT_EQ(state.cpcColorOfIndex, before.cpcColorOfIndex);
    for (int pen = 0; pen < kPenCount; ++pen)
        EXPECT_EQ(state.inkBoxes[static_cast<std::size_t>(pen)].filterColor,
                  before.inkBoxes[static_cast<std::size_t>(pen)].filterColor);
}

TEST(OpenCommand, AcceptedFileLogsNameHeaderAndPaletteBuilding) {
    ProgramState state;
    CapturedLog captured;
    const std::vector<Byte> file =
        test::pcxFile({640, 200, 640}, std::vector<Byte>(128000, 0), test::paletteOf({{0, 0, 0}}));
    EXPECT_TRUE(openPicture(state, "/pictures/a.pcx", file, captured.log).accepted);
    ASSERT_EQ(captured.lines.size(), 14u);
    EXPECT_EQ(captured.lines.front(), "/pictures/a.pcx");
    EXPECT_EQ(captured.lines.back(), "- Building Palette ...");
    EXPECT_EQ(state.cpcMode, 2);
    EXPECT_EQ(state.pixelData.size(), 128000u);
}

}  // namespace
}  // namespace varnoke
