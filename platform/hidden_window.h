#pragma once

#include "kelvra_interface.h"

#include <QObject>

#include <cstdint>
#include <functional>

namespace velbrin::platform {

// A window that only receives messages: the place where the engine's threads
// hand their notifications to the user-interface thread.
//
// Threads: post() (and the kv_window entry the engine calls) may run on any
// thread; it only queues an event with Qt, which is thread-safe. Everything
// else, including the handler, runs on the thread that owns this object.
// Queued messages are delivered one at a time in posting order; messages still
// queued when the window is destroyed are dropped.
class HiddenWindow : public QObject {
    Q_OBJECT
public:
    // Returns the message's result. Called on the owning thread only.
    using Handler = std::function<intptr_t(uint32_t message, uintptr_t wparam, intptr_t lparam)>;

    explicit HiddenWindow(QObject *parent = nullptr);
    ~HiddenWindow() override;
    HiddenWindow(const HiddenWindow &) = delete;
    HiddenWindow &operator=(const HiddenWindow &) = delete;

    void setHandler(Handler handler) { handler_ = std::move(handler); }

    // The record the engine posts through. Stays valid as long as this object.
    kv_window *handle() { return &bridge_.window; }

    // Queues a message for delivery on the owning thread (any thread).
    void post(uint32_t message, uintptr_t wparam, intptr_t lparam);

    // Delivers a message at once, as a direct send would (owning thread only).
    intptr_t send(uint32_t message, uintptr_t wparam, intptr_t lparam);

    // What a message nobody claims gets.
    static intptr_t defaultProcessing(uint32_t message, uintptr_t wparam, intptr_t lparam);

    // Where an exception thrown by a handler goes. The default writes a warning;
    // the program installs one that shows the error to the user. An exception
    // must never unwind through Qt's event loop.
    using ErrorReporter = std::function<void(const char *what)>;
    static void setErrorReporter(ErrorReporter reporter);

protected:
    bool event(QEvent *e) override;

private:
    struct Bridge {
        kv_window window;
        HiddenWindow *owner;
    };
    static void postFromEngine(kv_window *self, uint32_t message, uintptr_t wparam,
                               intptr_t lparam);

    Bridge bridge_;
    Handler handler_;
};

} // namespace velbrin::platform
