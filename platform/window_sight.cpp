#include "window_sight.h"

#include "x11_connection.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>

namespace velbrin::platform {

// Coverage on X11: the toolkit does not ask the server for visibility changes,
// so they are added to the window's event mask here and read from the
// application's native events.
class WindowSight::CoverWatch : public QAbstractNativeEventFilter {
public:
    CoverWatch(WindowSight &owner, X11Connection x11, uint32_t window)
        : owner_(owner), x11_(x11), window_(window) {
        // The toolkit's own mask is kept: replacing it would cut off its input.
        const xcb_get_window_attributes_cookie_t cookie =
            xcb_get_window_attributes(x11_.connection, window_);
        xcb_get_window_attributes_reply_t *reply =
            xcb_get_window_attributes_reply(x11_.connection, cookie, nullptr);
        if (reply == nullptr)
            return;
        const uint32_t mask = reply->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
        std::free(reply);
        xcb_change_window_attributes(x11_.connection, window_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(x11_.connection);
        QCoreApplication::instance()->installNativeEventFilter(this);
        installed_ = true;
    }
    ~CoverWatch() override {
        if (installed_)
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }
    CoverWatch(const CoverWatch &) = delete;
    CoverWatch &operator=(const CoverWatch &) = delete;

    uint32_t window() const { return window_; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7F) != XCB_VISIBILITY_NOTIFY)
            return false;
        const auto *visibility = static_cast<const xcb_visibility_notify_event_t *>(message);
        if (visibility->window == window_)
            owner_.setCovered(visibility->state == XCB_VISIBILITY_FULLY_OBSCURED);
        return false;
    }

private:
    WindowSight &owner_;
    X11Connection x11_;
    uint32_t window_ = 0;
    bool installed_ = false;
};

WindowSight::WindowSight(QWidget *widget) : QObject(widget), widget_(widget) {
    widget_->installEventFilter(this);
    follow();
}

WindowSight::~WindowSight() = default;

void WindowSight::follow() {
    QWidget *top = widget_ != nullptr ? widget_->window() : nullptr;
    if (top != top_) {
        if (top_ != nullptr && top_ != widget_)
            top_->removeEventFilter(this);
        top_ = top;
        if (top_ != nullptr && top_ != widget_)
            top_->installEventFilter(this);
        unexposed_ = false;
        covered_ = false;
        cover_.reset();
    }
    QWindow *handle = top_ != nullptr ? top_->windowHandle() : nullptr;
    if (handle != handle_) {
        if (handle_ != nullptr)
            handle_->removeEventFilter(this);
        handle_ = handle;
        if (handle_ != nullptr)
            handle_->installEventFilter(this);
        cover_.reset();
    }
    watchCover();
    reassess();
}

void WindowSight::watchCover() {
    if (top_ == nullptr || !top_->testAttribute(Qt::WA_WState_Created))
        return;
    const auto window = static_cast<uint32_t>(top_->internalWinId());
    if (cover_ != nullptr && cover_->window() == window)
        return;
    cover_.reset();
    const X11Connection x11 = applicationX11Connection();
    if (x11 && window != 0)
        cover_ = std::make_unique<CoverWatch>(*this, x11, window);
}

void WindowSight::setCovered(bool covered) {
    covered_ = covered;
    reassess();
}

bool WindowSight::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::ParentChange:
    case QEvent::WinIdChange:
        follow();
        break;
    case QEvent::Show:
        if (watched == top_) {
            // Shown again: seen until the window system reports otherwise.
            unexposed_ = false;
            covered_ = false;
            follow();
        }
        break;
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        if (watched == top_)
            reassess();
        break;
    case QEvent::Expose:
        if (watched == handle_) {
            unexposed_ = !handle_->isExposed();
            // New pixels to draw mean part of the window is uncovered, even
            // if the coverage report that said so never came.
            if (!unexposed_)
                covered_ = false;
            reassess();
        }
        break;
    default:
        break;
    }
    return false;
}

void WindowSight::reassess() {
    const bool seen = top_ != nullptr && top_->isVisible() &&
                      !(top_->windowState() & Qt::WindowMinimized) && !unexposed_ && !covered_;
    if (seen == seen_)
        return;
    seen_ = seen;
    emit seenChanged(seen_);
}

} // namespace velbrin::platform
