#include "HotKeyValue.h"

#include <QCoreApplication>

#include <array>
#include <utility>

SplitKey SplitHotKey(uint32_t hotKey) {
    uint32_t modifiers = 0;
    if (hotKey & HotKeyAlt)
        modifiers |= MOD_ALT;
    if (hotKey & HotKeyCtrl)
        modifiers |= MOD_CONTROL;
    if (hotKey & HotKeyShift)
        modifiers |= MOD_SHIFT;
    if (hotKey & HotKeyWin)
        modifiers |= MOD_WIN;
    return {modifiers, static_cast<uint8_t>(hotKey & 0xFF)};
}

uint32_t JoinHotKey(uint32_t modifiers, uint8_t virtualKey) {
    uint32_t value = virtualKey;
    if (modifiers & MOD_SHIFT)
        value += HotKeyShift;
    if (modifiers & MOD_CONTROL)
        value += HotKeyCtrl;
    if (modifiers & MOD_ALT)
        value += HotKeyAlt;
    if (modifiers & MOD_WIN)
        value += HotKeyWin;
    return value;
}

namespace {

namespace vk = VirtualKey;

// Keys whose Qt key is not simply their own code.
constexpr std::pair<uint8_t, int> kQtKeys[] = {
    {vk::Back, Qt::Key_Backspace},
    {vk::Tab, Qt::Key_Tab},
    {vk::Return, Qt::Key_Return},
    {vk::Shift, Qt::Key_Shift},
    {vk::Control, Qt::Key_Control},
    {vk::Menu, Qt::Key_Alt},
    {vk::Pause, Qt::Key_Pause},
    {vk::Capital, Qt::Key_CapsLock},
    {vk::Escape, Qt::Key_Escape},
    {vk::Prior, Qt::Key_PageUp},
    {vk::Next, Qt::Key_PageDown},
    {vk::End, Qt::Key_End},
    {vk::Home, Qt::Key_Home},
    {vk::Left, Qt::Key_Left},
    {vk::Up, Qt::Key_Up},
    {vk::Right, Qt::Key_Right},
    {vk::Down, Qt::Key_Down},
    {vk::Snapshot, Qt::Key_Print},
    {vk::Insert, Qt::Key_Insert},
    {vk::Delete, Qt::Key_Delete},
    {vk::NumLock, Qt::Key_NumLock},
    {vk::Scroll, Qt::Key_ScrollLock},
    {vk::VolumeMute, Qt::Key_VolumeMute},
    {vk::VolumeDown, Qt::Key_VolumeDown},
    {vk::VolumeUp, Qt::Key_VolumeUp},
    {vk::MediaNextTrack, Qt::Key_MediaNext},
    {vk::MediaPrevTrack, Qt::Key_MediaPrevious},
    {vk::MediaStop, Qt::Key_MediaStop},
    {vk::MediaPlayPause, Qt::Key_MediaTogglePlayPause},
};

bool isLetterOrDigit(int code) {
    return (code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z');
}

// English key names; keys not listed here have none (as media keys have none
// on a keyboard layout), so the media table can name them.
const char *englishKeyName(uint8_t key) {
    switch (key) {
    case vk::Back:
        return "Backspace";
    case vk::Tab:
        return "Tab";
    case vk::Return:
        return "Enter";
    case vk::Shift:
        return "Shift";
    case vk::Control:
        return "Ctrl";
    case vk::Menu:
        return "Alt";
    case vk::Pause:
        return "Pause";
    case vk::Capital:
        return "Caps Lock";
    case vk::Escape:
        return "Esc";
    case vk::Space:
        return "Space";
    case vk::Prior:
        return "Page Up";
    case vk::Next:
        return "Page Down";
    case vk::End:
        return "End";
    case vk::Home:
        return "Home";
    case vk::Left:
        return "Left";
    case vk::Up:
        return "Up";
    case vk::Right:
        return "Right";
    case vk::Down:
        return "Down";
    case vk::Snapshot:
        return "Print";
    case vk::Insert:
        return "Insert";
    case vk::Delete:
        return "Delete";
    case vk::Multiply:
        return "Num *";
    case vk::Add:
        return "Num +";
    case vk::Subtract:
        return "Num -";
    case vk::Decimal:
        return "Num Del";
    case vk::Divide:
        return "Num /";
    case vk::NumLock:
        return "Num Lock";
    case vk::Scroll:
        return "Scroll Lock";
    case 0xBA:
        return ";";
    case 0xBB:
        return "=";
    case 0xBC:
        return ",";
    case 0xBD:
        return "-";
    case 0xBE:
        return ".";
    case 0xBF:
        return "/";
    case 0xC0:
        return "`";
    case 0xDB:
        return "[";
    case 0xDC:
        return "\\";
    case 0xDD:
        return "]";
    case 0xDE:
        return "'";
    default:
        return nullptr;
    }
}

constexpr std::array<const char *, 18> kMediaKeyNames{
    "Browser Back",        "Browser Forward",    "Browser Refresh",    "Browser Stop",
    "Browser Search",      "Browser Favorites",  "Browser Start/Home", "Volume Mute",
    "Volume Down",         "Volume Up",          "Next Track",         "Previous Track",
    "Stop Media",          "Play/Pause Media",   "Start Mail",         "Select Media",
    "Start Application 1", "Start Application 2"};

QString keyName(uint8_t key, bool localized) {
    QString name;
    if (isLetterOrDigit(key)) {
        name = QChar(key);
    } else if (key >= vk::Numpad0 && key <= vk::Numpad0 + 9) {
        name = QStringLiteral("Num %1").arg(key - vk::Numpad0);
    } else if (key >= vk::F1 && key <= vk::F24) {
        name = QStringLiteral("F%1").arg(key - vk::F1 + 1);
    } else if (const char *english = englishKeyName(key)) {
        // Qt's own catalogue of key names is the one translators fill in.
        name = localized ? QCoreApplication::translate("QShortcut", english)
                         : QString::fromLatin1(english);
    }
    if (name.size() <= 1 && key >= vk::BrowserBack && key <= vk::LaunchApp2) {
        name = QString::fromLatin1(kMediaKeyNames[key - vk::BrowserBack]);
    }
    return name;
}

struct ModifierNames {
    QString ctrl, shift, alt, win;
};

ModifierNames localizedModifierNames() {
    ModifierNames names{keyName(vk::Control, true), keyName(vk::Shift, true),
                        keyName(vk::Menu, true), QStringLiteral("Win")};
    bool capitalsOnly = !names.alt.isEmpty();
    for (QChar c : names.alt) {
        capitalsOnly = capitalsOnly && c >= QLatin1Char('A') && c <= QLatin1Char('Z');
    }
    if (capitalsOnly) {
        names.win = QStringLiteral("WIN");
    }
    return names;
}

} // namespace

uint8_t virtualKeyForQtKey(int qtKey) {
    if (qtKey == Qt::Key_Space || isLetterOrDigit(qtKey)) {
        return static_cast<uint8_t>(qtKey);
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return static_cast<uint8_t>(vk::F1 + (qtKey - Qt::Key_F1));
    }
    if (qtKey == Qt::Key_Enter) {
        return vk::Return;
    }
    if (qtKey == Qt::Key_MediaPlay || qtKey == Qt::Key_MediaPause) {
        return vk::MediaPlayPause;
    }
    for (auto [key, qt] : kQtKeys) {
        if (qt == qtKey) {
            return key;
        }
    }
    return 0;
}

int qtKeyForVirtualKey(uint8_t virtualKey) {
    if (virtualKey == vk::Space || isLetterOrDigit(virtualKey)) {
        return virtualKey;
    }
    if (virtualKey >= vk::F1 && virtualKey <= vk::F24) {
        return Qt::Key_F1 + (virtualKey - vk::F1);
    }
    for (auto [key, qt] : kQtKeys) {
        if (key == virtualKey) {
            return qt;
        }
    }
    return 0;
}

QString HotKeyToText(uint32_t hotKey, bool localized) {
    // The localized names are taken once: they follow the translations the
    // application installs at start.
    static const ModifierNames local = localizedModifierNames();
    static const ModifierNames english{QStringLiteral("Ctrl"), QStringLiteral("Shift"),
                                       QStringLiteral("Alt"), QStringLiteral("Win")};
    const ModifierNames &names = localized ? local : english;
    QString text;
    if (hotKey & HotKeyCtrl)
        text += names.ctrl + QLatin1Char('+');
    if (hotKey & HotKeyShift)
        text += names.shift + QLatin1Char('+');
    if (hotKey & HotKeyAlt)
        text += names.alt + QLatin1Char('+');
    if (hotKey & HotKeyWin)
        text += names.win + QLatin1Char('+');
    return text + keyName(static_cast<uint8_t>(hotKey & 0xFF), localized);
}
