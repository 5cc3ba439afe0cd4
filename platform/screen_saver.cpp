#include "screen_saver.h"

#include "x11_connection.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QTimer>

#include <xcb/xcb.h>

namespace velbrin::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
// A desktop that does not answer within this time is taken to have no
// inhibit service; the user-interface thread must not hang on it.
constexpr int kCallTimeoutMs = 2000;
constexpr int kResetIntervalMs = 30000;

} // namespace

ScreenSaverInhibit::ScreenSaverInhibit(QDBusConnection bus, QObject *parent)
    : QObject(parent), bus_(std::move(bus)) {}

ScreenSaverInhibit::~ScreenSaverInhibit() {
    release();
}

void ScreenSaverInhibit::hold(const QString &reason) {
    if (method_ != Method::None)
        return;
    if (bus_.isConnected()) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Inhibit"));
        call << QCoreApplication::applicationName() << reason;
        const QDBusMessage reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
            cookie_ = reply.arguments().front().toUInt();
            method_ = Method::SessionBus;
            return;
        }
    }
    if (applicationX11Connection()) {
        method_ = Method::X11Reset;
        if (resetTimer_ == nullptr) {
            resetTimer_ = new QTimer(this);
            resetTimer_->setInterval(kResetIntervalMs);
            // Whole seconds are precise enough, and let the system wake the
            // program together with others.
            resetTimer_->setTimerType(Qt::VeryCoarseTimer);
            connect(resetTimer_, &QTimer::timeout, this, &ScreenSaverInhibit::resetX11);
        }
        resetX11();
        resetTimer_->start();
    }
}

void ScreenSaverInhibit::release() {
    if (method_ == Method::SessionBus) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("UnInhibit"));
        call << cookie_;
        bus_.call(call, QDBus::Block, kCallTimeoutMs);
    } else if (method_ == Method::X11Reset) {
        resetTimer_->stop();
    }
    method_ = Method::None;
    cookie_ = 0;
}

void ScreenSaverInhibit::resetX11() {
    // The same as user input for the screen-saver and power-saving timers.
    if (const X11Connection x11 = applicationX11Connection()) {
        xcb_force_screen_saver(x11.connection, XCB_SCREEN_SAVER_RESET);
        xcb_flush(x11.connection);
    }
}

} // namespace velbrin::platform
