#pragma once

// A stand-in for the desktop's screen-saver inhibit service, offered on a
// test's private session bus from a thread of its own, so that the blocking
// calls of the code under test find it answering.

#include <QDBusConnection>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>

namespace velbrin::test {

// Answers Inhibit with the cookie 77 and records every call.
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

class ScreenSaverService {
public:
    ScreenSaverService() = default;
    ~ScreenSaverService() {
        if (thread_.isRunning()) {
            thread_.quit();
            thread_.wait();
        }
        QDBusConnection::disconnectFromBus(kConnection);
    }
    ScreenSaverService(const ScreenSaverService &) = delete;
    ScreenSaverService &operator=(const ScreenSaverService &) = delete;

    // False when the service could not be put on the bus at `address`.
    bool offer(const QString &address) {
        saver_.moveToThread(&thread_);
        thread_.start();
        QDBusConnection bus = QDBusConnection::connectToBus(address, kConnection);
        return bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver_,
                                  QDBusConnection::ExportAllSlots) &&
               bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
    }
    QStringList calls() { return saver_.calls(); }

private:
    static inline const QString kConnection = QStringLiteral("screen-saver-service");
    QThread thread_;
    FakeScreenSaver saver_;
};

} // namespace velbrin::test
