#include "window_test_support.h"

#include "support/test_support.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QMimeData>
#include <QPlainTextEdit>
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
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get())) qWarning("the window was not exposed");
    return form;
}

QString samplePath(const char* name) { return QStringLiteral(VARNOKE_SAMPLES_DIR "/") + QString::fromLatin1(name); }

namespace {

std::optional<QString> answer(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    return path;
}

void trigger(TMainForm& form, const char* name) {
    QAction* item = action(form, name);
    if (item == nullptr) qFatal("no action %s", name);
    item->trigger();
}

void clickBoxOfRow(TMainForm& form, const char* row, int k) {
    auto* group = form.findChild<QGroupBox*>(QString::fromLatin1(row));
    const QPoint centre = group->mapTo(&form, QPoint(7 + 16 * k + 7, 16 + 8));
    QWidget* target = form.childAt(centre);
    if (target == nullptr) qFatal("nothing at box %d of %s", k, row);
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(&form, centre));
}

}  // namespace

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

QAction* action(const TMainForm& form, const char* name) { return form.findChild<QAction*>(QString::fromLatin1(name)); }
QLabel* label(const TMainForm& form, const char* name) { return form.findChild<QLabel*>(QString::fromLatin1(name)); }
QLineEdit* edit(const TMainForm& form, const char* name) {
    return form.findChild<QLineEdit*>(QString::fromLatin1(name));
}
QScrollBar* bar(const TMainForm& form, const char* name) {
    return form.findChild<QScrollBar*>(QString::fromLatin1(name));
}

QStringList logLines(const TMainForm& form) {
    return form.findChild<QPlainTextEdit*>(QStringLiteral("Debug"))->toPlainText().split(QLatin1Char('\n'));
}

QStringList linesSince(const TMainForm& form, qsizetype before) { return logLines(form).mid(before); }

varnoke::ColorBox* inkBox(const TMainForm& form, int pen) {
    return form.findChild<varnoke::ColorBox*>(QStringLiteral("Ink%1").arg(pen));
}

varnoke::ColorBox* cpcBox(const TMainForm& form, int color) {
    return form.findChild<varnoke::ColorBox*>(QStringLiteral("CPC_color%1").arg(color));
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

QImage picture(const TMainForm& form) {
    return form.findChild<varnoke::PictureView*>(QStringLiteral("Image"))->image();
}

QColor buttonFace(const TMainForm& form) { return form.palette().color(QPalette::Button); }

QColor displayColor(int cpcColor) {
    const varnoke::test::Rgb3 rgb = varnoke::test::displayRgb(cpcColor);
    return QColor(rgb[0], rgb[1], rgb[2]);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

QString refusalAdvice(const TMainForm& form, int pen) {
    const int lastPen = QList<int>{15, 3, 1}.value(label(form, "LabelMode")->text().toInt(), 1);
    return QStringLiteral(
               "Pen %1 shows CPC colour %2, which none of pens 0 to %3 shows: use Palette > Fit Palette or "
               "pick a colour (click Ink box %1, then a CPC colour that pens 0 to %3 show)")
        .arg(pen)
        .arg(inkBox(form, pen)->text())
        .arg(lastPen);
}

}  // namespace window_test
