#include "THotKeyManager.h"

#include "HotKeyValue.h"
#include "global_hotkeys.h"

#include <algorithm>
#include <unordered_map>

uint16_t HotKeyId(uint32_t HotKey) {
    // Ids start where the system's named ids have always started, so they
    // never collide with small numbers a caller might use for its own.
    constexpr uint32_t kFirst = 0xC000;
    constexpr uint32_t kLast = 0xFFFF;
    static std::unordered_map<uint32_t, uint16_t> ids;
    if (const auto it = ids.find(HotKey); it != ids.end())
        return it->second;
    const uint32_t next = kFirst + static_cast<uint32_t>(ids.size());
    if (next > kLast)
        return 0;
    ids.emplace(HotKey, static_cast<uint16_t>(next));
    return static_cast<uint16_t>(next);
}

THotKeyManager::THotKeyManager(QObject *owner)
    : QObject(owner), FHandle(new velbrin::platform::GlobalHotKeys(this)) {
    connect(FHandle, &velbrin::platform::GlobalHotKeys::hotKeyPressed, this,
            &THotKeyManager::hotKeyMessage);
}

THotKeyManager::~THotKeyManager() {
    ClearHotKeys();
}

uint16_t THotKeyManager::AddHotKey(uint32_t HotKey) {
    const uint16_t id = HotKeyId(HotKey);
    const SplitKey key = SplitHotKey(HotKey);
    if (id == 0 || !FHandle->registerHotKey(id, key.modifiers, key.virtualKey))
        return 0;
    list_.push_back({HotKey, id});
    return id;
}

uint16_t THotKeyManager::ChangeHotKey(uint16_t Index, uint32_t NewHotKey) {
    const auto it =
        std::find_if(list_.begin(), list_.end(), [&](const Entry &e) { return e.Index == Index; });
    if (it == list_.end())
        return 0;
    removeAt(it);
    return AddHotKey(NewHotKey);
}

bool THotKeyManager::removeAt(std::vector<Entry>::iterator it) {
    const bool unregistered = FHandle->unregisterHotKey(it->Index);
    list_.erase(it);
    return unregistered;
}

bool THotKeyManager::RemoveHotKey(uint32_t HotKey) {
    const auto it = std::find_if(list_.begin(), list_.end(),
                                 [&](const Entry &e) { return e.HotKey == HotKey; });
    return it != list_.end() && removeAt(it);
}

bool THotKeyManager::RemoveHotKeyByIndex(uint16_t Index) {
    const auto it =
        std::find_if(list_.begin(), list_.end(), [&](const Entry &e) { return e.Index == Index; });
    return it != list_.end() && removeAt(it);
}

void THotKeyManager::ClearHotKeys() {
    while (!list_.empty())
        removeAt(std::prev(list_.end()));
}

bool THotKeyManager::HotKeyValid(uint32_t HotKey) {
    const uint16_t id = HotKeyId(HotKey);
    const SplitKey key = SplitHotKey(HotKey);
    if (id == 0)
        return false;
    if (FHandle->unregisterHotKey(id)) {
        FHandle->registerHotKey(id, key.modifiers, key.virtualKey);
        return true;
    }
    if (!FHandle->registerHotKey(id, key.modifiers, key.virtualKey))
        return false;
    FHandle->unregisterHotKey(id);
    return true;
}

void THotKeyManager::hotKeyMessage(uint16_t id, uint32_t modifiers, uint8_t virtualKey) {
    const uint32_t value = JoinHotKey(modifiers, virtualKey);
    if (std::any_of(list_.begin(), list_.end(), [&](const Entry &e) { return e.HotKey == value; }))
        emit OnHotKeyPressed(value, id);
}
