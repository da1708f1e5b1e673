// What the window remembers from one run to the next, in the user's settings file
// (QSettings, organisation "Varnoke", application "Varnoke PCX"): the folder a file was
// last chosen in.
#pragma once

#include <QSettings>
#include <QString>

namespace varnoke {

class WindowSettings {
public:
    WindowSettings();

    // The folder of the last file chosen in any of the window's dialogs; empty at first.
    QString lastFolder() const;
    void rememberFolderOf(const QString& filePath);

    QSettings& store() { return store_; }

private:
    QSettings store_;
};

}  // namespace varnoke
