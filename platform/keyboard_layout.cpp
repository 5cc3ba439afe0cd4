#include "keyboard_layout.h"

#include "x11_connection.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <memory>

namespace velbrin::platform {

char latinLetterOfKey(uint32_t keycode) {
    const X11Connection x11 = applicationX11Connection();
    if (!x11 || keycode < 8 || keycode > 255) {
        return 0;
    }
    // Asked afresh at each press: the user may have switched layouts since.
    const std::unique_ptr<XkbDescRec, void (*)(XkbDescPtr)> map(
        XkbGetMap(x11.display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd),
        [](XkbDescPtr m) { XkbFreeKeyboard(m, 0, True); });
    const auto code = static_cast<KeyCode>(keycode);
    if (!map || code < map->min_key_code || code > map->max_key_code) {
        return 0;
    }
    for (int group = 0; group < XkbKeyNumGroups(map.get(), code); ++group) {
        const KeySym sym = XkbKeySymEntry(map.get(), code, 0, group);
        if (sym >= XK_a && sym <= XK_z) {
            return static_cast<char>('A' + (sym - XK_a));
        }
        if (sym >= XK_A && sym <= XK_Z) {
            return static_cast<char>('A' + (sym - XK_A));
        }
    }
    return 0;
}

} // namespace velbrin::platform
