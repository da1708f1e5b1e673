// Takes the screenshots of the window that the README shows, as a user would see them:
// the import dialog with a photo in modes 0 and 1, with line pens, the enlarged window,
// and a refused save. Run it on a real display (scripts/screenshots runs it under Xvfb):
//
//   varnoke-window-screenshots OUTPUT_FOLDER
#include "window/import_dialog.h"
#include "window/main_form.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

bool save(QWidget& widget, const QString& path) {
    QTest::qWait(300);  // let the window system finish drawing
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// Waits for the preview and its quality measure.
void settle(varnoke::ImportDialog& dialog) {
    auto* quality = dialog.findChild<QLabel*>(QStringLiteral("ImportQuality"));
    const bool settled = QTest::qWaitFor(
        [&] {
            return !dialog.isBusy() && quality->text().contains(QStringLiteral(": ")) &&
                   !quality->text().contains(QStringLiteral("measuring"));
        },
        60000);
    if (!settled) std::fprintf(stderr, "the import preview did not settle in a minute\n");
}

// A window with a message box over it, as the screen shows them together.
bool saveWithMessage(QWidget& window, const QString& title, const QString& text, QMessageBox::Icon icon,
                     const QString& path) {
    QMessageBox box(icon, title, text,
                    icon == QMessageBox::Question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, &window);
    box.show();
    QTest::qWait(300);
    QImage shot = window.grab().toImage();
    QPainter painter(&shot);
    painter.drawPixmap(box.geometry().topLeft() - window.geometry().topLeft(), box.grab());
    painter.end();
    const bool saved = shot.save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

bool shootImport(TMainForm& form, const QDir& out) {
    bool saved = true;
    form.setImportRunner([&](varnoke::ImportDialog& dialog) {
        dialog.show();
        for (const int mode : {0, 1}) {
            dialog.findChild<QComboBox*>(QStringLiteral("ImportMode"))->setCurrentIndex(mode);
            settle(dialog);
            saved = save(dialog, out.filePath(QStringLiteral("import-mode%1.png").arg(mode))) && saved;
        }
        return true;
    });
    form.importPicture(QStringLiteral(VARNOKE_SOURCE_DIR "/docs/import/garden-photo.jpg"));

    // A square part of the photo with Fit and two colours the pens must show: the border
    // drawn on the source, the colours ticked.
    const QString square = out.filePath(QStringLiteral("square.png"));
    QImage(QStringLiteral(VARNOKE_SOURCE_DIR "/docs/import/garden-photo.jpg")).copy(200, 0, 400, 400).save(square);
    form.setImportRunner([&](varnoke::ImportDialog& dialog) {
        dialog.show();
        dialog.findChild<QComboBox*>(QStringLiteral("ImportMode"))->setCurrentIndex(0);
        dialog.findChild<QComboBox*>(QStringLiteral("ImportResize"))->setCurrentIndex(1);
        for (const char* fixed : {"ImportFixed0", "ImportFixed26"})
            QTest::mouseClick(dialog.findChild<QWidget*>(QString::fromLatin1(fixed)), Qt::LeftButton);
        settle(dialog);
        saved = save(dialog, out.filePath(QStringLiteral("import-fit.png"))) && saved;
        return false;
    });
    form.importPicture(square);
    QFile::remove(square);
    return saved;
}

// The import dialog with a mode, screen (index) and line pens, then the window that its
// picture comes into after OK, each saved.
struct ImportChoice {
    int mode;
    int screen;
    int linePens;
};

bool shootImported(const QDir& out, ImportChoice choice, const QString& dialogShot, const QString& windowShot) {
    TMainForm form(varnoke::ScreenLayout::At4000);
    form.show();
    bool saved = true;
    form.setImportRunner([&](varnoke::ImportDialog& dialog) {
        dialog.show();
        dialog.findChild<QComboBox*>(QStringLiteral("ImportMode"))->setCurrentIndex(choice.mode);
        dialog.findChild<QComboBox*>(QStringLiteral("ImportScreen"))->setCurrentIndex(choice.screen);
        if (choice.linePens > 0)
            dialog.findChild<QSpinBox*>(QStringLiteral("ImportLinePens"))->setValue(choice.linePens);
        settle(dialog);
        saved = save(dialog, out.filePath(dialogShot));
        dialog.accept();  // as OK does: with line pens, the search
        return true;
    });
    form.importPicture(QStringLiteral(VARNOKE_SOURCE_DIR "/docs/import/garden-photo.jpg"));
    return save(form, out.filePath(windowShot)) && saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: varnoke-window-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

    TMainForm form(varnoke::ScreenLayout::At4000);
    form.show();
    bool saved = shootImport(form, out);
    form.resize(form.size() + QSize(560, 330));
    saved = save(form, out.filePath(QStringLiteral("window-enlarged.png"))) && saved;

    // An overscan import in the window at its first size: the whole display, shrunk to fit.
    saved =
        shootImported(out, {0, 1, 0}, QStringLiteral("import-overscan.png"), QStringLiteral("window-overscan.png")) &&
        saved;
    // Mode 1 with three line pens: the dialog, then the window with its one-colour
    // controls disabled.
    saved =
        shootImported(out, {1, 0, 3}, QStringLiteral("import-line-pens.png"), QStringLiteral("window-line-pens.png")) &&
        saved;

    TMainForm refused(varnoke::ScreenLayout::At4000);
    refused.show();
    refused.setNotice([&](const QString& title, const QString& text) {
        saved = saveWithMessage(refused, title, text, QMessageBox::Warning,
                                out.filePath(QStringLiteral("window-refused-save.png"))) &&
                saved;
    });
    refused.openPicture(QStringLiteral(VARNOKE_SOURCE_DIR "/samples/sunset-mode1-six-colours.pcx"));
    refused.savePicture(settings.filePath(QStringLiteral("six.scr")));

    // Open given a photo: its log lines, then the offer to import it.
    TMainForm offered(varnoke::ScreenLayout::At4000);
    offered.show();
    offered.setImportQuestion([&](const QString& question) {
        saved = saveWithMessage(offered, QStringLiteral("Open File"), question, QMessageBox::Question,
                                out.filePath(QStringLiteral("window-open-offers-import.png"))) &&
                saved;
        return false;
    });
    offered.openPicture(QStringLiteral(VARNOKE_SOURCE_DIR "/docs/import/garden-photo.jpg"));
    return saved ? 0 : 1;
}
