#pragma once

#include <QString>

class QWidget;

namespace velbrin::platform {

enum class MessageIcon { Information, Warning, Error };

// Shows a modal message box with one OK button and returns when it is closed.
// Without a parent the box is modal for the whole application and placed over
// the active window.
void showModalMessage(MessageIcon icon, const QString &caption, const QString &text,
                      QWidget *parent = nullptr);

} // namespace velbrin::platform
