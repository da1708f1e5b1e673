// Malformed and hostile picture files. Each one is opened after a good picture has been
// opened and edited; a refused file must leave the whole program state exactly as it
// was and say in the log what is wrong; no file may crash the converter.
#include "cpc/save_command.h"
#include "display/picture_display.h"
#include "palette/palette_check.h"
#include "palette/palette_editing.h"
#include "pcx/open_command.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

namespace varnoke {
namespace {

using Bytes = std::vector<Byte>;

// ---------------------------------------------------------------------------------------
// A small valid mode 0 file, built here run by run so that the test knows, for every
// length of the body, how many whole pixels it holds.

void put16(Bytes& file, std::size_t offset, unsigned value) {
    file[offset] = static_cast<Byte>(value & 0xFF);
    file[offset + 1] = static_cast<Byte>(value >> 8);
}

Bytes validHeader() {
    Bytes h(128, 0);
    h[0] = 10;          // marker
    h[1] = 5;           // version
    h[2] = 1;           // run-length encoded
    h[3] = 8;           // bits per pixel
    put16(h, 8, 159);   // Xmax
    put16(h, 10, 199);  // Ymax
    put16(h, 12, 72);
    put16(h, 14, 72);
    h[65] = 1;          // one plane
    put16(h, 66, 160);  // bytes per line
    put16(h, 68, 1);    // colour palette
    return h;
}

struct Body {
    Bytes bytes;
    // wholePixels[n]: the pixels that the first n bytes decode to, counting a run only
    // once its value byte is there.
    std::vector<std::size_t> wholePixels{0};
    void literal(Byte value) {
        bytes.push_back(value);
        wholePixels.push_back(wholePixels.back() + 1);
    }
    void run(int length, Byte value) {
        bytes.push_back(static_cast<Byte>(0xC0 + length));
        wholePixels.push_back(wholePixels.back());
        bytes.push_back(value);
        wholePixels.push_back(wholePixels.back() + static_cast<std::size_t>(length));
    }
};

// 32000 pixels: runs of many lengths and single pixels, values 0 to 5 and 200 (which
// must be written as a run), ending exactly on the last pixel.
Body validBody() {
    Body body;
    for (int i = 0; body.wholePixels.back() < 32000; ++i) {
        const std::size_t left = 32000 - body.wholePixels.back();
        const Byte value = i % 7 == 6 ? Byte{200} : static_cast<Byte>(i % 6);
        const int length = std::min<int>(1 + (i * 37) % 63, static_cast<int>(left));
        if (length == 1 && value <= 192) body.literal(value);
        else body.run(length, value);
    }
    return body;
}

Bytes validPalette() {
    Bytes palette(768);
    const Byte levels[] = {0, 128, 255};
    for (std::size_t i = 0; i < 256; ++i) {
        palette[3 * i] = levels[i % 3];
        palette[3 * i + 1] = levels[(i / 3) % 3];
        palette[3 * i + 2] = levels[(i / 9) % 3];
    }
    return palette;
}

Bytes assemble(const Bytes& header, const Bytes& body, const Bytes& palette) {
    Bytes file = header;
    file.insert(file.end(), body.begin(), body.end());
    file.push_back(12);
    file.insert(file.end(), palette.begin(), palette.end());
    return file;
}

Bytes validFile() { return assemble(validHeader(), validBody().bytes, validPalette()); }

// ---------------------------------------------------------------------------------------
// The whole program state, field by field.

void expectSameState(const ProgramState& a, const ProgramState& b) {
    EXPECT_EQ(a.cpcMode, b.cpcMode);
    EXPECT_EQ(a.pixelData, b.pixelData);
    EXPECT_EQ(a.pcxPalette, b.pcxPalette);
    EXPECT_EQ(a.cpcColorOfIndex, b.cpcColorOfIndex);
    EXPECT_EQ(a.colorUsage, b.colorUsage);
    EXPECT_EQ(a.colorSubstitution, b.colorSubstitution);
    EXPECT_EQ(a.hardwareCodes, b.hardwareCodes);
    EXPECT_EQ(a.cpcColorBoxes, b.cpcColorBoxes);
    for (std::size_t p = 0; p < a.inkBoxes.size(); ++p) {
        EXPECT_EQ(a.inkBoxes[p].filterColor, b.inkBoxes[p].filterColor) << "pen " << p;
        EXPECT_EQ(a.inkBoxes[p].box.background, b.inkBoxes[p].box.background) << "pen " << p;
        EXPECT_EQ(a.inkBoxes[p].box.text, b.inkBoxes[p].box.text) << "pen " << p;
    }
    EXPECT_EQ(a.selectedPen, b.selectedPen);
    EXPECT_EQ(a.thresholdLow, b.thresholdLow);
    EXPECT_EQ(a.thresholdHigh, b.thresholdHigh);
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override {
        // A good picture, opened and edited as a user would before opening the bad one.
        const std::filesystem::path good = std::filesystem::path(VARNOKE_SAMPLES_DIR) / "sunset-mode1.pcx";
        ASSERT_TRUE(openPictureFile(state_, good, "sunset-mode1.pcx", Log()).accepted);
        moveLowThreshold(state_, 17, Log());
        selectPen(state_, 1);
        ASSERT_TRUE(substituteColor(state_, 26, Log()));
        selectPen(state_, 3);
        before_ = state_;
    }

    OpenOutcome open(const Bytes& file) {
        lines_.clear();
        return openPicture(state_, "bad.pcx", file, logger());
    }
    OpenOutcome openFile(const std::filesystem::path& path) {
        lines_.clear();
        return openPictureFile(state_, path, path.filename().string(), logger());
    }
    Log logger() {
        return Log([this](std::string_view line) { lines_.emplace_back(line); });
    }

    // A refusal: nothing changed, the log names the file and ends with a line saying why.
    void expectRefused(const OpenOutcome& outcome, const std::string& reasonPart) {
        EXPECT_FALSE(outcome.accepted);
        EXPECT_TRUE(contains(outcome.reason, reasonPart)) << "reason: " << outcome.reason;
        ASSERT_GE(lines_.size(), 2u);
        expectSameState(state_, before_);
    }
    void expectRefusedByDecoding(const OpenOutcome& outcome, const std::string& reasonPart) {
        expectRefused(outcome, reasonPart);
        EXPECT_EQ(lines_.back(), "File rejected: " + outcome.reason + "; the picture already loaded is kept");
    }

    std::filesystem::path tempDir() {
        if (dir_.empty()) {
            std::string pattern = std::filesystem::temp_directory_path() / "varnoke-hostile-XXXXXX";
            if (!::mkdtemp(pattern.data())) ADD_FAILURE() << "cannot make a temporary folder: " << std::strerror(errno);
            dir_ = pattern;
            ::chmod(dir_.c_str(), 0755);  // others may look inside (see the unreadable file)
        }
        return dir_;
    }
    std::filesystem::path writeFile(const std::string& name, const Bytes& bytes) {
        const std::filesystem::path path = tempDir() / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    void TearDown() override {
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    ProgramState state_;
    ProgramState before_;
    std::vector<std::string> lines_;
    std::filesystem::path dir_;
};

// ---------------------------------------------------------------------------------------
// The header check: each field it rejects, with the line it logs last.

struct BadField {
    const char* what;
    std::size_t offset;
    unsigned value;
    bool twoBytes;
    const char* lastLine;    // the last field line before "Format de fichier inconnu !!!"
    const char* reasonPart;  // what the reason names
};

class HeaderField : public HostileInput, public ::testing::WithParamInterface<BadField> {};

TEST_P(HeaderField, IsRefusedAndLeavesThePictureAlone) {
    const BadField& bad = GetParam();
    Bytes header = validHeader();
    if (bad.twoBytes) put16(header, bad.offset, bad.value);
    else header[bad.offset] = static_cast<Byte>(bad.value);
    const OpenOutcome outcome = open(assemble(header, validBody().bytes, validPalette()));
    expectRefused(outcome, bad.reasonPart);
    ASSERT_GE(lines_.size(), 3u);
    EXPECT_EQ(lines_.front(), "bad.pcx");
    EXPECT_EQ(lines_[1], "Entete PCX : ");
    EXPECT_EQ(lines_[lines_.size() - 2], bad.lastLine);
    EXPECT_EQ(lines_.back(), "Format de fichier inconnu !!!");
}

INSTANTIATE_TEST_SUITE_P(
    Rejected, HeaderField,
    ::testing::Values(BadField{"marker_0", 0, 0, false, "Format = 0", "PCX marker (first byte) is 0"},
                      BadField{"version_0", 1, 0, false, "Version = 0", "version is 0"},
                      BadField{"version_4", 1, 4, false, "Version = 4", "version is 4"},
                      BadField{"encoding_0", 2, 0, false, "Encodage = 0", "encoding is 0"},
                      BadField{"encoding_2", 2, 2, false, "Encodage = 2", "encoding is 2"},
                      BadField{"bits_1", 3, 1, false, "# bits/pixels = 1", "bits per pixel is 1"},
                      BadField{"bits_4", 3, 4, false, "# bits/pixels = 4", "bits per pixel is 4"},
                      BadField{"height_199", 10, 198, true, "Hauteur = 199", "height is 199"},
                      BadField{"height_201", 10, 200, true, "Hauteur = 201", "height is 201"},
                      BadField{"ymin_after_ymax", 6, 201, true, "Hauteur = 4294967295", "height is -1"},
                      BadField{"width_159", 8, 158, true, "Hauteur = 200", "width is 159"},
                      BadField{"width_200", 8, 199, true, "Hauteur = 200", "width is 200"},
                      BadField{"xmin_after_xmax", 4, 161, true, "Hauteur = 200", "width is -1"},
                      BadField{"width_65536", 8, 65535, true, "Hauteur = 200", "width is 65536"},
                      BadField{"planes_0", 65, 0, false, "# plans = 0", "colour planes is 0"},
                      BadField{"planes_3", 65, 3, false, "# plans = 3", "colour planes is 3"},
                      BadField{"palette_0", 68, 0, false, "Couleur = 0", "palette type is 0"},
                      BadField{"palette_2", 68, 2, false, "Couleur = 2", "palette type is 2"}),
    [](const ::testing::TestParamInfo<BadField>& info) { return std::string(info.param.what); });

// The bytes-per-line field alone gives the mode: a 160-pixel picture that claims longer
// lines is decoded as a mode 2 picture, and its body is far too short for that.
TEST_F(HostileInput, LinesLongerThanThePictureAskForMorePixelsThanTheBodyHolds) {
    for (const unsigned bytesPerLine : {162u, 320u, 640u, 0u, 65535u}) {
        SCOPED_TRACE(bytesPerLine);
        Bytes header = validHeader();
        put16(header, 66, bytesPerLine);
        const OpenOutcome outcome = open(assemble(header, validBody().bytes, validPalette()));
        // The body's 32000 pixels and the palette marker, read as one more pixel.
        expectRefusedByDecoding(outcome, bytesPerLine == 320 ? "ends after 32001 of 64000 pixels"
                                                             : "ends after 32001 of 128000 pixels");
    }
}

// ---------------------------------------------------------------------------------------
// Short files and cut bodies.

TEST_F(HostileInput, FilesTooShortForAHeaderOrAPalette) {
    const Bytes good = validFile();
    struct Case {
        std::size_t size;
        const char* reasonPart;
    };
    for (const Case& c : {Case{0, "0 bytes, fewer than the 128"}, Case{127, "127 bytes, fewer than the 128"}, Case{128, "128 bytes, fewer than the 896"},
                          Case{895, "895 bytes, fewer than the 896"}, Case{896, "ends after 0 of 32000 pixels"}}) {
        SCOPED_TRACE(c.size);
        Bytes file(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(std::min(c.size, good.size())));
        file.resize(c.size, 0);
        const OpenOutcome outcome = openFile(writeFile("short-" + std::to_string(c.size) + ".pcx", file));
        expectRefused(outcome, c.reasonPart);
        EXPECT_TRUE(contains(lines_.back(), c.reasonPart) || lines_.back() == "Format de fichier inconnu !!!")
            << lines_.back();
        EXPECT_TRUE(std::any_of(lines_.begin(), lines_.end(),
                                [&](const std::string& l) { return contains(l, c.reasonPart); }))
            << "no log line says why";
    }
}

// The palette stays the last 768 bytes; the body loses one byte at a time from its end.
// The first cut leaves the final run's marker without its value byte.
TEST_F(HostileInput, BodyCutShortOneByteAtATime) {
    const Body body = validBody();
    ASSERT_GT(body.bytes[body.bytes.size() - 2], 0xC0);
    for (std::size_t cut = 1; cut <= 70; ++cut) {
        SCOPED_TRACE("body shorter by " + std::to_string(cut));
        const std::size_t kept = body.bytes.size() - cut;
        Bytes shorter(body.bytes.begin(), body.bytes.begin() + static_cast<std::ptrdiff_t>(kept));
        Bytes file = validHeader();
        file.insert(file.end(), shorter.begin(), shorter.end());
        // No marker byte: the palette follows the body directly.
        const Bytes palette = validPalette();
        file.insert(file.end(), palette.begin(), palette.end());
        const OpenOutcome outcome = open(file);
        const std::size_t whole = body.wholePixels[kept];
        ASSERT_LT(whole, 32000u);
        expectRefusedByDecoding(outcome, "ends after " + std::to_string(whole) + " of 32000 pixels");
    }
}

// A file cut at its end: the last 768 bytes that remain are taken as the palette, so the
// body loses one byte for every byte cut; the marker byte 12 counts as the body's last.
TEST_F(HostileInput, FileCutShortOneByteAtATime) {
    Body body = validBody();
    body.literal(12);  // the palette marker, which the decoder takes as a body byte
    const Bytes good = validFile();
    for (std::size_t cut = 1; cut <= 70; ++cut) {
        SCOPED_TRACE("file shorter by " + std::to_string(cut));
        state_ = before_;
        const Bytes file(good.begin(), good.end() - static_cast<std::ptrdiff_t>(cut));
        const OpenOutcome outcome = open(file);
        const std::size_t whole = body.wholePixels[body.bytes.size() - cut];
        if (whole >= 32000) {
            // Only the marker was lost: the picture is whole, its palette shifted by a byte.
            EXPECT_TRUE(outcome.accepted) << outcome.reason;
            EXPECT_EQ(state_.pixelData.size(), whole);
            EXPECT_TRUE(std::equal(state_.pcxPalette.begin(), state_.pcxPalette.end(), file.end() - 768));
        } else {
            expectRefusedByDecoding(outcome, "ends after " + std::to_string(whole) + " of 32000 pixels");
        }
    }
}

// ---------------------------------------------------------------------------------------
// Things that are not readable picture files.

TEST_F(HostileInput, AFolderADeviceOrAMissingFile) {
    for (const auto& [path, reason] : {std::pair{tempDir(), "it is a folder, not a file"},
                                       {std::filesystem::path("/dev/zero"), "not a regular file"},
                                       {tempDir() / "no-such-picture.pcx", "No such file or directory"}}) {
        expectRefused(openFile(path), reason);
        EXPECT_TRUE(contains(lines_.back(), reason)) << lines_.back();
    }
    EXPECT_TRUE(contains(lines_.back(), "no-such-picture.pcx")) << lines_.back();
}

TEST_F(HostileInput, AFileLargerThanAnyPicture) {
    const std::filesystem::path path = writeFile("huge.pcx", validFile());
    std::filesystem::resize_file(path, kMaximumPictureFileSize + 1);  // sparse: costs no disc space
    expectRefused(openFile(path), "larger than any picture");
}

// Runs the open in a child process that has given up root (root reads any file whatever
// its permission bits), and reports through the exit status.
TEST_F(HostileInput, AFileWithoutReadPermission) {
    const std::filesystem::path path = writeFile("locked.pcx", validFile());
    ASSERT_EQ(::chmod(path.c_str(), 0000), 0);
    ASSERT_EQ(::chmod(tempDir().c_str(), 0755), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0) << std::strerror(errno);
    if (child == 0) {
        // Codes: 0 refused as expected, 2 could not drop root, 3 opened anyway,
        // 4 wrong reason, 5 state changed, 6 no log line.
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        if (::access(path.c_str(), R_OK) == 0) ::_exit(3);
        std::vector<std::string> lines;
        ProgramState state = before_;
        const OpenOutcome outcome = openPictureFile(state, path, "locked.pcx", Log([&](std::string_view l) {
                                                        lines.emplace_back(l);
                                                    }));
        if (outcome.accepted) ::_exit(3);
        if (!contains(outcome.reason, "Permission denied")) ::_exit(4);
        if (state.pixelData != before_.pixelData || state.inkBoxes[0].filterColor != before_.inkBoxes[0].filterColor ||
            state.colorSubstitution != before_.colorSubstitution || state.cpcMode != before_.cpcMode)
            ::_exit(5);
        if (lines.empty() || !contains(lines.back(), "Permission denied")) ::_exit(6);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died with signal " << WTERMSIG(status);
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot give up root here (setuid to 65534 failed)";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "see the exit codes in the child's code";
}

// Opening a named pipe must not wait for a writer that never comes.
TEST_F(HostileInput, ANamedPipe) {
    const std::filesystem::path path = tempDir() / "pipe.pcx";
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::alarm(5);  // a blocked open ends the child with SIGALRM
        ProgramState state = before_;
        const OpenOutcome outcome = openPictureFile(state, path, "pipe.pcx", Log());
        ::_exit(!outcome.accepted && contains(outcome.reason, "not a regular file") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_FALSE(WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) << "opening a named pipe blocks";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a named pipe is not refused as \"not a regular file\"";
}

// ---------------------------------------------------------------------------------------
// Bit flips: every bit of the header, and a sample of the body's bits.

// After an accepted file the state must hold a whole, consistent picture that the rest
// of the converter can draw and save.
void expectUsablePicture(const ProgramState& state, const Bytes& file) {
    ASSERT_TRUE(hasPictureOfMode(state));
    const std::size_t target = targetPixelCount(state.cpcMode);
    EXPECT_GE(state.pixelData.size(), target);
    EXPECT_LE(state.pixelData.size(), target + 62);
    EXPECT_EQ(std::accumulate(state.colorUsage.begin(), state.colorUsage.end(), std::size_t{0}),
              state.pixelData.size());
    EXPECT_TRUE(std::equal(state.pcxPalette.begin(), state.pcxPalette.end(), file.end() - 768));
    static PictureArea area;
    drawPicture(state, area, Log());
    Palette_Ok(state, Log());
    const OutputFiles files = buildOutputFiles(state, ScreenLayout::At4000, Log());
    EXPECT_EQ(files.screenFile[128 + 0x7F1], state.cpcMode);
}

TEST_F(HostileInput, EveryHeaderBitFlipped) {
    const Bytes good = validFile();
    ASSERT_TRUE(open(good).accepted);
    const ProgramState afterGood = state_;
    // The fields the check reads: marker, version, encoding, bits per pixel, the picture
    // window, the number of planes, the bytes per line and the palette type's low byte.
    // No single flipped bit in them leaves a picture this converter can take.
    auto checked = [](std::size_t offset) { return offset <= 11 || (offset >= 65 && offset <= 68); };
    for (std::size_t bit = 0; bit < 128 * 8; ++bit) {
        SCOPED_TRACE("header bit " + std::to_string(bit));
        state_ = before_;
        Bytes file = good;
        file[bit / 8] ^= static_cast<Byte>(1u << (bit % 8));
        const OpenOutcome outcome = open(file);
        if (checked(bit / 8)) {
            ASSERT_FALSE(outcome.accepted);
            EXPECT_FALSE(outcome.reason.empty());
            ASSERT_FALSE(lines_.empty());
            EXPECT_TRUE(lines_.back() == "Format de fichier inconnu !!!" || contains(lines_.back(), "File rejected: "))
                << lines_.back();
            expectSameState(state_, before_);
        } else {
            // A field the converter does not read: the same picture as the good file.
            ASSERT_TRUE(outcome.accepted) << outcome.reason;
            expectSameState(state_, afterGood);
        }
        if (::testing::Test::HasFailure()) break;
    }
}

TEST_F(HostileInput, SampledBodyBitsFlipped) {
    const Bytes good = validFile();
    const std::size_t bodyBits = (good.size() - 896) * 8;
    int accepted = 0;
    int refused = 0;
    for (std::size_t bit = 3; bit < bodyBits; bit += 11) {
        SCOPED_TRACE("body bit " + std::to_string(bit));
        state_ = before_;
        Bytes file = good;
        file[128 + bit / 8] ^= static_cast<Byte>(1u << (bit % 8));
        const OpenOutcome outcome = open(file);
        if (outcome.accepted) {
            ++accepted;
            expectUsablePicture(state_, file);
        } else {
            ++refused;
            expectRefusedByDecoding(outcome, "of 32000 pixels");
        }
        if (::testing::Test::HasFailure()) break;
    }
    // A flipped bit can shorten or lengthen runs; both outcomes occur.
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace varnoke
