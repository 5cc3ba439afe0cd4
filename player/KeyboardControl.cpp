#include "KeyboardControl.h"

#include "HotKeyValue.h"
#include "THotKeyManager.h"
#include "settings_store.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace velbrin::player {

int currentKeyPreset() {
    return ReadIntegerSetting(QStringLiteral("KeyMappings"), QStringLiteral("Default"), 0);
}

KeyboardControl::KeyboardControl(QWidget &window, Run run)
    : QObject(&window), window_(window), run_(std::move(run)) {
    if (ReadBooleanSetting(QStringLiteral("KeyMappings"), QStringLiteral("AlwaysListen"), false)) {
        hotKeys_ = new THotKeyManager(this);
        // A key another program holds is refused and simply does not work.
        for (uint32_t value : hotKeyRegistrations(currentKeyPreset()))
            hotKeys_->AddHotKey(value);
        connect(hotKeys_, &THotKeyManager::OnHotKeyPressed, this, [this](uint32_t value, uint16_t) {
            run_(hotKeyCommand(currentKeyPreset(), value));
        });
    } else {
        qApp->installEventFilter(this);
    }
}

KeyboardControl::~KeyboardControl() {
    clear();
}

void KeyboardControl::clear() {
    if (hotKeys_ != nullptr)
        hotKeys_->ClearHotKeys();
    qApp->removeEventFilter(this);
}

bool KeyboardControl::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::KeyPress || !window_.isActiveWindow())
        return false;
    // The application sees each press once per widget it passes through;
    // only the first delivery, to a widget of this window, counts.
    auto *widget = qobject_cast<QWidget *>(watched);
    if (widget == nullptr || widget->window() != &window_)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    QWidget *first =
        QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &window_;
    if (watched == first) {
        const Qt::KeyboardModifiers m = key->modifiers();
        const KeyCommand command =
            windowKeyCommand(currentKeyPreset(), virtualKeyForQtKey(key->key()),
                             m.testFlag(Qt::ControlModifier), m.testFlag(Qt::AltModifier));
        if (command != KeyCommand::None)
            run_(command);
    }
    return false; // the key also reaches the focused control
}

} // namespace velbrin::player
