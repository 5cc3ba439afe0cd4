#pragma once

#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <cstdint>

enum class TSliderOrientation { slHorizontal, slVertical };

// A slider drawn from pictures: an opaque track and a thumb with three looks
// (normal, highlighted under the mouse, clicked while dragged).
//
// Everything is composed into one off-screen picture (`ScratchPad`) and the
// paint event only copies it, so a moving thumb never flickers and a position
// change costs one copy. The control starts 0 x 0; its owner sizes it, usually
// to the track picture's size.
//
// Setting `Position` in code never raises `OnChange`; only a drag that ends on
// a different position does, so an owner can follow an external position (a
// playing song) without feeding it back.
//
// The control is named "TSlider" until its owner gives it a name of its own.
//
// Threading: user-interface thread only, like every widget.
class TSlider : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QPixmap ThumbNormal READ ThumbNormal WRITE setThumbNormal)
    Q_PROPERTY(QPixmap ThumbHighlighted READ ThumbHighlighted WRITE setThumbHighlighted)
    Q_PROPERTY(QPixmap ThumbClicked READ ThumbClicked WRITE setThumbClicked)
    Q_PROPERTY(QPixmap Track READ Track WRITE setTrack)
    Q_PROPERTY(int Minimum READ Minimum WRITE setMinimum)
    Q_PROPERTY(int Maximum READ Maximum WRITE setMaximum)
    Q_PROPERTY(int Position READ Position WRITE setPosition)

public:
    explicit TSlider(QWidget *owner = nullptr);
    ~TSlider() override;

    const QPixmap &ThumbNormal() const { return fThumbNormal; }
    const QPixmap &ThumbHighlighted() const { return fThumbHighlighted; }
    const QPixmap &ThumbClicked() const { return fThumbClicked; }
    const QPixmap &Track() const { return fTrack; }
    TSliderOrientation Orientation() const { return fOrientation; }
    int Minimum() const { return fMin; }
    int Maximum() const { return fMax; }
    int Position() const { return fPosition; }

    // The normal thumb also becomes the highlighted and the clicked look
    // while those have not been given their own picture.
    void setThumbNormal(const QPixmap &picture);
    void setThumbHighlighted(const QPixmap &picture);
    void setThumbClicked(const QPixmap &picture);
    void setTrack(const QPixmap &picture);
    void setOrientation(TSliderOrientation orientation);
    void setMinimum(int value);
    void setMaximum(int value);
    void setPosition(int value);

    // Where the thumb is drawn, in control coordinates; empty until a thumb
    // has been drawn. Presses count only inside it.
    QRect ThumbBounds() const { return fThumbBounds; }
    bool Highlighted() const { return fHighlighted; }
    bool Tracking() const { return fTracking; }
    // The composed picture the paint event copies.
    const QPixmap &ScratchPad() const { return fScratchPad; }

    QSize sizeHint() const override;

signals:
    // A drag ended on a position other than the one it started from.
    void OnChange(TSlider *sender);
    // Raised before the slider's own handling of the press or release, so an
    // owner sees the press before the drag starts and the release before
    // `OnChange`.
    void OnMouseDown(TSlider *sender, Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                     QPoint point);
    void OnMouseUp(TSlider *sender, Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                   QPoint point);
    void OnMouseMove(TSlider *sender, Qt::KeyboardModifiers modifiers, QPoint point);
    // A left press and release both inside the control.
    void OnClick(TSlider *sender);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void resizeScratchPad();
    void render();
    void renderAndPaint();
    QPoint thumbAt() const;
    int clamped(std::int64_t value) const;
    int dragPosition(QPoint mouse) const;

    QPixmap fThumbNormal;
    QPixmap fThumbHighlighted;
    QPixmap fThumbClicked;
    QPixmap fTrack;
    QPixmap fScratchPad;
    TSliderOrientation fOrientation = TSliderOrientation::slHorizontal;
    int fMin = 0;
    int fMax = 100;
    int fPosition = 0;
    bool fHighlighted = false;
    bool fTracking = false;
    bool fClickPending = false;
    QPoint fTrackingPoint;
    int fTrackingPosition = 0;
    QRect fThumbBounds;
};
