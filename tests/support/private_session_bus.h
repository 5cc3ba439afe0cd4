#pragma once

// A session bus of the test's own: a dbus-daemon started for the test and
// ended with it, so nothing reaches or depends on the desktop's bus.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace velbrin::test {

class PrivateSessionBus {
public:
    PrivateSessionBus() = default;
    ~PrivateSessionBus() { stop(); }
    PrivateSessionBus(const PrivateSessionBus &) = delete;
    PrivateSessionBus &operator=(const PrivateSessionBus &) = delete;

    // False when dbus-daemon could not be started or named no address.
    bool start() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(5000)) {
            return false;
        }
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        return !address_.isEmpty();
    }
    void stop() {
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.kill();
            daemon_.waitForFinished();
        }
    }
    const QString &address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

} // namespace velbrin::test
