// File > "Import Picture ...": the settings of an import beside a large preview of what
// the CPC will show. Every change of a setting runs the import session again off the
// interface thread; a result that a newer change has made stale is dropped, and a busy
// bar shows while a run is under way.
#pragma once

#include "import/import_session.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QThreadPool>

#include <array>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QProgressBar;
class QSlider;
class QSpinBox;

namespace varnoke {

class ColorBox;

class ImportDialog : public QDialog {
    Q_OBJECT

public:
    // `fileName` names the picture in the dialog. Line pens are offered where the files
    // are saved at &4000, where their routine shows the picture from.
    ImportDialog(std::shared_ptr<const ImportSession> session, const ImportSettings& settings, const QString& fileName,
                 QWidget* parent, ScreenLayout layout = ScreenLayout::At4000);
    ~ImportDialog() override;

    ImportSettings settings() const;
    // The result shown now, for the settings shown now; nothing while a run is under way.
    std::optional<ImportResult> result() const;
    bool isBusy() const;
    // OK: with the best dithering, its search first, behind a progress bar whose Cancel
    // leaves the dialog as it was.
    void accept() override;

signals:
    // A result was shown (tests and benchmarks wait for it).
    void previewShown();

private:
    void buildSettingsColumn(QWidget* column, const ImportSettings& settings);
    QWidget* buildPreviewColumn();
    void buildFixedColours(QWidget* parent, const ImportSettings& settings);
    QWidget* buildPenRow(QWidget* parent);
    // The line pens' box, with the maximum stated beside it.
    void addLinePensRow(QFormLayout* form, QWidget* column);
    // The strength's slider, its value and whether it is chosen for the picture.
    void addStrengthRow(QFormLayout* form, QWidget* column, const DitherOptions& dither);
    // Every setting's change runs the import again (a change of mode through modeChanged).
    void connectSettings();
    void modeChanged();
    // The line pens' box within what the mode, the pens and the colours they must show
    // allow, its maximum stated beside it; without a signal. The method's box follows.
    void limitLinePens();
    void showSource();
    void showPens(const ImportResult& result);
    void settingsChanged();
    // Takes the settings by value: they may be the waiting ones, which it clears. A run
    // that is not `full` may answer first with the quick search's pens.
    void startRun(ImportSettings settings, bool full = false);
    void runFinished();
    void startMeasure();
    void measureFinished();
    void showResult(const ImportResult& result, bool final = true);
    // The slider and the method's box show the dithering chosen for the picture.
    void showChosenDither(const DitherOptions& chosen);
    // The method the settings take until the user picks one: the mode's, or with line pens
    // the optimising dither (defaultImportDither).
    DitherMethod unpickedMethod() const;
    // The method's box shows it, without a signal.
    void followUnpickedMethod();

    std::shared_ptr<const ImportSession> session_;
    QComboBox* mode_ = nullptr;
    QComboBox* screen_ = nullptr;
    QComboBox* resize_ = nullptr;
    QComboBox* dither_ = nullptr;
    QSlider* strength_ = nullptr;
    QLabel* strengthValue_ = nullptr;
    // Left checked, the strength (and the method, unless the user picked one) is chosen for
    // the picture, as the converter chooses them when it is given neither.
    QCheckBox* chooseDither_ = nullptr;
    QSpinBox* colours_ = nullptr;
    QSpinBox* linePens_ = nullptr;
    QLabel* linePensLimit_ = nullptr;
    ScreenLayout layout_;
    std::array<ColorBox*, kCpcColorCount> fixed_{};
    // The pens of the shown result, with their CPC colours.
    std::array<ColorBox*, 16> pens_{};
    QLabel* source_ = nullptr;
    QLabel* preview_ = nullptr;
    QLabel* quality_ = nullptr;
    QProgressBar* busy_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;

    // Runs and measures each have a thread of their own, so that a run never waits
    // behind a measure.
    QThreadPool runThread_;
    QThreadPool measureThread_;
    // One run at a time; the settings of the latest change wait for it to end, and the
    // result of a run whose settings changed meanwhile is dropped.
    QFutureWatcher<ImportResult> running_;
    // From a run's start until its result is handled: the run's thread may have ended while
    // the watcher's signal still waits in the event queue.
    bool runPending_ = false;
    std::optional<ImportSettings> waiting_;
    // The settings of the run under way.
    ImportSettings runningSettings_;
    std::optional<ImportResult> shown_;
    // The quality measure of the shown result, measured after it is shown, with the
    // number of the change it belongs to.
    QFutureWatcher<std::pair<int, double>> measuring_;
    // A result shown while a measure was under way waits for it to end.
    bool measureWanted_ = false;
    int changes_ = 0;
    // Set once the user picks a method: a change of mode or of line pens then keeps it,
    // where it would otherwise take the new default method.
    bool methodPicked_ = false;
};

}  // namespace varnoke
