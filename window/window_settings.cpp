#include "window/window_settings.h"

#include <QDir>
#include <QFileInfo>

namespace varnoke {
namespace {

const QString kLastFolder = QStringLiteral("files/lastFolder");

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

}  // namespace varnoke
