// One running player per session: the program itself on a private session
// bus, started again as a launcher or a file manager would start it.
#include "private_session_bus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>

namespace {

bool waitFor(const std::function<bool()> &done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QThread::msleep(50);
    }
    return done();
}

bool makeSong(const QTemporaryDir &dir, const QString &name, int hz) {
    const QString wav = dir.filePath(name + ".wav");
    return QProcess::execute("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "30",
                                     "sine", QString::number(hz), "vol", "0.3"}) == 0 &&
           QProcess::execute("lame", {"--quiet", "-b", "128", wav, dir.filePath(name)}) == 0;
}

class OnePlayer : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("sox").isEmpty() ||
            QStandardPaths::findExecutable("lame").isEmpty() || !bus.start()) {
            GTEST_SKIP() << "needs sox, lame and dbus-daemon";
        }
        ASSERT_TRUE(makeSong(dir, "a.mp3", 440) && makeSong(dir, "b.mp3", 660));
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        env.insert("VELBRIN_SETTINGS", dir.filePath("velbrin.ini"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KELVRA_OUTPUT", "null");
        env.insert("XDG_RUNTIME_DIR", dir.path());
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(bus.address(), QStringLiteral("test")));
    }
    void TearDown() override {
        if (first.state() != QProcess::NotRunning) {
            first.kill();
            first.waitForFinished();
        }
        connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("test"));
    }

    // A later start, from the songs' folder; its exit status, or -1 when it
    // did not end.
    int startAgain(const QStringList &args, QByteArray *out = nullptr,
                   const QProcessEnvironment &extra = {}) {
        QProcess p;
        QProcessEnvironment e = env;
        for (const QString &key : extra.keys()) {
            e.insert(key, extra.value(key));
        }
        p.setProcessEnvironment(e);
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(VELBRIN_BIN_DIR "/velbrin"), args);
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        if (out != nullptr) {
            *out = p.readAllStandardOutput();
        }
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    // A property of the player, read as a desktop widget reads it; invalid
    // while no player is on the bus.
    QVariant property(const QString &name) {
        QDBusMessage get = QDBusMessage::createMethodCall("org.mpris.MediaPlayer2.velbrin",
                                                          "/org/mpris/MediaPlayer2",
                                                          "org.freedesktop.DBus.Properties", "Get");
        get << QStringLiteral("org.mpris.MediaPlayer2.Player") << name;
        const QDBusReply<QDBusVariant> reply = connection->call(get);
        return reply.isValid() ? reply.value().variant() : QVariant();
    }
    QString status() { return property("PlaybackStatus").toString(); }
    QString url() {
        QVariantMap map;
        const QVariant metadata = property("Metadata");
        if (metadata.canConvert<QDBusArgument>()) {
            metadata.value<QDBusArgument>() >> map;
        }
        return map.value("xesam:url").toString();
    }

    velbrin::test::PrivateSessionBus bus;
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    std::unique_ptr<QDBusConnection> connection;
    QProcess first;
};

TEST_F(OnePlayer, ALaterStartHandsItsSongsAndActionsToTheRunningPlayer) {
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(VELBRIN_BIN_DIR "/velbrin"), {dir.filePath("a.mp3")});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return status() == "Playing"; }))
        << first.readAllStandardError().toStdString();
    ASSERT_TRUE(url().endsWith("/a.mp3"));

    EXPECT_EQ(startAgain({"b.mp3"}), 0) << "a relative name, from the later start's folder";
    EXPECT_TRUE(waitFor([&] { return url().endsWith("/b.mp3") && status() == "Playing"; }))
        << "the running player adds and plays it";

    EXPECT_EQ(startAgain({"--stop"}), 0);
    EXPECT_TRUE(waitFor([&] { return status() == "Stopped"; }));
    EXPECT_EQ(startAgain({"--play-pause"}), 0);
    EXPECT_TRUE(waitFor([&] { return status() == "Playing"; }));
    EXPECT_EQ(startAgain({}), 0) << "without songs it only raises the running player";

    QByteArray out;
    QProcessEnvironment shown;
    shown.insert("VELBRIN_REPORT_SHOWN", "1");
    shown.insert("VELBRIN_QUIT_AFTER", "500");
    EXPECT_EQ(startAgain({"--new-instance"}, &out, shown), 0);
    EXPECT_TRUE(out.contains("shown-at-ms")) << "a window of its own: " << out.toStdString();
    EXPECT_FALSE(first.waitForFinished(0)) << "the first player still runs";
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
