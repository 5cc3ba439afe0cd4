#pragma once

#include "KeyPresets.h"

#include <QObject>

#include <functional>

class QWidget;
class THotKeyManager;

namespace velbrin::player {

// Turns key presses into player commands by the preset in
// "KeyMappings"/"Default", read at every press. The window's keys are watched
// while it is active, before its controls see them, and every key still
// reaches the focused control. With "Always listen" the preset's keys are
// registered as system-wide hot keys at start (where the platform has them),
// and the window's keys leave the commands those carry to them; a command
// whose hot key was refused (another program holds it, or the platform has
// none) stays on the window's keys, so it never stops working altogether.
// Letter keys are matched by their place on the keyboard, so a Cyrillic or
// Greek layout does not take N, P and the preset letters away.
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
    // Whether a registered hot key stands for the command under the preset.
    bool carriedByHotKey(int preset, KeyCommand command) const;

    QWidget &window_;
    Run run_;
    THotKeyManager *hotKeys_ = nullptr;
};

// The stored preset, read afresh.
int currentKeyPreset();

} // namespace velbrin::player
