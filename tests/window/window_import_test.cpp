// File > "Import Picture ..." through the real window: the dialog's live preview, its
// busy bar and dropped stale results, OK putting the result in as an opened picture that
// saves, Cancel changing nothing, and files given or dropped going to Open or Import.
#include "window_test_support.h"

#include "window/import_dialog.h"
#include "window/window_settings.h"

#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

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
    child<QComboBox>(dialog, "ImportMode")->setCurrentIndex(1);
    waitForPreview(dialog);
    QCOMPARE(dialog.result()->cpcMode, 1);
    QCOMPARE(dialog.settings().dither.method, varnoke::DitherMethod::None);
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
        QCOMPARE(logLines(*form).mid(1, 2), (QStringList{photo, "- Importing Picture ..."}));
        QCOMPARE(logLines(*form).last(), QStringLiteral("- Picture Ready"));
        QCOMPARE(label(*form, "LabelMode")->text(), QStringLiteral("1"));
        for (int pen = 0; pen < 27 && !inkBox(*form, pen)->text().isEmpty(); ++pen)
            QVERIFY(std::ranges::count(accepted->penColours, inkBox(*form, pen)->text().toInt()) > 0);
        QCOMPARE(varnoke::WindowSettings().lastImport().cpcMode, 1);
        saveThroughMenu(*form, dir.filePath(QStringLiteral("photo.scr")));
        QCOMPARE(logLines(*form).last(), QStringLiteral("Saving Ok ... "));
    }

    void cancelChangesNothing() {
        openThroughMenu(*form, samplePath("sunset-mode0.pcx"));
        const QStringList log = logLines(*form);
        const QImage shown = picture(*form);
        form->setImportRunner([](varnoke::ImportDialog& dialog) {
            waitForPreview(dialog);
            return false;
        });
        form->importPicture(photo);
        QCOMPARE(logLines(*form), log);
        QCOMPARE(picture(*form), shown);
        QCOMPARE(form->state().cpcMode, 0);
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
