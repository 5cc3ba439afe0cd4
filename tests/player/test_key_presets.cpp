#include "HotKeyValue.h"
#include "KeyPresets.h"

#include <gtest/gtest.h>

#include <vector>

using namespace velbrin::player;
namespace vk = VirtualKey;
using C = KeyCommand;

namespace {

struct WindowRow {
    int preset;
    uint8_t key;
    bool ctrl;
    bool alt;
    KeyCommand expected;
};

// Every row of the window table, with the modifier combinations that decide
// the preset-1 letters.
const std::vector<WindowRow> kWindowRows = {
    {0, vk::Space, false, false, C::PlayPause},
    {0, vk::Left, true, false, C::Rewind},
    {0, vk::Up, false, true, C::VolumeUp},
    {0, vk::Right, false, false, C::FastForward},
    {0, vk::Down, false, false, C::VolumeDown},
    {0, 'N', false, false, C::NextSong},
    {0, 'P', true, true, C::PreviousSong},
    {0, vk::function(4), false, false, C::Playlist},
    {0, vk::Escape, false, false, C::None},
    {1, vk::Escape, false, false, C::ToggleShuffle},
    {1, vk::Left, false, false, C::Rewind},
    {1, vk::Right, true, false, C::FastForward},
    {1, 'B', true, false, C::PreviousSong},
    {1, 'B', false, false, C::None},
    {1, 'F', false, true, C::Playlist},
    {1, 'F', true, true, C::Playlist},
    {1, 'F', true, false, C::NextSong},
    {1, 'F', false, false, C::None},
    {1, 'P', true, false, C::PlayPause},
    {1, 'P', false, true, C::None},
    {1, 'S', true, false, C::Stop},
    {1, vk::function(9), false, false, C::VolumeDown},
    {1, vk::function(10), false, false, C::VolumeUp},
    {1, vk::Space, false, false, C::None},
    {2, vk::Left, false, false, C::Rewind},
    {2, vk::Right, false, false, C::FastForward},
    {2, vk::VolumeDown, false, false, C::VolumeDown},
    {2, vk::VolumeUp, false, false, C::VolumeUp},
    {2, vk::MediaNextTrack, false, false, C::NextSong},
    {2, vk::MediaPrevTrack, false, false, C::PreviousSong},
    {2, vk::MediaStop, false, false, C::Stop},
    {2, vk::MediaPlayPause, true, false, C::PlayPause},
    {2, 0xFF, false, false, C::ToggleShuffle},
    {2, vk::Space, false, false, C::None},
    {3, vk::Space, false, false, C::None},
    {-1, vk::Left, false, false, C::None},
};

TEST(KeyPresets, WindowTable) {
    for (const WindowRow &r : kWindowRows) {
        EXPECT_EQ(windowKeyCommand(r.preset, r.key, r.ctrl, r.alt), r.expected)
            << "preset " << r.preset << " key " << int(r.key) << " ctrl " << r.ctrl << " alt "
            << r.alt;
    }
}

TEST(KeyPresets, HotKeyHandler) {
    struct Row {
        int preset;
        uint32_t value;
        KeyCommand expected;
    };
    const std::vector<Row> rows = {
        {0, vk::Space, C::PlayPause},
        {0, HotKeyCtrl | 'N', C::NextSong}, // presets 0 and 2 ignore modifiers
        {2, vk::MediaPlayPause, C::PlayPause},
        {1, 'B', C::None},
        {1, HotKeyAlt | 'B', C::PreviousSong},
        {1, HotKeyCtrl | 'P', C::PlayPause},
        {1, HotKeyCtrl | HotKeyShift | 'S', C::None}, // "exactly" Ctrl
        {1, HotKeyAlt | 'F', C::Playlist},
        {1, HotKeyCtrl | 'F', C::NextSong},
        {1, HotKeyCtrl | HotKeyAlt | 'F', C::None},
        {1, vk::function(10), C::VolumeUp},
        {1, vk::Escape, C::ToggleShuffle},
        {7, vk::Space, C::None},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(hotKeyCommand(r.preset, r.value), r.expected)
            << "preset " << r.preset << " value " << std::hex << r.value;
    }
}

// Every registered key reaches a command through the hot-key handler.
TEST(KeyPresets, EveryRegistrationActs) {
    for (int preset : {0, 1, 2}) {
        const auto values = hotKeyRegistrations(preset);
        EXPECT_FALSE(values.empty());
        for (uint32_t value : values) {
            EXPECT_NE(hotKeyCommand(preset, value), C::None)
                << "preset " << preset << " value " << std::hex << value;
        }
    }
    EXPECT_EQ(hotKeyRegistrations(0),
              (std::vector<uint32_t>{vk::Up, vk::Down, vk::function(4), 'P', 'N', vk::Space}));
    EXPECT_TRUE(hotKeyRegistrations(3).empty());
}

TEST(KeyPresets, VolumeAndSeekStayInRange) {
    EXPECT_EQ(volumeUp(97), 99);
    EXPECT_EQ(volumeUp(99), 99);
    EXPECT_EQ(volumeUp(50), 55);
    EXPECT_EQ(volumeDown(3), 0);
    EXPECT_EQ(volumeDown(50), 45);
    EXPECT_EQ(seekOffset(3, -5, 400), 0);
    EXPECT_EQ(seekOffset(398, +5, 400), 400);
    EXPECT_EQ(seekOffset(200, +5, 400), 205);
}

} // namespace
