#include "window/window_program.h"

#include "window/main_form.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <optional>

namespace varnoke {
namespace {

const QString kTitle = QStringLiteral("Varnoke PCX");

void showException(const QString& message) {
    if (QApplication::instance() != nullptr)
        QMessageBox::critical(nullptr, kTitle, message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

QString messageOf(const std::exception_ptr& thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

// Qt cannot carry an exception through its event loop, so one that leaves a handler is
// caught here, shown, and ends the program.
class Application : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            showException(messageOf(std::current_exception()));
            QCoreApplication::exit(0);
            return false;
        }
    }
};

}  // namespace

int runWindowProgram(int& argc, char** argv, ScreenLayout layout) {
    std::optional<Application> application;
    try {
        application.emplace(argc, argv);
        QApplication::setApplicationDisplayName(kTitle);
        TMainForm form(layout);
        form.show();
        const QStringList arguments = QApplication::arguments();
        if (arguments.size() > 1) form.openGivenFile(arguments.at(1));
        QApplication::exec();
    } catch (...) {
        showException(messageOf(std::current_exception()));
    }
    return 0;
}

}  // namespace varnoke
