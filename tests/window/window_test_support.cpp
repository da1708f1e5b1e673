#include "window_test_support.h"

#include "support/test_support.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace window_test {

std::unique_ptr<TMainForm> makeForm(varnoke::ScreenLayout layout) {
    // The window's remembered settings go to a folder of the test's own, never the user's.
    static QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    auto form = std::make_unique<TMainForm>(layout);
    form->setOpenChooser([] { return std::optional<QString>(); });
    form->setSaveChooser([] { return std::optional<QString>(); });
    form->setDiscChooser([] { return std::optional<QString>(); });
    // The disc save takes the proposed name and replaces files of that name.
    form->setDiscNameChooser([](const QString& proposal) { return std::optional<QString>(proposal); });
    form->setReplaceQuestion([](const QString&) { return true; });
    // What the window tells the user is kept on it, as "title: text", for the test to read.
    form->setNotice([window = form.get()](const QString& title, const QString& text) {
        window->setProperty("notices", window->property("notices").toStringList()
                                           << title + QStringLiteral(": ") + text);
    });
    form->setImportQuestion([](const QString&) { return false; });
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get())) qWarning("the window was not exposed");
    return form;
}

QStringList notices(const TMainForm& form) { return form.property("notices").toStringList(); }

QString samplePath(const char* name) { return QStringLiteral(VARNOKE_SAMPLES_DIR "/") + QString::fromLatin1(name); }

namespace {

std::optional<QString> answer(const QString& path) { return path.isEmpty() ? std::nullopt : std::optional(path); }

void clickBoxOfRow(TMainForm& form, const char* row, int k) {
    auto* group = child<QGroupBox>(form, row);
    const QPoint centre = group->mapTo(&form, QPoint(7 + 16 * k + 7, 16 + 8));
    QWidget* target = form.childAt(centre);
    if (target == nullptr) qFatal("nothing at box %d of %s", k, row);
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(&form, centre));
}

}  // namespace

void trigger(TMainForm& form, const char* name) {
    auto* item = child<QAction>(form, name);
    if (item == nullptr) qFatal("no action %s", name);
    item->trigger();
}

void openThroughMenu(TMainForm& form, const QString& path) {
    form.setOpenChooser([path] { return answer(path); });
    trigger(form, "OpenFileMenu");
}

void saveThroughMenu(TMainForm& form, const QString& path) {
    form.setSaveChooser([path] { return answer(path); });
    trigger(form, "SaveFileMenu");
}

void saveToDiscThroughMenu(TMainForm& form, const QString& disc) {
    form.setDiscChooser([disc] { return answer(disc); });
    trigger(form, "SaveDiscMenu");
}

QStringList logLines(const TMainForm& form) {
    return child<QPlainTextEdit>(form, "Debug")->toPlainText().split(QLatin1Char('\n'));
}

QStringList linesSince(const TMainForm& form, qsizetype before) { return logLines(form).mid(before); }

varnoke::ColorBox* inkBox(const TMainForm& form, int pen) {
    return form.findChild<varnoke::ColorBox*>(QStringLiteral("Ink%1").arg(pen));
}

void clickInk(TMainForm& form, int pen) { clickBoxOfRow(form, "GBEncres", pen); }
void clickCpcColor(TMainForm& form, int color) { clickBoxOfRow(form, "GB_Couleurs_CPC", color); }

void dropFile(TMainForm& form, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint centre(form.width() / 2, form.height() / 2);
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&form, &enter);
    if (!enter.isAccepted()) qWarning("the window refused to take %s", qPrintable(path));
    QDropEvent drop(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&form, &drop);
}

QImage picture(const TMainForm& form) { return child<varnoke::PictureView>(form, "Image")->image(); }

QColor displayColor(int cpcColor) {
    const varnoke::test::Rgb3 rgb = varnoke::test::displayRgb(cpcColor);
    return QColor(rgb[0], rgb[1], rgb[2]);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

}  // namespace window_test
