#pragma once

#include <cstdint>

namespace velbrin::platform {

// The Latin letter ('A' to 'Z') a key carries in the first of the keyboard's
// layout groups that has one on it, by the key's X keycode (the native scan
// code of a Qt key event). Under a Cyrillic or Greek layout the N key types
// a Cyrillic or Greek letter, yet a command bound to N is meant for that key,
// as desktop programs treat it. 0 when no group has a Latin letter there, or
// off X11.
char latinLetterOfKey(uint32_t keycode);

} // namespace velbrin::platform
