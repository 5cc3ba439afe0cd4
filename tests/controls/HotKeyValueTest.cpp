#include "HotKeyValue.h"

#include <gtest/gtest.h>

namespace {

TEST(HotKeyValue, SplitAndJoinAreInverse) {
    EXPECT_EQ(SplitHotKey(0xC050), (SplitKey{MOD_ALT | MOD_CONTROL, 0x50}));
    EXPECT_EQ(SplitHotKey(0x10000 | 0x2000 | 32), (SplitKey{MOD_WIN | MOD_SHIFT, 32}));
    // Bits outside the key and the four modifiers do not count.
    EXPECT_EQ(SplitHotKey(0x1000 | 0x100 | 0x41), (SplitKey{0, 0x41}));
    EXPECT_EQ(JoinHotKey(MOD_ALT | MOD_CONTROL, 0x50), 0xC050u);
    for (uint32_t v : {32u, 0x6050u, 0x1E041u, 0x8000u | 0xB3u}) {
        const SplitKey s = SplitHotKey(v);
        EXPECT_EQ(JoinHotKey(s.modifiers, s.virtualKey), v);
    }
}

TEST(HotKeyValue, QtKeysMapBothWays) {
    const std::pair<int, uint8_t> pairs[] = {
        {Qt::Key_Space, 0x20},      {Qt::Key_A, 'A'},
        {Qt::Key_5, '5'},           {Qt::Key_Escape, 0x1B},
        {Qt::Key_Left, 0x25},       {Qt::Key_Down, 0x28},
        {Qt::Key_F4, 0x73},         {Qt::Key_F10, 0x79},
        {Qt::Key_VolumeDown, 0xAE}, {Qt::Key_VolumeUp, 0xAF},
        {Qt::Key_MediaNext, 0xB0},  {Qt::Key_MediaPrevious, 0xB1},
        {Qt::Key_MediaStop, 0xB2},  {Qt::Key_MediaTogglePlayPause, 0xB3},
    };
    for (auto [qt, key] : pairs) {
        EXPECT_EQ(virtualKeyForQtKey(qt), key) << qt;
        EXPECT_EQ(qtKeyForVirtualKey(key), qt) << int(key);
    }
    EXPECT_EQ(virtualKeyForQtKey(Qt::Key_MediaPlay), 0xB3);
    EXPECT_EQ(virtualKeyForQtKey(Qt::Key_Launch0), 0);
}

TEST(HotKeyValue, Text) {
    const std::pair<uint32_t, const char *> cases[] = {
        {0x6050, "Ctrl+Shift+P"},
        {0xC050, "Ctrl+Alt+P"},
        {0x10000 | 0x2000 | 0x20, "Shift+Win+Space"},
        {179, "Play/Pause Media"},
        {0x4000 | 166, "Ctrl+Browser Back"},
        {0x78, "F9"},
        {0x62, "Num 2"},
        {0x0E, ""}, // no key has this code
    };
    for (auto [value, text] : cases) {
        EXPECT_EQ(HotKeyToText(value, false), QString::fromLatin1(text)) << std::hex << value;
        // With no translation installed the localized names are the English ones.
        EXPECT_EQ(HotKeyToText(value, true), QString::fromLatin1(text)) << std::hex << value;
    }
}

} // namespace
