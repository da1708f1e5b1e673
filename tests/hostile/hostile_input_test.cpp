// Malformed and hostile picture files. Each is opened after a good picture has been
// opened and edited; a refused file must leave the whole program state exactly as it
// was and say in the log what is wrong; an accepted one must give a whole picture.
#include "palette/palette_editing.h"
#include "pcx/open_command.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnoke {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

// A valid mode 0 body built run by run, so that the test knows for every length of it
// how many whole pixels it holds: runs of many lengths, single pixels, values 0 to 5
// and 200 (which must be written as a run), ending exactly on pixel 32000.
struct Body {
    Bytes bytes;
    std::vector<std::size_t> wholePixels{0};  // [n]: the pixels of the first n bytes
    void add(Byte byte, std::size_t pixels) {
        bytes.push_back(byte);
        wholePixels.push_back(wholePixels.back() + pixels);
    }
    Body() {
        for (int i = 0; wholePixels.back() < 32000; ++i) {
            const Byte value = i % 7 == 6 ? Byte{200} : static_cast<Byte>(i % 6);
            const int length = std::min<int>(1 + (i * 37) % 63, static_cast<int>(32000 - wholePixels.back()));
            if (length > 1 || value > 192) add(static_cast<Byte>(0xC0 + length), 0);
            add(value, static_cast<std::size_t>(length));
        }
    }
};

Bytes header() {
    const Bytes file = test::pcxFile(160, {}, {});
    return Bytes(file.begin(), file.begin() + 128);
}
// The header, the body, the marker if asked for, and a palette of 27 colours repeated.
Bytes assemble(Bytes file, const Bytes& body, bool marker = true) {
    file.insert(file.end(), body.begin(), body.end());
    if (marker) file.push_back(12);
    for (std::size_t i = 0; i < 256; ++i)
        file.insert(file.end(), {Byte(i % 3 * 127), Byte(i / 3 % 3 * 127), Byte(i / 9 % 3 * 127)});
    return file;
}
void put16(Bytes& file, std::size_t at, unsigned value) {
    file[at] = Byte(value & 0xFF), file[at + 1] = Byte(value >> 8);
}
bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The whole program state, pens and boxes included.
auto snapshot(const ProgramState& s) {
    std::vector<std::tuple<Byte, std::uint32_t, std::string>> pens;
    for (const couleur_palette& pen : s.inkBoxes)
        pens.emplace_back(pen.filterColor, pen.box.background.argb(), pen.box.text);
    return std::make_tuple(s.cpcMode, s.pixelData, s.pcxPalette, s.cpcColorOfIndex, s.colorUsage, s.colorSubstitution,
                           s.hardwareCodes, s.cpcColorBoxes, pens, s.selectedPen, s.thresholdLow, s.thresholdHigh);
}
void expectSameState(const ProgramState& a, const ProgramState& b) {
    EXPECT_TRUE(snapshot(a) == snapshot(b)) << "the program state changed";
}

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(openPictureFile(state_, test::sample("sunset-mode1.pcx"), "sunset-mode1.pcx", Log()).ok());
        moveLowThreshold(state_, 17, Log());
        selectPen(state_, 1);
        ASSERT_TRUE(substituteColor(state_, 26, Log()));
        selectPen(state_, 3);
        before_ = state_;
    }
    Expected<void> open(const Bytes& file) { return reset(), openPicture(state_, "bad.pcx", file, log_.log); }
    Expected<void> openFile(const fs::path& path) {
        return reset(), openPictureFile(state_, path, path.filename().string(), log_.log);
    }
    void reset() { state_ = before_, log_.lines.clear(); }
    // Nothing changed; the log names the file and says why.
    void expectRefused(const Expected<void>& outcome, const std::string& reasonPart) {
        EXPECT_FALSE(outcome.ok());
        EXPECT_TRUE(contains(outcome.reason(), reasonPart)) << "reason: " << outcome.reason();
        ASSERT_GE(log_.lines.size(), 2u);
        EXPECT_TRUE(contains(log_.lines.back(), reasonPart) || log_.lines.back() == "Format de fichier inconnu !!!")
            << log_.lines.back();
        expectSameState(state_, before_);
    }
    void expectRefusedByDecoding(const Expected<void>& outcome, const std::string& reasonPart) {
        expectRefused(outcome, reasonPart);
        EXPECT_EQ(log_.lines.back(), "File rejected: " + outcome.reason() + "; the picture already loaded is kept");
    }
    fs::path write(const std::string& name, const Bytes& bytes) {
        test::writeBytes(folder_ / name, bytes);
        return folder_ / name;
    }

    ProgramState state_, before_;
    test::CapturedLog log_;
    test::TestFolder folder_;
};

TEST_F(HostileInput, EachRejectedHeaderFieldIsLoggedLastAndNamed) {
    struct BadField {
        std::size_t offset;  // of a 16-bit field, or of a byte field with the next byte then 0
        unsigned value;
        const char *lastLine, *reason;
    };
    const BadField fields[] = {{0, 0, "Format = 0", "PCX marker (first byte) is 0"},
                               {1, 4, "Version = 4", "version is 4"},
                               {2, 2, "Encodage = 2", "encoding is 2"},
                               {3, 4, "# bits/pixels = 4", "bits per pixel is 4"},
                               {10, 198, "Hauteur = 199", "height is 199"},
                               {10, 200, "Hauteur = 201", "height is 201"},
                               {6, 201, "Hauteur = 4294967295", "height is -1"},
                               {8, 158, "Hauteur = 200", "width is 159"},
                               {4, 161, "Hauteur = 200", "width is -1"},
                               {8, 65535, "Hauteur = 200", "width is 65536"},
                               {65, 0, "# plans = 0", "colour planes is 0"},
                               {68, 2, "Couleur = 2", "palette type is 2"}};
    for (const BadField& bad : fields) {
        SCOPED_TRACE(bad.reason);
        Bytes h = header();
        put16(h, bad.offset, bad.value);
        expectRefused(open(assemble(h, Body().bytes)), bad.reason);
        ASSERT_GE(log_.lines.size(), 3u);
        EXPECT_EQ(log_.lines[0], "bad.pcx");
        EXPECT_EQ(log_.lines[1], "Entete PCX : ");
        EXPECT_EQ(log_.lines[log_.lines.size() - 2], bad.lastLine);
        EXPECT_EQ(log_.lines.back(), "Format de fichier inconnu !!!");
    }
    // Only the differences of the picture window count: (10, 7) to (169, 206) is 160 × 200.
    Bytes moved = test::pcxFile({160, 200, 160, 10, 7}, Bytes(32000, 1), {});
    EXPECT_TRUE(open(moved).ok());
}

// The bytes-per-line field alone gives the mode: a 160-pixel picture that claims longer
// lines is decoded as a larger picture, and its body is far too short for that. The
// body's 32000 pixels and the palette marker are read as 32001.
TEST_F(HostileInput, LinesLongerThanThePictureAskForMorePixelsThanTheBodyHolds) {
    for (const unsigned bytesPerLine : {162u, 320u, 640u, 0u, 65535u}) {
        Bytes h = header();
        put16(h, 66, bytesPerLine);
        expectRefusedByDecoding(open(assemble(h, Body().bytes)), bytesPerLine == 320
                                                                     ? "ends after 32001 of 64000 pixels"
                                                                     : "ends after 32001 of 128000 pixels");
    }
}

// The body loses one byte at a time from its end, with the palette directly after it
// (the first cut leaves the final run's marker without its value byte); then the whole
// file is cut at its end, so that the last 768 bytes left are taken as the palette and
// the marker byte 12 counts as the body's last byte.
TEST_F(HostileInput, BodyOrFileCutShortOneByteAtATime) {
    Body body;
    ASSERT_GT(body.bytes[body.bytes.size() - 2], 0xC0);
    for (std::size_t cut = 1; cut <= 70; ++cut) {
        SCOPED_TRACE("body shorter by " + std::to_string(cut));
        const std::size_t kept = body.bytes.size() - cut;
        expectRefusedByDecoding(
            open(assemble(header(), Bytes(body.bytes.begin(), body.bytes.begin() + static_cast<std::ptrdiff_t>(kept)),
                          false)),
            "ends after " + std::to_string(body.wholePixels[kept]) + " of 32000 pixels");
    }
    const Bytes good = assemble(header(), body.bytes);
    body.add(12, 1);
    for (std::size_t cut = 1; cut <= 70; ++cut) {
        SCOPED_TRACE("file shorter by " + std::to_string(cut));
        const Bytes file(good.begin(), good.end() - static_cast<std::ptrdiff_t>(cut));
        const Expected<void> outcome = open(file);
        const std::size_t whole = body.wholePixels[body.bytes.size() - cut];
        if (whole < 32000) {
            expectRefusedByDecoding(outcome, "ends after " + std::to_string(whole) + " of 32000 pixels");
            continue;
        }
        // Only the marker was lost: the picture is whole, its palette shifted by a byte.
        EXPECT_TRUE(outcome.ok()) << outcome.reason();
        EXPECT_EQ(state_.pixelData.size(), whole);
        EXPECT_TRUE(std::equal(state_.pcxPalette.begin(), state_.pcxPalette.end(), file.end() - 768));
    }
}

TEST_F(HostileInput, ShortFilesAFolderADeviceAMissingOrAHugeFile) {
    const Bytes good = assemble(header(), Body().bytes);
    const fs::path huge = write("huge.pcx", good);
    fs::resize_file(huge, kMaximumPictureFileSize + 1);  // sparse: costs no disc space
    std::vector<std::pair<fs::path, std::string>> cases{{folder_.path(), "it is a folder, not a file"},
                                                        {"/dev/zero", "not a regular file"},
                                                        {folder_ / "no-such-picture.pcx", "No such file or directory"},
                                                        {huge, "larger than any picture"}};
    for (const int size : {0, 127, 128, 895, 896})
        cases.push_back({write("short" + std::to_string(size) + ".pcx", Bytes(good.begin(), good.begin() + size)),
                         size == 896
                             ? "ends after 0 of 32000 pixels"
                             : std::to_string(size) + " bytes, fewer than the " + (size < 128 ? "128" : "896")});
    for (const auto& [path, reason] : cases) {
        expectRefused(openFile(path), reason);
        EXPECT_TRUE(std::any_of(log_.lines.begin(), log_.lines.end(),
                                [&](const std::string& l) { return contains(l, reason); }));
    }
}

// A named pipe without a writer must not block the open: it is tried in a child process
// that an alarm ends if it does.
TEST_F(HostileInput, ANamedPipeIsRefusedWithoutWaiting) {
    const fs::path pipe = folder_ / "pipe.pcx";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(5);
        const Expected<void> outcome = openFile(pipe);
        ::_exit(!outcome.ok() && contains(outcome.reason(), "not a regular file") ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "refused for another reason, or the open blocks";
}

// Every bit of the header flipped in turn. The fields the check reads (marker, version,
// encoding, bits per pixel, the window, planes, bytes per line, the palette type's low
// byte) take no single flipped bit; the other bytes are not read at all. (A damaged body:
// BodyOrFileCutShortOneByteAtATime, PcxDecoding's runs, and the fuzz target.)
TEST_F(HostileInput, EveryHeaderBitFlipped) {
    const Bytes good = assemble(header(), Body().bytes);
    ASSERT_TRUE(open(good).ok());
    const ProgramState afterGood = state_;
    for (std::size_t bit = 0; bit < 128 * 8 && !HasFailure(); ++bit) {
        SCOPED_TRACE("bit " + std::to_string(bit));
        Bytes file = good;
        file[bit / 8] ^= static_cast<Byte>(1u << (bit % 8));
        const Expected<void> outcome = open(file);
        const std::size_t offset = bit / 8;
        if (offset <= 11 || (offset >= 65 && offset <= 68)) {
            ASSERT_FALSE(outcome.ok());
            EXPECT_TRUE(log_.lines.back() == "Format de fichier inconnu !!!" ||
                        contains(log_.lines.back(), "File rejected: "));
            expectSameState(state_, before_);
        } else {
            ASSERT_TRUE(outcome.ok()) << outcome.reason();
            expectSameState(state_, afterGood);
        }
    }
}

}  // namespace
}  // namespace varnoke
