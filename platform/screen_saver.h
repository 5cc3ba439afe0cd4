#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QTimer;

namespace velbrin::platform {

// Keeps the screen saver and display power saving away while it is held.
//
// The desktop's inhibit interface on the session bus (org.freedesktop.
// ScreenSaver) is asked first; it also covers Wayland desktops. Where no such
// service answers and the program runs on X11, the X server's screen-saver
// timer is reset at intervals shorter than any screen-saver delay a user can
// set. Elsewhere there is nothing to hold, and holding does nothing.
//
// Threads: the user-interface thread.
class ScreenSaverInhibit : public QObject {
    Q_OBJECT
public:
    enum class Method { None, SessionBus, X11Reset };

    explicit ScreenSaverInhibit(QDBusConnection bus = QDBusConnection::sessionBus(),
                                QObject *parent = nullptr);
    ~ScreenSaverInhibit() override; // releases a hold

    // Holding twice keeps one hold; releasing without a hold does nothing.
    void hold(const QString &reason);
    void release();
    Method method() const { return method_; }

private:
    void resetX11();

    QDBusConnection bus_;
    Method method_ = Method::None;
    uint cookie_ = 0;
    QTimer *resetTimer_ = nullptr;
};

} // namespace velbrin::platform
