#pragma once

// Hot-key values and virtual-key codes: the arithmetic the hot-key manager,
// the key presets and their tests share, free of any window or display.

#include <QString>

#include <cstdint>

// Virtual-key codes, the key numbering of hot-key values and key presets.
namespace VirtualKey {
inline constexpr uint8_t Back = 0x08, Tab = 0x09, Return = 0x0D, Shift = 0x10, Control = 0x11,
                         Menu = 0x12, Pause = 0x13, Capital = 0x14, Escape = 0x1B, Space = 0x20,
                         Prior = 0x21, Next = 0x22, End = 0x23, Home = 0x24, Left = 0x25, Up = 0x26,
                         Right = 0x27, Down = 0x28, Snapshot = 0x2C, Insert = 0x2D, Delete = 0x2E,
                         Numpad0 = 0x60, Multiply = 0x6A, Add = 0x6B, Subtract = 0x6D,
                         Decimal = 0x6E, Divide = 0x6F, F1 = 0x70, F24 = 0x87, NumLock = 0x90,
                         Scroll = 0x91, BrowserBack = 0xA6, VolumeMute = 0xAD, VolumeDown = 0xAE,
                         VolumeUp = 0xAF, MediaNextTrack = 0xB0, MediaPrevTrack = 0xB1,
                         MediaStop = 0xB2, MediaPlayPause = 0xB3, LaunchApp2 = 0xB7;
// Letters and digits are their upper-case ASCII codes.
constexpr uint8_t letter(char upper) {
    return static_cast<uint8_t>(upper);
}
constexpr uint8_t function(int n) {
    return static_cast<uint8_t>(F1 + n - 1);
}
} // namespace VirtualKey

// Modifier bits of a hot-key value; the virtual key is its low byte.
inline constexpr uint32_t HotKeyShift = 0x2000;
inline constexpr uint32_t HotKeyCtrl = 0x4000;
inline constexpr uint32_t HotKeyAlt = 0x8000;
inline constexpr uint32_t HotKeyWin = 0x10000;

// The system's modifier flags, as a registration and a press carry them.
inline constexpr uint32_t MOD_ALT = 1;
inline constexpr uint32_t MOD_CONTROL = 2;
inline constexpr uint32_t MOD_SHIFT = 4;
inline constexpr uint32_t MOD_WIN = 8;

struct SplitKey {
    uint32_t modifiers; // MOD_* flags
    uint8_t virtualKey;
    friend bool operator==(const SplitKey &, const SplitKey &) = default;
};

// Bits other than the key and the four modifiers are ignored.
SplitKey SplitHotKey(uint32_t hotKey);
// The value a press with these flags and key stands for.
uint32_t JoinHotKey(uint32_t modifiers, uint8_t virtualKey);

// Qt's key for a virtual key and back; 0 when there is none. Qt's media keys
// stand for the media virtual keys (both play and pause keys for 0xB3).
uint8_t virtualKeyForQtKey(int qtKey);
int qtKeyForVirtualKey(uint8_t virtualKey);

// The display text of a value, such as "Ctrl+Alt+P": the modifiers in the
// order Ctrl, Shift, Alt, Win, each followed by "+", then the key's name.
// English mode uses fixed English names; localized mode the names the
// application's installed translations give them. Keys without a name of
// more than one character in the range 166 to 183 are named from the
// media-key table ("Play/Pause Media" for 179).
QString HotKeyToText(uint32_t hotKey, bool localized);
