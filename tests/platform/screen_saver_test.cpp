// The screen-saver hold against a private session bus that the test starts,
// with a stand-in for the desktop's inhibit service on it.

#include "private_session_bus.h"
#include "screen_saver.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QMutex>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>

using velbrin::platform::ScreenSaverInhibit;

namespace {

// Answers Inhibit with a cookie and records every call.
class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    QStringList calls() {
        QMutexLocker lock(&mutex_);
        return calls_;
    }
public slots:
    uint Inhibit(const QString &application, const QString &reason) {
        QMutexLocker lock(&mutex_);
        calls_ << QStringLiteral("Inhibit %1 %2").arg(application, reason);
        return 77;
    }
    void UnInhibit(uint cookie) {
        QMutexLocker lock(&mutex_);
        calls_ << QStringLiteral("UnInhibit %1").arg(cookie);
    }

private:
    QMutex mutex_;
    QStringList calls_;
};

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
        if (serviceThread_.isRunning()) {
            serviceThread_.quit();
            serviceThread_.wait();
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        daemon_.stop();
    }

    // The service runs on a thread of its own, so the blocking calls of the
    // code under test find it answering.
    void offerService() {
        service_.moveToThread(&serviceThread_);
        serviceThread_.start();
        QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("service"));
        ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &service_,
                                       QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
    }

    velbrin::test::PrivateSessionBus daemon_;
    QString address_;
    std::unique_ptr<QDBusConnection> client_;
    QThread serviceThread_;
    FakeScreenSaver service_;
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
    EXPECT_EQ(service_.calls(),
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

#include "screen_saver_test.moc"
