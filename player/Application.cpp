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
    QString failure;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    } catch (...) {
        failure = QStringLiteral("Unknown error");
    }
    // Shown once the handler that failed is off the stack.
    QMetaObject::invokeMethod(
        this, [this, failure] { report_(failure); }, Qt::QueuedConnection);
    return false;
}

} // namespace velbrin::player
