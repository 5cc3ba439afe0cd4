#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;
class QWindow;

namespace velbrin::platform {

// Whether the window a widget belongs to can be seen at all: shown, not
// minimised, exposed (a window manager unmaps windows on other desktops and
// minimised ones) and, on X11, not wholly covered by other windows. Drawing
// that nobody can see waits for `seenChanged`.
//
// A window counts as seen from the moment it is shown until the window system
// says otherwise, so a caller that shows a window and starts drawing at once
// is never held back by an exposure that is still on its way. Where the window
// system cannot tell coverage (Wayland, compositing desktops, Qt's offscreen
// platform) a covered window counts as seen.
//
// Threads: the user-interface thread.
class WindowSight : public QObject {
    Q_OBJECT
public:
    // Follows the top-level window of `widget`, also after it is reparented.
    explicit WindowSight(QWidget *widget);
    ~WindowSight() override;

    bool seen() const { return seen_; }

signals:
    void seenChanged(bool seen);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class CoverWatch;

    void follow();
    void watchCover();
    void setCovered(bool covered);
    void reassess();

    QPointer<QWidget> widget_;
    QPointer<QWidget> top_;
    QPointer<QWindow> handle_;
    bool unexposed_ = false;
    bool covered_ = false;
    bool seen_ = false;
    std::unique_ptr<CoverWatch> cover_;
};

} // namespace velbrin::platform
