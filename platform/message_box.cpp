#include "message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace velbrin::platform {

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void showModalMessage(MessageIcon icon, const QString &caption, const QString &text,
                      QWidget *parent) {
    QMessageBox box(boxIcon(icon), caption, text, QMessageBox::Ok,
                    parent ? parent : QApplication::activeWindow());
    // Texts come from files, tags and the engine: never interpret them as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace velbrin::platform
