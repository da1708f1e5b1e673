// File > "Import Picture ..." through the real window: the dialog's live preview, its
// busy bar and dropped stale results, OK putting the result in as an opened picture that
// saves, Cancel changing nothing, and files given or dropped going to Open or Import.
#include "window_test_support.h"

#include "window/import_dialog.h"
#include "window/window_parts.h"
#include "window/window_settings.h"
#include "workflow/choices.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QProgressDialog>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

using namespace window_test;

namespace {

// A small photo-like picture: smooth gradients in every colour, saved as PNG.
QString writePhoto(const QTemporaryDir& dir) {
    QImage photo(200, 150, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x) photo.setPixel(x, y, qRgb(x * 255 / 199, y * 255 / 149, (x + y) % 256));
    const QString path = dir.filePath(QStringLiteral("photo.png"));
    photo.save(path);
    return path;
}

void waitForPreview(varnoke::ImportDialog& dialog) { QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy(), 60000); }

void changeSettingsWhileRunning(varnoke::ImportDialog& dialog) {
    waitForPreview(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(
        child<QLabel>(dialog, "ImportQuality")->text().contains(QRegularExpression("Quality: \\d")), 60000);
    QCOMPARE(child<QLabel>(dialog, "ImportPreview")->pixmap().size(), QSize(640, 400));
    // A new pen search shows the busy bar; results of settings changed meanwhile are dropped.
    child<QComboBox>(dialog, "ImportMode")->setCurrentIndex(2);
    QVERIFY(dialog.isBusy() && child<QWidget>(dialog, "ImportBusy")->isVisibleTo(&dialog));
    child<QComboBox>(dialog, "ImportDither")->setCurrentIndex(0);
    QTest::mouseClick(child<QWidget>(dialog, "ImportFixed26"), Qt::LeftButton);  // white must be a pen
    child<QComboBox>(dialog, "ImportMode")->setCurrentIndex(1);
    waitForPreview(dialog);
    QCOMPARE(dialog.result()->cpcMode, 1);
    QVERIFY(std::ranges::count(dialog.result()->penColours, 26) == 1);
    QCOMPARE(dialog.settings().dither.method, varnoke::DitherMethod::None);
}

// The dialog's settings for a plain mode 1 import, as the converter's defaults give it.
void chooseMode1Defaults(varnoke::ImportDialog& dialog) {
    child<QComboBox>(dialog, "ImportMode")->setCurrentIndex(1);
    child<QComboBox>(dialog, "ImportScreen")->setCurrentIndex(0);
    child<QComboBox>(dialog, "ImportResize")->setCurrentIndex(0);
    // The strength and method chosen for the picture (a smooth gradient takes more than 75).
    child<QCheckBox>(dialog, "ImportChooseDither")->setChecked(false);
    child<QCheckBox>(dialog, "ImportChooseDither")->setChecked(true);
    child<QSpinBox>(dialog, "ImportColours")->setValue(4);
    for (int n = 0; n < 27; ++n)
        if (const auto* box = child<varnoke::ColorBox>(dialog, QStringLiteral("ImportFixed%1").arg(n).toLatin1());
            box->isThreeD())
            QTest::mouseClick(const_cast<varnoke::ColorBox*>(box), Qt::LeftButton);
    waitForPreview(dialog);
}

// Mode 1 with line pens, after checking the maximum the dialog offers in mode 2, on
// overscan and with colours the pens must show.
void chooseMode1LinePens(varnoke::ImportDialog& dialog, int linePens) {
    chooseMode1Defaults(dialog);
    auto* box = child<QSpinBox>(dialog, "ImportLinePens");
    child<QComboBox>(dialog, "ImportMode")->setCurrentIndex(2);
    QCOMPARE(box->maximum(), 1);
    QCOMPARE(child<QLabel>(dialog, "ImportLinePensLimit")->text(), QStringLiteral("at most 1 in mode 2"));
    child<QComboBox>(dialog, "ImportScreen")->setCurrentIndex(1);
    QVERIFY(!box->isEnabled());
    child<QComboBox>(dialog, "ImportScreen")->setCurrentIndex(0);
    child<QComboBox>(dialog, "ImportMode")->setCurrentIndex(1);
    // Each colour the pens must show keeps a pen fixed: two ticked, then freed again.
    for (const int maximum : {2, 3}) {
        for (const char* fixed : {"ImportFixed0", "ImportFixed26"})
            QTest::mouseClick(child<QWidget>(dialog, fixed), Qt::LeftButton);
        QCOMPARE(box->maximum(), maximum);
    }
    box->setValue(linePens);
    // Left to choose, line pens take the search, which OK runs; without, the mode's method.
    QCOMPARE(child<QComboBox>(dialog, "ImportDither")->currentText(),
             QString::fromLatin1(linePens > 0 ? varnoke::ditherChoice(varnoke::DitherMethod::Best).label
                                              : "Floyd-Steinberg"));
    waitForPreview(dialog);
    QCOMPARE(dialog.result()->linePens.size(), static_cast<std::size_t>(linePens));
}

void followTheMode(varnoke::ImportDialog& dialog) {
    auto* methods = child<QComboBox>(dialog, "ImportDither");
    auto* mode = child<QComboBox>(dialog, "ImportMode");
    auto* pens = child<QSpinBox>(dialog, "ImportColours");
    QCOMPARE(methods->count(), static_cast<int>(varnoke::kDitherChoices.size()));
    for (int i = 0; i < methods->count(); ++i)
        QCOMPARE(methods->itemText(i), QString::fromLatin1(varnoke::kDitherChoices[static_cast<std::size_t>(i)].label));
    mode->setCurrentIndex(0);
    QCOMPARE(methods->currentText(), QStringLiteral("Floyd-Steinberg"));
    QCOMPARE(pens->maximum(), 16);
    mode->setCurrentIndex(2);
    QCOMPARE(methods->currentText(), QStringLiteral("Sierra"));
    QCOMPARE(pens->minimum(), 1);
    QCOMPARE(pens->value(), 2);
    methods->setCurrentIndex(2);  // the user picks Atkinson
    mode->setCurrentIndex(0);
    QCOMPARE(methods->currentText(), QStringLiteral("Atkinson"));
    QCOMPARE(pens->value(), 16);
    QVERIFY(dialog.windowTitle().contains(QStringLiteral("photo.png")));
    waitForPreview(dialog);
}

// With the best dithering the preview shows its start while the settings change; OK
// searches behind a progress bar, whose Cancel leaves the dialog's result as it was.
void searchForTheBest(varnoke::ImportDialog& dialog) {
    child<QComboBox>(dialog, "ImportMode")->setCurrentIndex(0);
    child<QSpinBox>(dialog, "ImportColours")->setValue(16);
    auto* methods = child<QComboBox>(dialog, "ImportDither");
    methods->setCurrentIndex(methods->count() - 1);
    QCOMPARE(dialog.settings().dither.method, varnoke::DitherMethod::Best);
    waitForPreview(dialog);
    const std::optional<varnoke::ImportResult> before = dialog.result();
    QVERIFY(before);
    QTimer::singleShot(
        50, &dialog, [&dialog] { dialog.findChild<QProgressDialog*>(QStringLiteral("ImportBestProgress"))->cancel(); });
    dialog.accept();
    QCOMPARE(dialog.result()->penOfPixel, before->penOfPixel);
    QCOMPARE(dialog.result()->penColours, before->penColours);
    // To the end this time. How far the search gets depends on its time budget and the
    // machine's load, so only a whole result is asked for here; the import tests check
    // what the search finds.
    dialog.accept();
    QVERIFY(dialog.result() && dialog.result()->penOfPixel.size() == before->penOfPixel.size());
}

}  // namespace

class WindowImportTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(dir.isValid());
        form = makeForm();
        photo = writePhoto(dir);
    }
    void cleanup() { form.reset(); }

    void okPutsTheLivePreviewIntoTheWindowAsAnOpenedPicture() {
        form->setImportChooser([this] { return std::optional<QString>(photo); });
        std::optional<varnoke::ImportResult> accepted;
        form->setImportRunner([&accepted](varnoke::ImportDialog& dialog) {
            changeSettingsWhileRunning(dialog);
            accepted = dialog.result();
            return !QTest::currentTestFailed() && accepted.has_value();
        });
        QTest::keyClick(form.get(), Qt::Key_I, Qt::ControlModifier);
        QVERIFY(accepted);
        QCOMPARE(logLines(*form).mid(1, 3),
                 (QStringList{
                     photo, "Thresholds back to 21 and 41, every colour shown as itself: the picture shows as imported",
                     "- Importing Picture ..."}));
        QCOMPARE(logLines(*form).last(), QStringLiteral("- Picture Ready"));
        QCOMPARE(label(*form, "LabelMode")->text(), QStringLiteral("1"));
        QCOMPARE(varnoke::WindowSettings().lastImport().cpcMode, 1);
        saveThroughMenu(*form, dir.filePath(QStringLiteral("photo.scr")));
        QCOMPARE(logLines(*form).last(), QStringLiteral("Saving Ok ... "));
    }

    // Overscan: the dialog's preview is the whole display shrunk into its 640 × 400; the
    // window shows the whole picture shrunk at its first size; the save writes its file.
    void anOverscanImportFillsTheWindowAndSavesItsFile() {
        form->setImportChooser([this] { return std::optional<QString>(photo); });
        QSize preview;
        form->setImportRunner([&preview](varnoke::ImportDialog& dialog) {
            child<QComboBox>(dialog, "ImportScreen")->setCurrentIndex(1);
            waitForPreview(dialog);
            preview = child<QLabel>(dialog, "ImportPreview")->pixmap().size();
            return !QTest::currentTestFailed();
        });
        QTest::keyClick(form.get(), Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(preview, QSize(577, 400));  // 832 × 400 / 576 = 577.8
        QCOMPARE(picture(*form).size(), QSize(768, 544));
        QCOMPARE(varnoke::WindowSettings().lastImport().screen, varnoke::ScreenFormat::Overscan);
        saveThroughMenu(*form, dir.filePath(QStringLiteral("full.scr")));
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("full.scr"))).size(), 32768);
    }

    // The import shows what its preview showed, whatever the previous picture's
    // thresholds and colours were: the same bytes as the converter's plain import, with
    // the dithering chosen for the picture (in mode 0 not the fixed default's).
    void anImportAfterEditsSavesTheConvertersBytes() {
        form->setImportRunner([](varnoke::ImportDialog& dialog) {
            chooseMode1Defaults(dialog);
            child<QComboBox>(dialog, "ImportMode")->setCurrentIndex(0);
            waitForPreview(dialog);
            return !QTest::currentTestFailed();
        });
        // The second import's pens are the first's, so the edited colour is among them.
        form->importPicture(photo);
        clickInk(*form, 0);
        clickCpcColor(*form, 6);
        bar(*form, "TSLow")->setValue(33);
        form->importPicture(photo);
        QCOMPARE(form->state().thresholdLow, 21);
        const QString saved = dir.filePath(QStringLiteral("window.scr"));
        saveThroughMenu(*form, saved);
        const QString converted = dir.filePath(QStringLiteral("converted"));
        QCOMPARE(
            run(QStringLiteral(VARNOKE_CONVERTER), {QStringLiteral("--mode"), QStringLiteral("0"), photo, converted}),
            QString());
        QCOMPARE(readFile(saved), readFile(converted + QStringLiteral(".scr")));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("window.pal"))), readFile(converted + QStringLiteral(".pal")));
    }

    // Line pens: the dialog offers the mode's maximum, none on overscan; the window saves
    // the converter's files, screen, raster file and disc alike, and disables what gives
    // a pen one colour until a picture without line pens comes in.
    void aLinePenImportSavesTheConvertersFilesAndDisablesOneColourControls() {
        int linePens = 2;
        QImage preview;
        QString methodShown;
        form->setImportRunner([&linePens, &preview, &methodShown](varnoke::ImportDialog& dialog) {
            methodShown = child<QComboBox>(dialog, "ImportDither")->currentText();
            chooseMode1LinePens(dialog, linePens);
            dialog.accept();
            preview = child<QLabel>(dialog, "ImportPreview")->pixmap().toImage();
            return !QTest::currentTestFailed();
        });
        form->importPicture(photo);
        QVERIFY(!bar(*form, "TSLow")->isEnabled() && !child<QWidget>(*form, "CPC_color6")->isEnabled());
        QCOMPARE(child<QWidget>(*form, "TEHigh")->toolTip(), varnoke::kLinePenThresholdTip);
        QCOMPARE(child<QAction>(*form, "FitPaletteMenu")->toolTip(), varnoke::kLinePenPaletteTip);
        const QString disc = dir.filePath(QStringLiteral("window.dsk"));
        saveThroughMenu(*form, dir.filePath(QStringLiteral("window.scr")));
        saveToDiscThroughMenu(*form, disc);
        QCOMPARE(notices(*form), QStringList());
        const QString converted = dir.filePath(QStringLiteral("photo"));
        QCOMPARE(
            run(QStringLiteral(VARNOKE_CONVERTER), {"--mode", "1", "--line-pens", "2", "--dsk",
                                                    dir.filePath(QStringLiteral("converted.dsk")), photo, converted}),
            QString());
        for (const char* extension : {".scr", ".ras"})
            QCOMPARE(readFile(dir.filePath(QStringLiteral("window")) + extension), readFile(converted + extension));
        QCOMPARE(readFile(disc), readFile(dir.filePath(QStringLiteral("converted.dsk"))));
        // The dialog's preview and the window show what the converter draws from the files,
        // line by line (mode 1: one window pixel for each 2 × 2 of the CPC's preview).
        const QString shownFiles = dir.filePath(QStringLiteral("shown.png"));
        QCOMPARE(run(QStringLiteral(VARNOKE_CONVERTER), {"--show", converted + ".scr", shownFiles}), QString());
        const QImage drawn(shownFiles);
        auto drawnAlike = [&drawn](const QImage& image, int scale) {
            for (int y = 0; y < 400 / scale; ++y)
                for (int x = 0; x < 640 / scale; ++x)
                    if (image.pixel(x, y) != drawn.pixel(scale * x, scale * y)) return false;
            return true;
        };
        QVERIFY(drawnAlike(preview, 1));
        QVERIFY(drawnAlike(picture(*form), 2));

        linePens = 0;
        form->importPicture(photo);
        // Opened again with the line pens remembered, the dialog shows the search it runs.
        QCOMPARE(methodShown, QString::fromLatin1(varnoke::ditherChoice(varnoke::DitherMethod::Best).label));
        QVERIFY(bar(*form, "TSLow")->isEnabled() && child<QWidget>(*form, "CPC_color6")->isEnabled());
        QCOMPARE(child<QWidget>(*form, "TSLow")->toolTip(), varnoke::kLowBarTip);
        QVERIFY(child<QAction>(*form, "FitPaletteMenu")->isEnabled());
    }

    // The method list is the converter's table; a change of mode takes the mode's default
    // method until the user picks one, and the pens box counts the mode's pens. The best
    // dithering searches on OK, whose Cancel keeps the previous result. Cancelling the
    // dialog changes nothing in the window.
    void theDialogFollowsTheModeSearchesOnOkAndCancelChangesNothing() {
        openThroughMenu(*form, samplePath("sunset-mode0.pcx"));
        const QStringList log = logLines(*form);
        const QImage shown = picture(*form);
        form->setImportRunner([](varnoke::ImportDialog& dialog) {
            followTheMode(dialog);
            searchForTheBest(dialog);
            return false;
        });
        form->importPicture(photo);
        QCOMPARE(logLines(*form), log);
        QCOMPARE(picture(*form), shown);
    }

    void givenFilesGoToOpenWhenItTakesThemAndToImportOtherwise() {
        int imports = 0;
        form->setImportRunner([&imports](varnoke::ImportDialog&) { return ++imports, false; });
        dropFile(*form, samplePath("sunset-mode0.pcx"));
        QCOMPARE(imports, 0);
        QCOMPARE(logLines(*form).mid(1, 1), QStringList{samplePath("sunset-mode0.pcx")});
        QCOMPARE(label(*form, "LabelMode")->text(), QStringLiteral("0"));
        dropFile(*form, photo);
        QCOMPARE(imports, 1);

        // A file that no decoder takes is refused with its reason; the picture stays.
        const QString text = dir.filePath(QStringLiteral("notes.txt"));
        QVERIFY(QFile::copy(QStringLiteral(__FILE__), text));
        form->openGivenFile(text);
        QCOMPARE(imports, 1);
        QVERIFY(logLines(*form).last().startsWith(QStringLiteral("Picture not imported: ")));
        QVERIFY(logLines(*form).last().endsWith(QStringLiteral("; the picture already loaded is kept")));
    }

private:
    QTemporaryDir dir;
    QString photo;
    std::unique_ptr<TMainForm> form;
};

QTEST_MAIN(WindowImportTest)
#include "window_import_test.moc"
