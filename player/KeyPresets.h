#pragma once

// The three key presets: which command a key press or a hot-key report stands
// for, which hot keys a preset registers, and the arithmetic of the volume and
// seek commands. Plain code, so tests reach every row without a window.

#include <cstdint>
#include <vector>

namespace velbrin::player {

enum class KeyCommand {
    None,
    PlayPause,
    Stop,
    NextSong,
    PreviousSong,
    Rewind,
    FastForward,
    VolumeUp,
    VolumeDown,
    Playlist,
    ToggleShuffle,
};

// Presets: 0 "Velbrin Standard", 1 "Media Player compatible", 2 "Selvana
// tandgård"; any other value disables every key.
KeyCommand windowKeyCommand(int preset, uint8_t virtualKey, bool ctrlHeld, bool altHeld);
KeyCommand hotKeyCommand(int preset, uint32_t hotKey);

// The hot-key values a preset registers at start, in order. Preset 1
// registers its letter keys with the modifiers its commands need (Ctrl+B,
// Ctrl+P, Ctrl+S, Ctrl+F, Alt+F) instead of bare: bare, they would act on
// nothing and still take the letters away from every other program.
std::vector<uint32_t> hotKeyRegistrations(int preset);

// The volume slider's next position: 5 up, at most 99; 5 down, at least 0.
int volumeUp(int position);
int volumeDown(int position);

// The offset a rewind (-5) or fast forward (+5) seeks to, kept within
// 0..maximum: the engine takes the offset unsigned, so a negative one would
// reach it as a jump to the far end.
int seekOffset(int position, int step, int maximum);

} // namespace velbrin::player
