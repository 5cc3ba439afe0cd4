// The hot-key manager against a real X server: the test run starts a virtual
// display and exports DISPLAY; without one these tests are skipped. Presses
// come from xdotool, a client of its own, as a user's would.

#include "HotKeyValue.h"
#include "THotKeyManager.h"

#include <QGuiApplication>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

// Last: Xlib's macros (None, Bool, ...) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

bool onX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

void press(const QString &keys) {
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}), 0);
}

class HotKeyManagerX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (!onX11())
            GTEST_SKIP() << "no X display";
    }
    THotKeyManager manager;
    QSignalSpy pressed{&manager, &THotKeyManager::OnHotKeyPressed};
};

TEST_F(HotKeyManagerX11, PressRaisesValueAndId) {
    const uint16_t id = manager.AddHotKey(VirtualKey::Space);
    ASSERT_NE(id, 0);
    EXPECT_EQ(id, HotKeyId(32));
    press(QStringLiteral("space"));
    ASSERT_TRUE(pressed.wait(3000));
    EXPECT_EQ(pressed.at(0).at(0).value<uint32_t>(), 32u);
    EXPECT_EQ(pressed.at(0).at(1).value<uint16_t>(), id);
}

TEST_F(HotKeyManagerX11, ModifiersRebuildTheValueWithNumLockOn) {
    const uint16_t id = manager.AddHotKey(0xC050); // Ctrl+Alt+P
    ASSERT_NE(id, 0);
    press(QStringLiteral("Num_Lock"));
    press(QStringLiteral("ctrl+alt+p"));
    const bool arrived = pressed.wait(3000);
    press(QStringLiteral("Num_Lock"));
    ASSERT_TRUE(arrived);
    EXPECT_EQ(pressed.at(0).at(0).value<uint32_t>(), 0xC050u);
    EXPECT_EQ(pressed.at(0).at(1).value<uint16_t>(), id);
    // The bare key is not the registered combination.
    pressed.clear();
    press(QStringLiteral("p"));
    EXPECT_FALSE(pressed.wait(300));
}

TEST_F(HotKeyManagerX11, KeyHeldElsewhereIsRefused) {
    // Another client takes F7 first.
    std::unique_ptr<Display, int (*)(Display *)> other(XOpenDisplay(nullptr), XCloseDisplay);
    ASSERT_TRUE(other);
    XGrabKey(other.get(), XKeysymToKeycode(other.get(), XK_F7), 0, DefaultRootWindow(other.get()),
             True, GrabModeAsync, GrabModeAsync);
    XSync(other.get(), False);
    EXPECT_FALSE(manager.HotKeyValid(VirtualKey::function(7)));
    EXPECT_EQ(manager.AddHotKey(VirtualKey::function(7)), 0);
    EXPECT_TRUE(manager.HotKeyList().empty());
    other.reset(); // its grabs end with its connection
    EXPECT_TRUE(manager.HotKeyValid(VirtualKey::function(7)));
    EXPECT_TRUE(manager.HotKeyList().empty());
}

TEST_F(HotKeyManagerX11, SecondRegistrationOfAValueIsRefused) {
    ASSERT_NE(manager.AddHotKey(VirtualKey::function(9)), 0);
    EXPECT_EQ(manager.AddHotKey(VirtualKey::function(9)), 0);
    EXPECT_EQ(manager.HotKeyList().size(), 1u);
    THotKeyManager second;
    EXPECT_EQ(second.AddHotKey(VirtualKey::function(9)), 0);
    EXPECT_TRUE(manager.HotKeyValid(VirtualKey::function(9)));
    EXPECT_EQ(manager.HotKeyList().size(), 1u);
}

TEST_F(HotKeyManagerX11, RemoveChangeAndClear) {
    const uint16_t f2 = manager.AddHotKey(VirtualKey::function(2));
    ASSERT_NE(f2, 0);
    EXPECT_FALSE(manager.RemoveHotKey(VirtualKey::function(3)));
    EXPECT_EQ(manager.ChangeHotKey(0x1234, VirtualKey::function(3)), 0);
    EXPECT_EQ(manager.HotKeyList().size(), 1u);

    const uint16_t f3 = manager.ChangeHotKey(f2, VirtualKey::function(3));
    ASSERT_NE(f3, 0);
    ASSERT_EQ(manager.HotKeyList().size(), 1u);
    EXPECT_EQ(manager.HotKeyList()[0].HotKey, uint32_t{VirtualKey::function(3)});
    // The old key is free again: a press of it raises nothing.
    press(QStringLiteral("F2"));
    EXPECT_FALSE(pressed.wait(300));

    ASSERT_NE(manager.AddHotKey(VirtualKey::function(4)), 0);
    EXPECT_TRUE(manager.RemoveHotKeyByIndex(f3));
    manager.ClearHotKeys();
    EXPECT_TRUE(manager.HotKeyList().empty());
    THotKeyManager other; // both keys were released
    EXPECT_NE(other.AddHotKey(VirtualKey::function(3)), 0);
    EXPECT_NE(other.AddHotKey(VirtualKey::function(4)), 0);
}

TEST_F(HotKeyManagerX11, MediaKeysAreGrabbed) {
    const uint16_t id = manager.AddHotKey(VirtualKey::MediaPlayPause);
    ASSERT_NE(id, 0);
    press(QStringLiteral("XF86AudioPlay"));
    ASSERT_TRUE(pressed.wait(3000));
    EXPECT_EQ(pressed.at(0).at(0).value<uint32_t>(), 0xB3u);
}

// On a platform without system-wide hot keys everything is refused quietly.
TEST(HotKeyManagerOffX11, RegistrationsFailQuietly) {
    if (onX11())
        GTEST_SKIP() << "runs on X11";
    THotKeyManager manager;
    EXPECT_EQ(manager.AddHotKey(VirtualKey::Space), 0);
    EXPECT_FALSE(manager.HotKeyValid(VirtualKey::Space));
    EXPECT_TRUE(manager.HotKeyList().empty());
}

} // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Without a display the xcb platform cannot start: fall back to the
    // offscreen one, where only the off-X11 test runs.
    if (std::getenv("DISPLAY") == nullptr || *std::getenv("DISPLAY") == '\0')
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
