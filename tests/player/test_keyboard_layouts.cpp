// The player's keys on a real X server (the test run's virtual display), and
// once more on the offscreen platform, where no system-wide key exists.
#include "HotKeyValue.h"
#include "KeyboardControl.h"
#include "settings_store.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

// Last: Xlib's macros (None, Bool, ...) would clash with the headers above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

using velbrin::player::KeyboardControl;
using C = velbrin::player::KeyCommand;

namespace {

bool onX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

bool run(const QString &program, const QStringList &args) {
    return QProcess::execute(QStandardPaths::findExecutable(program), args) == 0;
}

class Keys : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("VELBRIN_SETTINGS", dir.filePath("velbrin.ini").toLocal8Bit());
        window.setWindowTitle("Keys under test");
        window.resize(200, 100);
    }
    void TearDown() override { qunsetenv("VELBRIN_SETTINGS"); }

    void start(int preset, bool alwaysListen) {
        velbrin::WriteSetting("KeyMappings", "Default", QString::number(preset));
        velbrin::WriteSetting("KeyMappings", "AlwaysListen", alwaysListen ? "-1" : "0");
        keys = std::make_unique<KeyboardControl>(window, [this](C c) { ran.push_back(c); });
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // The commands the key runs, waited for a moment as X delivers it.
    std::vector<C> commandsOf(const std::function<void()> &press) {
        ran.clear();
        press();
        QTest::qWait(onX11() ? 300 : 0);
        return ran;
    }
    void click(Qt::Key key, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window, key,
                        m);
    }

    QTemporaryDir dir;
    QWidget window;
    std::unique_ptr<KeyboardControl> keys;
    std::vector<C> ran;
};

// With "Always listen" a command whose system-wide key was refused stays on
// the window's keys; one whose key was taken is left to the hot key. Off X11
// nothing can be taken, so every window key keeps working.
TEST_F(Keys, RefusedHotKeysLeaveTheirCommandsOnTheWindow) {
    std::unique_ptr<Display, int (*)(Display *)> other(nullptr, XCloseDisplay);
    if (onX11()) {
        other.reset(XOpenDisplay(nullptr));
        ASSERT_TRUE(other);
        XGrabKey(other.get(), XKeysymToKeycode(other.get(), XK_n), 0,
                 DefaultRootWindow(other.get()), True, GrabModeAsync, GrabModeAsync);
        XSync(other.get(), False);
    }
    start(0, true);
    EXPECT_EQ(commandsOf([&] { click(Qt::Key_N); }), std::vector<C>{C::NextSong});
    const auto space = onX11() ? std::vector<C>{} : std::vector<C>{C::PlayPause};
    EXPECT_EQ(commandsOf([&] { click(Qt::Key_Space); }), space);
    // Left and Right are never taken system-wide.
    EXPECT_EQ(commandsOf([&] { click(Qt::Key_Right); }), std::vector<C>{C::FastForward});
}

// A Russian layout in the second group: the N key types Cyrillic te, P ze, F a.
// The commands follow the key's place, for the window's keys and the
// system-wide ones alike; xdotool presses each key in the group of its letter.
TEST_F(Keys, CyrillicLayoutKeepsTheLetterKeys) {
    if (!onX11() || QStandardPaths::findExecutable("setxkbmap").isEmpty() ||
        QStandardPaths::findExecutable("xdotool").isEmpty()) {
        GTEST_SKIP() << "needs an X display, setxkbmap and xdotool";
    }
    // This connection keeps the server from resetting the keymap once
    // setxkbmap has gone.
    ASSERT_TRUE(run("setxkbmap", {"-layout", "us,ru"}));
    struct Restore {
        ~Restore() { run("setxkbmap", {"-layout", "us"}); }
    } restore;
    Display *display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const KeySym second = XkbKeycodeToKeysym(display, XKeysymToKeycode(display, XK_n), 1, 0);
    XCloseDisplay(display);
    ASSERT_EQ(second, static_cast<KeySym>(XK_Cyrillic_te)) << "the layout did not load";

    struct Case {
        int preset;
        bool alwaysListen;
        const char *keys;
        C command;
    };
    const Case cases[] = {
        {0, false, "Cyrillic_te", C::NextSong},      {0, false, "Cyrillic_ze", C::PreviousSong},
        {1, false, "alt+Cyrillic_a", C::Playlist},   {1, false, "ctrl+Cyrillic_ze", C::PlayPause},
        {0, true, "Cyrillic_te", C::NextSong},       {1, true, "alt+Cyrillic_a", C::Playlist},
        {1, true, "ctrl+Cyrillic_ze", C::PlayPause},
    };
    for (const Case &c : cases) {
        start(c.preset, c.alwaysListen);
        EXPECT_EQ(commandsOf([&] {
                      run("xdotool", {"key", c.keys});
                  }),
                  std::vector<C>{c.command})
            << c.keys << " preset " << c.preset << (c.alwaysListen ? " always listen" : "");
        keys.reset();
    }
}

} // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariable("DISPLAY").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
