#include "Application.h"

#include <QMessageBox>

#include <exception>

namespace velbrin::player {

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {
    report_ = [](const QString &text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
}

bool Application::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        report_(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        report_(QStringLiteral("Unknown error"));
    }
    return false;
}

} // namespace velbrin::player
