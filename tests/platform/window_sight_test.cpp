// Whether a window can be seen, on the test run's virtual display (Qt's
// offscreen platform without one, where coverage cannot be told).
#include "window_sight.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>

using velbrin::platform::WindowSight;

TEST(WindowSight, MinimisedHiddenAndCoveredWindowsAreNotSeen) {
    QWidget window;
    window.setGeometry(100, 100, 200, 100);
    auto *inside = new QWidget(&window);   // owned by the window
    auto *sight = new WindowSight(inside); // owned by the widget it follows
    EXPECT_FALSE(sight->seen()) << "not shown yet";
    window.show();
    EXPECT_TRUE(sight->seen()) << "seen at once, before the exposure arrives";
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(sight->seen());

    window.showMinimized();
    EXPECT_FALSE(sight->seen());
    window.showNormal();
    EXPECT_TRUE(sight->seen());

    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        QWidget cover;
        cover.setGeometry(50, 50, 400, 300);
        cover.show();
        EXPECT_TRUE(QTest::qWaitFor([sight] { return !sight->seen(); }, 5000)) << "covered";
        cover.setGeometry(50, 50, 400, 100); // the window's lower half shows
        EXPECT_TRUE(QTest::qWaitFor([sight] { return sight->seen(); }, 5000)) << "uncovered";
    }

    window.hide();
    EXPECT_FALSE(sight->seen());
}

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (std::getenv("DISPLAY") == nullptr || *std::getenv("DISPLAY") == '\0')
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
