#pragma once

#include "KeyPresets.h"

#include <QObject>

#include <functional>

class QWidget;
class THotKeyManager;

namespace velbrin::player {

// Turns key presses into player commands by the preset in
// "KeyMappings"/"Default", read at every press. Without "Always listen" the
// window's keys are watched while it is active, before its controls see them,
// and every key still reaches the focused control. With it the preset's keys
// are registered as system-wide hot keys at start (where the platform has
// them) and the window's own key handling is off.
class KeyboardControl : public QObject {
    Q_OBJECT
public:
    using Run = std::function<void(KeyCommand)>;
    KeyboardControl(QWidget &window, Run run);
    ~KeyboardControl() override;

    bool alwaysListen() const { return hotKeys_ != nullptr; }
    THotKeyManager *hotKeyManager() const { return hotKeys_; }
    // Releases the hot keys (the window is closing).
    void clear();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &window_;
    Run run_;
    THotKeyManager *hotKeys_ = nullptr;
};

// The stored preset, read afresh.
int currentKeyPreset();

} // namespace velbrin::player
