#include "hidden_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QtGlobal>

#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>

namespace velbrin::platform {
namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent : public QEvent {
public:
    MessageEvent(uint32_t message, uintptr_t wparam, intptr_t lparam)
        : QEvent(kMessageEvent), message_(message), wparam_(wparam), lparam_(lparam) {}
    uint32_t message_;
    uintptr_t wparam_;
    intptr_t lparam_;
};

std::mutex reporterMutex;
HiddenWindow::ErrorReporter reporter;

void report(const char *what) {
    HiddenWindow::ErrorReporter current;
    {
        std::lock_guard lock(reporterMutex);
        current = reporter;
    }
    if (current) {
        current(what);
    } else {
        qWarning("Unhandled error in a notification handler: %s", what);
    }
}

} // namespace

HiddenWindow::HiddenWindow(QObject *parent) : QObject(parent), bridge_{{&postFromEngine}, this} {
    static_assert(offsetof(Bridge, window) == 0, "the engine sees only the kv_window");
}

HiddenWindow::~HiddenWindow() = default;

void HiddenWindow::post(uint32_t message, uintptr_t wparam, intptr_t lparam) {
    // Qt takes ownership of the posted event.
    QCoreApplication::postEvent(this,
                                std::make_unique<MessageEvent>(message, wparam, lparam).release());
}

void HiddenWindow::postFromEngine(kv_window *self, uint32_t message, uintptr_t wparam,
                                  intptr_t lparam) {
    if (self == nullptr) {
        return;
    }
    reinterpret_cast<Bridge *>(self)->owner->post(message, wparam, lparam);
}

intptr_t HiddenWindow::send(uint32_t message, uintptr_t wparam, intptr_t lparam) {
    if (!handler_) {
        return defaultProcessing(message, wparam, lparam);
    }
    return handler_(message, wparam, lparam);
}

intptr_t HiddenWindow::defaultProcessing(uint32_t, uintptr_t, intptr_t) {
    return 0;
}

void HiddenWindow::setErrorReporter(ErrorReporter r) {
    std::lock_guard lock(reporterMutex);
    reporter = std::move(r);
}

bool HiddenWindow::event(QEvent *e) {
    if (e->type() != kMessageEvent) {
        return QObject::event(e);
    }
    const auto *m = static_cast<MessageEvent *>(e);
    try {
        send(m->message_, m->wparam_, m->lparam_);
    } catch (const std::exception &ex) {
        report(ex.what());
    } catch (...) {
        report("unknown error");
    }
    return true;
}

} // namespace velbrin::platform
