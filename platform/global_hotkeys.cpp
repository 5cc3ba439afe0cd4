#include "global_hotkeys.h"

#include "x11_connection.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>

namespace velbrin::platform {

namespace {

constexpr uint16_t kModifierMask =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
// Num Lock is Mod2 on every common keymap; a grab without these variants
// would miss every press while Caps Lock or Num Lock is on.
constexpr std::array<uint16_t, 4> kLockVariants{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

uint16_t xModifiers(uint32_t modifiers) {
    uint16_t mask = 0;
    if (modifiers & 1)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & 2)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & 4)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & 8)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

constexpr std::pair<uint8_t, unsigned long> kKeysyms[] = {
    {0x08, XK_BackSpace},
    {0x09, XK_Tab},
    {0x0D, XK_Return},
    {0x13, XK_Pause},
    {0x14, XK_Caps_Lock},
    {0x1B, XK_Escape},
    {0x20, XK_space},
    {0x21, XK_Prior},
    {0x22, XK_Next},
    {0x23, XK_End},
    {0x24, XK_Home},
    {0x25, XK_Left},
    {0x26, XK_Up},
    {0x27, XK_Right},
    {0x28, XK_Down},
    {0x2C, XK_Print},
    {0x2D, XK_Insert},
    {0x2E, XK_Delete},
    {0x6A, XK_KP_Multiply},
    {0x6B, XK_KP_Add},
    {0x6D, XK_KP_Subtract},
    {0x6E, XK_KP_Decimal},
    {0x6F, XK_KP_Divide},
    {0x90, XK_Num_Lock},
    {0x91, XK_Scroll_Lock},
    {0xA6, XF86XK_Back},
    {0xA7, XF86XK_Forward},
    {0xA8, XF86XK_Refresh},
    {0xA9, XF86XK_Stop},
    {0xAA, XF86XK_Search},
    {0xAB, XF86XK_Favorites},
    {0xAC, XF86XK_HomePage},
    {0xAD, XF86XK_AudioMute},
    {0xAE, XF86XK_AudioLowerVolume},
    {0xAF, XF86XK_AudioRaiseVolume},
    {0xB0, XF86XK_AudioNext},
    {0xB1, XF86XK_AudioPrev},
    {0xB2, XF86XK_AudioStop},
    {0xB3, XF86XK_AudioPlay},
    {0xB4, XF86XK_Mail},
    {0xB5, XF86XK_AudioMedia},
    {0xB6, XF86XK_MyComputer},
    {0xB7, XF86XK_Calculator},
    {0xBA, XK_semicolon},
    {0xBB, XK_equal},
    {0xBC, XK_comma},
    {0xBD, XK_minus},
    {0xBE, XK_period},
    {0xBF, XK_slash},
    {0xC0, XK_grave},
    {0xDB, XK_bracketleft},
    {0xDC, XK_backslash},
};

// Combinations grabbed by any instance in this process. The X server lets a
// client grab its own combination twice; a second registration is refused
// as another program's would be.
std::set<std::pair<uint8_t, uint16_t>> &heldCombinations() {
    static std::set<std::pair<uint8_t, uint16_t>> held;
    return held;
}

} // namespace

unsigned long keysymForVirtualKey(uint8_t key) {
    if (key >= '0' && key <= '9')
        return XK_0 + (key - '0');
    if (key >= 'A' && key <= 'Z')
        return XK_a + (key - 'A');
    if (key >= 0x60 && key <= 0x69)
        return XK_KP_0 + (key - 0x60);
    if (key >= 0x70 && key <= 0x87)
        return XK_F1 + (key - 0x70);
    if (key == 0xDD)
        return XK_bracketright;
    if (key == 0xDE)
        return XK_apostrophe;
    for (auto [vk, sym] : kKeysyms) {
        if (vk == key)
            return sym;
    }
    return 0;
}

struct GlobalHotKeys::Impl : QAbstractNativeEventFilter {
    struct Grab {
        uint8_t keycode;
        uint16_t mask;
        uint32_t modifiers;
        uint8_t virtualKey;
    };

    explicit Impl(GlobalHotKeys &owner) : owner_(owner), x11_(applicationX11Connection()) {
        if (x11_)
            QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~Impl() override {
        if (!x11_)
            return;
        for (const auto &[id, grab] : grabs_)
            ungrab(grab);
        xcb_flush(x11_.connection);
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    void ungrab(const Grab &grab) {
        heldCombinations().erase({grab.keycode, grab.mask});
        for (uint16_t lock : kLockVariants)
            xcb_ungrab_key(x11_.connection, grab.keycode, x11_.rootWindow, grab.mask | lock);
    }

    bool grab(uint16_t id, uint32_t modifiers, uint8_t virtualKey) {
        if (!x11_ || grabs_.count(id) != 0)
            return false;
        const unsigned long keysym = keysymForVirtualKey(virtualKey);
        const uint8_t keycode = keysym == 0 ? 0 : XKeysymToKeycode(x11_.display, keysym);
        if (keycode == 0)
            return false;
        const Grab g{keycode, xModifiers(modifiers), modifiers, virtualKey};
        if (heldCombinations().count({g.keycode, g.mask}) != 0)
            return false;
        bool refused = false;
        std::array<xcb_void_cookie_t, kLockVariants.size()> cookies{};
        for (size_t i = 0; i < kLockVariants.size(); ++i) {
            cookies[i] =
                xcb_grab_key_checked(x11_.connection, 1, x11_.rootWindow, g.mask | kLockVariants[i],
                                     keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        }
        // Checked requests hand their error here instead of to the toolkit's
        // error log: BadAccess means another client holds the combination.
        for (xcb_void_cookie_t cookie : cookies) {
            if (xcb_generic_error_t *error = xcb_request_check(x11_.connection, cookie)) {
                refused = true;
                std::free(error);
            }
        }
        if (refused) {
            ungrab(g);
            xcb_flush(x11_.connection);
            return false;
        }
        heldCombinations().insert({g.keycode, g.mask});
        grabs_.emplace(id, g);
        return true;
    }

    bool release(uint16_t id) {
        const auto it = grabs_.find(id);
        if (it == grabs_.end())
            return false;
        ungrab(it->second);
        xcb_flush(x11_.connection);
        grabs_.erase(it);
        return true;
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7F) != XCB_KEY_PRESS)
            return false;
        const auto *press = static_cast<const xcb_key_press_event_t *>(message);
        if (press->event != x11_.rootWindow)
            return false;
        const uint16_t mask = press->state & kModifierMask;
        for (const auto &[id, g] : grabs_) {
            if (g.keycode == press->detail && g.mask == mask) {
                emit owner_.hotKeyPressed(id, g.modifiers, g.virtualKey);
                return true;
            }
        }
        return false;
    }

    GlobalHotKeys &owner_;
    X11Connection x11_;
    std::map<uint16_t, Grab> grabs_;
};

GlobalHotKeys::GlobalHotKeys(QObject *parent)
    : QObject(parent), d_(std::make_unique<Impl>(*this)) {}

GlobalHotKeys::~GlobalHotKeys() = default;

bool GlobalHotKeys::available() const {
    return static_cast<bool>(d_->x11_);
}

bool GlobalHotKeys::registerHotKey(uint16_t id, uint32_t modifiers, uint8_t virtualKey) {
    return d_->grab(id, modifiers, virtualKey);
}

bool GlobalHotKeys::unregisterHotKey(uint16_t id) {
    return d_->release(id);
}

} // namespace velbrin::platform
