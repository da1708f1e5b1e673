// What the window remembers from one run to the next, in the user's settings file
// (QSettings, organisation "Varnoke", application "Varnoke PCX"): the folder a file was
// last chosen in and the settings of the last import.
#pragma once

#include "import/import_session.h"

#include <QSettings>
#include <QString>

namespace varnoke {

class WindowSettings {
public:
    WindowSettings();

    // The folder of the last file chosen in any of the window's dialogs; empty at first.
    QString lastFolder() const;
    void rememberFolderOf(const QString& filePath);
    // The folder the last screen file was saved in; the last folder at first.
    QString lastSaveFolder() const;
    void rememberSaveFolderOf(const QString& filePath);

    // The settings of the last import that was put into the window; the defaults at first.
    ImportSettings lastImport() const;
    void rememberImport(const ImportSettings& settings);

private:
    QSettings store_;
};

}  // namespace varnoke
