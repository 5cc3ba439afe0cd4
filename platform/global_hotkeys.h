#pragma once

#include <QObject>

#include <cstdint>
#include <memory>

namespace velbrin::platform {

// System-wide hot keys on X11: a registered key combination is grabbed on the
// root window, so its presses come to this program whatever window is active
// and no other program sees them. Modifiers are the system's MOD_ALT (1),
// MOD_CONTROL (2), MOD_SHIFT (4) and MOD_WIN (8) flags; keys are virtual-key
// codes. Caps Lock and Num Lock do not change which hot key a press is.
//
// Off X11 (Wayland, Qt's offscreen platform) there is no such service: every
// registration fails and nothing is ever reported.
//
// Threads: the user-interface thread only; presses arrive through its event
// loop.
class GlobalHotKeys : public QObject {
    Q_OBJECT
public:
    explicit GlobalHotKeys(QObject *parent = nullptr);
    ~GlobalHotKeys() override; // releases every registration

    bool available() const;

    // False when the key has no X key, the id or the combination is already
    // registered here, or another program holds the combination.
    bool registerHotKey(uint16_t id, uint32_t modifiers, uint8_t virtualKey);
    // False when nothing is registered under the id.
    bool unregisterHotKey(uint16_t id);

signals:
    // With the modifiers and key of the registration the press matched.
    void hotKeyPressed(uint16_t id, uint32_t modifiers, uint8_t virtualKey);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// The X keysym of a virtual key (letters lower case, media keys the XF86Audio
// keys); 0 when the key has none.
unsigned long keysymForVirtualKey(uint8_t virtualKey);

} // namespace velbrin::platform
