// Helpers for driving the real main window in tests: file choosers that answer in
// place of the dialogs, clicks at the place where a control should be, and readers of
// the log pane, the boxes and the picture area.
#pragma once

#include "window/color_box.h"
#include "window/main_form.h"
#include "window/picture_view.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QString>
#include <QStringList>

#include <memory>

namespace window_test {

// A shown main window whose dialogs answer from the test.
std::unique_ptr<TMainForm> makeForm(varnoke::ScreenLayout layout = varnoke::ScreenLayout::At4000);

QString samplePath(const char* name);

// What the window told the user in message boxes, each as "title: text".
QStringList notices(const TMainForm& form);

// Triggers the menu item of this object name.
void trigger(TMainForm& form, const char* name);

// File > "Open File ..." / "Save File ..." with the dialog answering `path`
// (an empty string stands for Cancel).
void openThroughMenu(TMainForm& form, const QString& path);
void saveThroughMenu(TMainForm& form, const QString& path);
void saveToDiscThroughMenu(TMainForm& form, const QString& disc);

// Controls by object name.
template <typename Widget>
Widget* child(const QObject& parent, const char* name) {
    return parent.findChild<Widget*>(QString::fromLatin1(name));
}
inline QLabel* label(const TMainForm& form, const char* name) { return child<QLabel>(form, name); }
inline QLineEdit* edit(const TMainForm& form, const char* name) { return child<QLineEdit>(form, name); }
inline QScrollBar* bar(const TMainForm& form, const char* name) { return child<QScrollBar>(form, name); }

// The log pane, one entry per line, the initial empty line included.
QStringList logLines(const TMainForm& form);
// The lines logged since the pane held `before` lines.
QStringList linesSince(const TMainForm& form, qsizetype before);

varnoke::ColorBox* inkBox(const TMainForm& form, int pen);

// Clicks the window at the centre of box k of a row, where the window's layout puts it
// (left 7 + 16 k, top 16 in the row's group, 15 × 17), whatever widget is found there.
void clickInk(TMainForm& form, int pen);
void clickCpcColor(TMainForm& form, int color);

// Drags a file onto the window and drops it there.
void dropFile(TMainForm& form, const QString& path);

QImage picture(const TMainForm& form);

// The display colour of CPC colour n: levels green = n / 9, red = n / 3 mod 3,
// blue = n mod 3, each shown as 0x00, 0x7F or 0xFF.
QColor displayColor(int cpcColor);

QByteArray readFile(const QString& path);

// Runs a program; its standard output, or the reason it failed.
QString run(const QString& program, const QStringList& arguments);

}  // namespace window_test
