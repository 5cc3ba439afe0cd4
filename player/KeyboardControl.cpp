#include "KeyboardControl.h"

#include "HotKeyValue.h"
#include "THotKeyManager.h"
#include "keyboard_layout.h"
#include "settings_store.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>

namespace velbrin::player {

int currentKeyPreset() {
    return ReadIntegerSetting(QStringLiteral("KeyMappings"), QStringLiteral("Default"), 0);
}

KeyboardControl::KeyboardControl(QWidget &window, Run run)
    : QObject(&window), window_(window), run_(std::move(run)) {
    if (ReadBooleanSetting(QStringLiteral("KeyMappings"), QStringLiteral("AlwaysListen"), false)) {
        hotKeys_ = new THotKeyManager(this);
        for (uint32_t value : hotKeyRegistrations(currentKeyPreset()))
            hotKeys_->AddHotKey(value);
        connect(hotKeys_, &THotKeyManager::OnHotKeyPressed, this, [this](uint32_t value, uint16_t) {
            run_(hotKeyCommand(currentKeyPreset(), value));
        });
    }
    qApp->installEventFilter(this);
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
        uint8_t virtualKey = virtualKeyForQtKey(key->key());
        if (virtualKey == 0)
            virtualKey = static_cast<uint8_t>(platform::latinLetterOfKey(key->nativeScanCode()));
        const int preset = currentKeyPreset();
        const KeyCommand command = windowKeyCommand(
            preset, virtualKey, m.testFlag(Qt::ControlModifier), m.testFlag(Qt::AltModifier));
        if (command != KeyCommand::None && !carriedByHotKey(preset, command))
            run_(command);
    }
    return false; // the key also reaches the focused control
}

bool KeyboardControl::carriedByHotKey(int preset, KeyCommand command) const {
    if (hotKeys_ == nullptr)
        return false;
    // By the preset of now: the registrations were made for the one at start.
    const auto &list = hotKeys_->HotKeyList();
    return std::any_of(list.begin(), list.end(), [&](const THotKeyManager::Entry &e) {
        return hotKeyCommand(preset, e.HotKey) == command;
    });
}

} // namespace velbrin::player
