#pragma once

#include <QObject>

#include <cstdint>
#include <vector>

namespace velbrin::platform {
class GlobalHotKeys;
}

// Registers system-wide hot keys for its owner and reports each press of one
// through OnHotKeyPressed. Values pack a virtual key and its modifiers (see
// HotKeyValue.h). Registrations end with the component.
//
// Where the platform offers no system-wide hot keys every registration is
// refused (returns 0) without a message.
//
// Threads: the user-interface thread that created it.
class THotKeyManager : public QObject {
    Q_OBJECT
public:
    struct Entry {
        uint32_t HotKey;
        uint16_t Index;
    };

    explicit THotKeyManager(QObject *owner = nullptr);
    ~THotKeyManager() override;

    // The registration id, or 0 when the system refuses the key (another
    // program holds it, it is registered here already, or it has no key).
    uint16_t AddHotKey(uint32_t HotKey);
    // Replaces the entry with the id; 0 and no change when no entry has it.
    uint16_t ChangeHotKey(uint16_t Index, uint32_t NewHotKey);
    // Remove the first entry with the value or id; false when none matches
    // or the system's unregistration failed (the entry goes in any case).
    bool RemoveHotKey(uint32_t HotKey);
    bool RemoveHotKeyByIndex(uint16_t Index);
    void ClearHotKeys();
    // Whether the key could be registered here; registrations stay as they were.
    bool HotKeyValid(uint32_t HotKey);

    const std::vector<Entry> &HotKeyList() const { return list_; }

signals:
    void OnHotKeyPressed(uint32_t HotKey, uint16_t Index);

private:
    bool removeAt(std::vector<Entry>::iterator it);
    void hotKeyMessage(uint16_t id, uint32_t modifiers, uint8_t virtualKey);

    velbrin::platform::GlobalHotKeys *FHandle;
    std::vector<Entry> list_;
};

// The registration id of a value: the same for the same value for the whole
// run, distinct for distinct values, never 0. 0 only when the run has used up
// all 16384 ids.
uint16_t HotKeyId(uint32_t HotKey);
