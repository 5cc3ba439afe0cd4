// The screen-saver hold against a private session bus that the test starts,
// with a stand-in for the desktop's inhibit service on it.

#include "fake_screen_saver.h"
#include "private_session_bus.h"
#include "screen_saver.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using velbrin::platform::ScreenSaverInhibit;

namespace {

class PrivateBus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(daemon_.start()) << "dbus-daemon did not start";
        address_ = daemon_.address();
        client_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address_, QStringLiteral("client")));
        ASSERT_TRUE(client_->isConnected());
    }

    void TearDown() override {
        client_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        service_.reset();
        daemon_.stop();
    }

    void offerService() {
        service_ = std::make_unique<velbrin::test::ScreenSaverService>();
        ASSERT_TRUE(service_->offer(address_));
    }

    velbrin::test::PrivateSessionBus daemon_;
    QString address_;
    std::unique_ptr<QDBusConnection> client_;
    std::unique_ptr<velbrin::test::ScreenSaverService> service_;
};

TEST_F(PrivateBus, HoldAndReleaseGoThroughTheInhibitService) {
    offerService();
    {
        ScreenSaverInhibit inhibit(*client_);
        inhibit.hold(QStringLiteral("Playing music"));
        inhibit.hold(QStringLiteral("Playing music")); // one hold only
        EXPECT_EQ(inhibit.method(), ScreenSaverInhibit::Method::SessionBus);
        inhibit.release();
        inhibit.release();
        EXPECT_EQ(inhibit.method(), ScreenSaverInhibit::Method::None);
        inhibit.hold(QStringLiteral("again"));
    } // the destructor releases the second hold
    EXPECT_EQ(service_->calls(),
              (QStringList{QStringLiteral("Inhibit screen_saver_tests Playing music"),
                           QStringLiteral("UnInhibit 77"),
                           QStringLiteral("Inhibit screen_saver_tests again"),
                           QStringLiteral("UnInhibit 77")}));
}

TEST_F(PrivateBus, WithoutTheServiceX11IsTheFallback) {
    ScreenSaverInhibit inhibit(*client_);
    inhibit.hold(QStringLiteral("Playing music"));
    const bool onX11 = QGuiApplication::platformName() == QLatin1String("xcb");
    EXPECT_EQ(inhibit.method(),
              onX11 ? ScreenSaverInhibit::Method::X11Reset : ScreenSaverInhibit::Method::None);
}

} // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (std::getenv("DISPLAY") == nullptr || *std::getenv("DISPLAY") == '\0')
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("screen_saver_tests"));
    return RUN_ALL_TESTS();
}
