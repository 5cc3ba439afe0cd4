#include "KeyPresets.h"

#include "HotKeyValue.h"

#include <algorithm>

namespace velbrin::player {

namespace vk = VirtualKey;

namespace {

// Preset 0 and 2 commands depend on the key alone.
KeyCommand unmodifiedCommand(int preset, uint8_t key) {
    if (preset == 0) {
        switch (key) {
        case vk::Space:
            return KeyCommand::PlayPause;
        case vk::Left:
            return KeyCommand::Rewind;
        case vk::Up:
            return KeyCommand::VolumeUp;
        case vk::Right:
            return KeyCommand::FastForward;
        case vk::Down:
            return KeyCommand::VolumeDown;
        case vk::letter('N'):
            return KeyCommand::NextSong;
        case vk::letter('P'):
            return KeyCommand::PreviousSong;
        case vk::function(4):
            return KeyCommand::Playlist;
        default:
            return KeyCommand::None;
        }
    }
    if (preset == 2) {
        switch (key) {
        case vk::Left:
            return KeyCommand::Rewind;
        case vk::Right:
            return KeyCommand::FastForward;
        case vk::VolumeDown:
            return KeyCommand::VolumeDown;
        case vk::VolumeUp:
            return KeyCommand::VolumeUp;
        case vk::MediaNextTrack:
            return KeyCommand::NextSong;
        case vk::MediaPrevTrack:
            return KeyCommand::PreviousSong;
        case vk::MediaStop:
            return KeyCommand::Stop;
        case vk::MediaPlayPause:
            return KeyCommand::PlayPause;
        case 0xFF:
            return KeyCommand::ToggleShuffle;
        default:
            return KeyCommand::None;
        }
    }
    return KeyCommand::None;
}

// Preset 1 keys that need no modifier.
KeyCommand presetOneUnmodified(uint8_t key) {
    switch (key) {
    case vk::Escape:
        return KeyCommand::ToggleShuffle;
    case vk::Left:
        return KeyCommand::Rewind;
    case vk::Right:
        return KeyCommand::FastForward;
    case vk::function(9):
        return KeyCommand::VolumeDown;
    case vk::function(10):
        return KeyCommand::VolumeUp;
    default:
        return KeyCommand::None;
    }
}

KeyCommand presetOneLetter(uint8_t key) {
    switch (key) {
    case vk::letter('B'):
        return KeyCommand::PreviousSong;
    case vk::letter('P'):
        return KeyCommand::PlayPause;
    case vk::letter('S'):
        return KeyCommand::Stop;
    default:
        return KeyCommand::None;
    }
}

} // namespace

KeyCommand windowKeyCommand(int preset, uint8_t key, bool ctrlHeld, bool altHeld) {
    if (preset != 1) {
        return unmodifiedCommand(preset, key);
    }
    if (key == vk::letter('F')) {
        // Alt is tested first, so Ctrl+Alt+F opens the playlist.
        if (altHeld)
            return KeyCommand::Playlist;
        return ctrlHeld ? KeyCommand::NextSong : KeyCommand::None;
    }
    if (const KeyCommand letter = presetOneLetter(key); letter != KeyCommand::None) {
        return ctrlHeld ? letter : KeyCommand::None;
    }
    return presetOneUnmodified(key);
}

KeyCommand hotKeyCommand(int preset, uint32_t hotKey) {
    const auto [m, key] = SplitHotKey(hotKey);
    if (preset != 1) {
        return unmodifiedCommand(preset, key);
    }
    const bool onlyAlt = m == MOD_ALT;
    const bool onlyCtrl = m == MOD_CONTROL;
    if (key == vk::letter('F')) {
        if (onlyAlt)
            return KeyCommand::Playlist;
        return onlyCtrl ? KeyCommand::NextSong : KeyCommand::None;
    }
    if (const KeyCommand letter = presetOneLetter(key); letter != KeyCommand::None) {
        return onlyAlt || onlyCtrl ? letter : KeyCommand::None;
    }
    return presetOneUnmodified(key);
}

std::vector<uint32_t> hotKeyRegistrations(int preset) {
    switch (preset) {
    case 0:
        return {vk::Up, vk::Down, vk::function(4), vk::letter('P'), vk::letter('N'), vk::Space};
    case 1:
        return {vk::function(10),
                vk::function(9),
                HotKeyAlt | vk::letter('F'),
                HotKeyCtrl | vk::letter('F'),
                HotKeyCtrl | vk::letter('B'),
                HotKeyCtrl | vk::letter('P'),
                HotKeyCtrl | vk::letter('S'),
                vk::Escape};
    case 2:
        return {vk::VolumeDown,     vk::VolumeUp,  vk::MediaNextTrack,
                vk::MediaPrevTrack, vk::MediaStop, vk::MediaPlayPause};
    default:
        return {};
    }
}

int volumeUp(int position) {
    return std::min(position + 5, 99);
}

int volumeDown(int position) {
    return std::max(position - 5, 0);
}

int seekOffset(int position, int step, int maximum) {
    return std::clamp(position + step, 0, std::max(maximum, 0));
}

} // namespace velbrin::player
