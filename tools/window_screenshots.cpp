// Takes the screenshots of the window that the README shows, as a user would see them:
// the import dialog with a photo in modes 0 and 1, the enlarged window, and a refused
// save. Run it on a real display (scripts/screenshots runs it under Xvfb):
//
//   varnoke-window-screenshots OUTPUT_FOLDER
#include "window/import_dialog.h"
#include "window/main_form.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QSettings>
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
    return saved;
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

    TMainForm refused(varnoke::ScreenLayout::At4000);
    refused.show();
    refused.openPicture(QStringLiteral(VARNOKE_SOURCE_DIR "/samples/sunset-mode1-six-colours.pcx"));
    refused.savePicture(settings.filePath(QStringLiteral("six.scr")));
    saved = save(refused, out.filePath(QStringLiteral("window-refused-save.png"))) && saved;
    return saved ? 0 : 1;
}
