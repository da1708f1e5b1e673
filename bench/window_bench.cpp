// The window's user actions, timed on the real window as the user drives it: a move of
// the Low threshold bar (palette rebuilt, pens and picture redrawn) and a colour pick
// (a click on a CPC colour box for the selected pen: the same rebuild and redraw). Each
// iteration ends with the window painted, so that painting is counted: either the whole
// window (repaint(), every control) or only what the action marked for repainting, as
// the event loop would paint it for the next screen refresh.
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "bench_pictures.h"

#include "import/import_session.h"
#include "main/file_access.h"
#include "window/import_dialog.h"
#include "window/main_form.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>

namespace varnoke::bench {
namespace {

namespace fs = std::filesystem;

// A 200-line picture of the mode, a palette of 256 different colours and no runs: every
// pixel is drawn in one of up to 27 colours.
fs::path pictureFile(Byte mode) {
    static const fs::path folder = [] {
        const fs::path path = fs::temp_directory_path() / ("varnoke-window-bench-" + std::to_string(::getpid()));
        fs::create_directories(path);
        return path;
    }();
    const fs::path path = folder / ("mode" + std::to_string(mode) + ".pcx");
    if (!fs::exists(path)) writeFile(path, makePcxFile(mode, BodyKind::Incompressible, PaletteKind::Rich));
    return path;
}

void removePictureFiles() {
    std::error_code ignored;
    fs::remove_all(pictureFile(0).parent_path(), ignored);
}

// One window per mode, shown, with its picture open; closed before the application ends.
std::map<Byte, std::unique_ptr<TMainForm>> windows;

TMainForm& windowWithPicture(Byte mode) {
    std::unique_ptr<TMainForm>& window = windows[mode];
    if (!window) {
        window = std::make_unique<TMainForm>(ScreenLayout::At4000);
        window->show();
        window->openPicture(QString::fromStdString(pictureFile(mode).string()));
        if (window->state().cpcMode != mode) throw std::runtime_error("the benchmark picture was not opened");
        QApplication::processEvents();
    }
    return *window;
}

template <typename Child>
Child* child(TMainForm& window, const char* name) {
    Child* found = window.findChild<Child*>(QString::fromLatin1(name));
    if (found == nullptr) throw std::runtime_error(std::string("the window has no ") + name);
    return found;
}

enum class Painting { WholeWindow, MarkedParts };

void paint(TMainForm& window, Painting painting) {
    if (painting == Painting::WholeWindow)
        window.repaint();
    else
        QApplication::processEvents();  // paints what update() marked, and flushes it
}

// Each iteration moves the Low bar one step, as its arrow gives (down, then back up), and
// paints.
void moveLowBarEachIteration(benchmark::State& state, TMainForm& window, Painting painting) {
    QScrollBar* low = child<QScrollBar>(window, "TSLow");
    int position = low->value();
    for (auto _ : state) {
        position = position == 21 ? 20 : 21;
        low->setValue(position);
        paint(window, painting);
    }
}

// Args: mode; whole (1: repaint the whole window, 0: only the parts marked).
void BM_ThresholdMove(benchmark::State& state) {
    const auto mode = static_cast<Byte>(state.range(0));
    const Painting painting = state.range(1) != 0 ? Painting::WholeWindow : Painting::MarkedParts;
    moveLowBarEachIteration(state, windowWithPicture(mode), painting);
}
BENCHMARK(BM_ThresholdMove)
    ->ArgNames({"mode", "whole"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// Args: mode; whole. Pen 0 is picked once; then each iteration clicks a CPC colour box,
// alternately giving pen 0's filter colour CPC colour 26 and colour 0.
void BM_ColourPick(benchmark::State& state) {
    const auto mode = static_cast<Byte>(state.range(0));
    const Painting painting = state.range(1) != 0 ? Painting::WholeWindow : Painting::MarkedParts;
    TMainForm& window = windowWithPicture(mode);
    QTest::mouseClick(child<QWidget>(window, "Ink0"), Qt::LeftButton);
    QWidget* boxes[2] = {child<QWidget>(window, "CPC_color26"), child<QWidget>(window, "CPC_color0")};
    std::size_t next = 0;
    for (auto _ : state) {
        QTest::mouseClick(boxes[next], Qt::LeftButton);
        next ^= 1;
        paint(window, painting);
    }
}
BENCHMARK(BM_ColourPick)
    ->ArgNames({"mode", "whole"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// Args: mode 1; whole. The Low bar moved by one step in a window enlarged to 1235 × 973
// (the picture shown three times over, 960 × 600).
void BM_ThresholdMoveEnlarged(benchmark::State& state) {
    const Painting painting = state.range(0) != 0 ? Painting::WholeWindow : Painting::MarkedParts;
    TMainForm& window = windowWithPicture(1);
    const QSize first = window.size();
    window.resize(first + QSize(560, 330));
    QApplication::processEvents();
    moveLowBarEachIteration(state, window, painting);
    window.resize(first);
    QApplication::processEvents();
}
BENCHMARK(BM_ThresholdMoveEnlarged)->ArgNames({"whole"})->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The README's 2560 × 1600 garden photo, decoded as the import dialog's session keeps it.
ImportSession gardenPhoto() {
    const Expected<std::vector<Byte>> file =
        readWholeFile(VARNOKE_SOURCE_DIR "/docs/import/garden-photo.jpg", 64u * 1024 * 1024);
    if (!file) throw std::runtime_error(file.reason());
    DecodeOptions options;
    options.minimumSide = kImportMinimumSide;
    Expected<ImportSession> session = ImportSession::open(file.value(), options);
    if (!session) throw std::runtime_error(session.reason());
    return std::move(session.value());
}

// The import dialog's preview after a change of the dithering strength in mode 1, from
// the change to the new preview drawn: the session runs off the interface thread and the
// dialog shows its result. Args: cached. 0: each iteration asks for a strength not asked
// for before in this run, so the session dithers again with the pens it already chose
// (the pens depend only on whether the picture is dithered at all). 1: the strength goes
// back and forth between two strengths already shown, so the session's cache answers and
// only the dialog's own work is timed.
// The photo is the README's 2560 × 1600 garden, decoded once before the timing.
void BM_ImportDitherChange(benchmark::State& state) {
    const bool cached = state.range(0) != 0;
    ImportSession session = gardenPhoto();
    ImportSettings settings;
    settings.cpcMode = 1;
    settings.dither.strength = 100;
    ImportDialog dialog(std::make_shared<const ImportSession>(std::move(session)), settings, QStringLiteral("bench"),
                        nullptr);
    dialog.show();
    auto waitForPreview = [&dialog] {
        while (dialog.isBusy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QApplication::processEvents();  // paints the new preview
    };
    waitForPreview();
    auto* strength = dialog.findChild<QSlider*>(QStringLiteral("ImportStrength"));
    if (cached) {
        strength->setValue(99);
        waitForPreview();
    }
    int next = 0;
    for (auto _ : state) {
        strength->setValue(cached ? 99 + (next & 1) : 1 + next % 98);
        ++next;
        waitForPreview();
    }
}
BENCHMARK(BM_ImportDitherChange)
    ->ArgNames({"cached"})
    ->Arg(0)
    ->Arg(1)
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// A change that needs a new pen search, from the change to the first preview drawn (the
// quick score's pens; the full search follows and replaces them: its time from the change
// is the counter full_ms): kind 0 the
// resize rule (to Fit), 1 the number of pens (one fewer), 2 a fixed colour (bright white),
// 3 dithering off, 4 the mode (to the benchmark's mode from the other of 0 and 1), 5 the
// screen (to overscan: a new, larger grid), 6 the mode's most line pens. Each
// iteration has a dialog and a session of its own, so nothing but the decoded photo is
// known before the change.
void BM_ImportPenSearchChange(benchmark::State& state) {
    const int kind = static_cast<int>(state.range(0));
    const auto mode = static_cast<Byte>(state.range(1));
    const LinearImage photo = gardenPhoto().source();
    // The dialog of an iteration is closed in the next one's untimed part: closing waits for
    // the measure of the full answer, which is no part of the change.
    std::unique_ptr<ImportDialog> open;
    double fullAnswer = 0;
    for (auto _ : state) {
        state.PauseTiming();
        open.reset();
        ImportSettings settings;
        settings.cpcMode = kind == 4 ? static_cast<Byte>(1 - mode) : mode;
        settings.dither.method = defaultDither(settings.cpcMode);
        open = std::make_unique<ImportDialog>(std::make_shared<const ImportSession>(LinearImage(photo)), settings,
                                              QStringLiteral("bench"), nullptr);
        ImportDialog& dialog = *open;
        dialog.show();
        // The first preview and its quality measure, which would otherwise share the cores.
        const auto* quality = dialog.findChild<QLabel*>(QStringLiteral("ImportQuality"));
        while (dialog.isBusy() || quality->text().contains(QStringLiteral("measuring")))
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QApplication::processEvents();
        bool shown = false;
        QObject::connect(&dialog, &ImportDialog::previewShown, [&shown] { shown = true; });
        state.ResumeTiming();
        const auto changed = std::chrono::steady_clock::now();
        switch (kind) {
            case 0: dialog.findChild<QComboBox*>(QStringLiteral("ImportResize"))->setCurrentIndex(1); break;
            case 1: {
                auto* pens = dialog.findChild<QSpinBox*>(QStringLiteral("ImportColours"));
                pens->setValue(pens->maximum() - 1);
                break;
            }
            case 2:
                QTest::mouseClick(dialog.findChild<QWidget*>(QStringLiteral("ImportFixed26")), Qt::LeftButton);
                break;
            case 3: dialog.findChild<QComboBox*>(QStringLiteral("ImportDither"))->setCurrentIndex(0); break;
            case 4: dialog.findChild<QComboBox*>(QStringLiteral("ImportMode"))->setCurrentIndex(mode); break;
            case 5: dialog.findChild<QComboBox*>(QStringLiteral("ImportScreen"))->setCurrentIndex(1); break;
            default: {
                auto* linePens = dialog.findChild<QSpinBox*>(QStringLiteral("ImportLinePens"));
                linePens->setValue(linePens->maximum());
                break;
            }
        }
        while (!shown) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QApplication::processEvents();  // paints the new preview
        state.PauseTiming();
        while (dialog.isBusy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        fullAnswer += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - changed).count();
        state.ResumeTiming();
    }
    open.reset();
    // From the change to the full search's answer shown, untimed above.
    state.counters["full_ms"] = benchmark::Counter(fullAnswer, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ImportPenSearchChange)
    ->ArgNames({"kind", "mode"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {0, 1}})
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Picking an Ink box only selects a pen: its box's border changes.
void BM_PenPick(benchmark::State& state) {
    TMainForm& window = windowWithPicture(1);
    QWidget* boxes[2] = {child<QWidget>(window, "Ink0"), child<QWidget>(window, "Ink1")};
    std::size_t next = 0;
    for (auto _ : state) {
        QTest::mouseClick(boxes[next], Qt::LeftButton);
        next ^= 1;
        paint(window, Painting::MarkedParts);
    }
}
BENCHMARK(BM_PenPick)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

// For main: the windows must go before the application does.
void closeWindows() { windows.clear(); }

}  // namespace varnoke::bench

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    varnoke::bench::closeWindows();
    varnoke::bench::removePictureFiles();
    return 0;
}
