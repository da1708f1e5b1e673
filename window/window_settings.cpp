#include "window/window_settings.h"

#include "workflow/choices.h"

#include <QDir>
#include <QFileInfo>

namespace varnoke {
namespace {

const QString kLastFolder = QStringLiteral("files/lastFolder");
const QString kLastSaveFolder = QStringLiteral("files/lastSaveFolder");
const QString kMode = QStringLiteral("import/mode");
const QString kResize = QStringLiteral("import/resize");
const QString kScreen = QStringLiteral("import/screen");
const QString kDither = QStringLiteral("import/dither");
const QString kStrength = QStringLiteral("import/strength");
const QString kChooseDither = QStringLiteral("import/choose-dither");
const QString kColours = QStringLiteral("import/colours");
const QString kFixed = QStringLiteral("import/fixedColours");
const QString kLinePens = QStringLiteral("import/linePens");

// A stored number, or the default when it is missing or out of range.
int storedNumber(const QSettings& store, const QString& key, int fallback, int lowest, int highest) {
    bool ok = false;
    const int value = store.value(key).toInt(&ok);
    return ok && value >= lowest && value <= highest ? value : fallback;
}

}  // namespace

WindowSettings::WindowSettings()
    : store_(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Varnoke"), QStringLiteral("Varnoke PCX")) {}

QString WindowSettings::lastFolder() const {
    const QString folder = store_.value(kLastFolder).toString();
    return QDir(folder).exists() ? folder : QString();
}

void WindowSettings::rememberFolderOf(const QString& filePath) {
    store_.setValue(kLastFolder, QFileInfo(filePath).absolutePath());
}

QString WindowSettings::lastSaveFolder() const {
    const QString folder = store_.value(kLastSaveFolder).toString();
    return QDir(folder).exists() ? folder : lastFolder();
}

void WindowSettings::rememberSaveFolderOf(const QString& filePath) {
    store_.setValue(kLastSaveFolder, QFileInfo(filePath).absolutePath());
}

ImportSettings WindowSettings::lastImport() const {
    ImportSettings settings;
    settings.cpcMode = static_cast<Byte>(storedNumber(store_, kMode, settings.cpcMode, 0, 2));
    // Choices are kept by the words the converter takes, so that they outlive any
    // reordering of the tables; an unknown word gives the default.
    settings.resize = resizeRuleNamed(store_.value(kResize).toString().toStdString()).value_or(settings.resize);
    settings.screen = screenNamed(store_.value(kScreen).toString().toStdString()).value_or(settings.screen);
    settings.dither.method =
        ditherMethodNamed(store_.value(kDither).toString().toStdString()).value_or(defaultDither(settings.cpcMode));
    settings.dither.strength = storedNumber(store_, kStrength, settings.dither.strength, 0, 100);
    // Until the user sets a strength, it is chosen for each picture, as the converter does.
    settings.dither.chooseStrength = store_.value(kChooseDither, true).toBool();
    settings.dither.chooseMethod = settings.dither.chooseStrength;
    settings.colours = storedNumber(store_, kColours, 0, 0, 16);
    for (const QVariant& colour : store_.value(kFixed).toList())
        if (const int n = colour.toInt(); n >= 0 && n < kCpcColorCount)
            settings.fixedColours.push_back(static_cast<Byte>(n));
    settings.linePens = storedNumber(store_, kLinePens, 0, 0, maxLinePens(settings.cpcMode));
    return settings;
}

void WindowSettings::rememberImport(const ImportSettings& settings) {
    store_.setValue(kMode, settings.cpcMode);
    store_.setValue(kResize, QString::fromLatin1(resizeChoice(settings.resize).word));
    store_.setValue(kScreen, QString::fromLatin1(settings.screen == ScreenFormat::Overscan ? "overscan" : "standard"));
    store_.setValue(kDither, QString::fromLatin1(ditherChoice(settings.dither.method).word));
    store_.setValue(kStrength, settings.dither.strength);
    store_.setValue(kChooseDither, settings.dither.chooseStrength);
    store_.setValue(kColours, settings.colours);
    QVariantList fixed;
    for (const Byte colour : settings.fixedColours) fixed << colour;
    store_.setValue(kFixed, fixed);
    store_.setValue(kLinePens, settings.linePens);
}

}  // namespace varnoke
