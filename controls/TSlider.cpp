#include "TSlider.h"

#include "TransparentPicture.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <limits>

TSlider::TSlider(QWidget *owner) : QWidget(owner) {
    setObjectName(QStringLiteral("TSlider"));
    // Highlighting follows the mouse without a button held.
    setMouseTracking(true);
    // Where nothing is drawn (no pictures, an empty range, a control sized
    // larger than its pictures) the parent shows through.
    setAttribute(Qt::WA_NoSystemBackground);
    resize(0, 0);
}

TSlider::~TSlider() = default;

QSize TSlider::sizeHint() const {
    return fTrack.isNull() ? QSize(0, 0) : fTrack.size();
}

void TSlider::setThumbNormal(const QPixmap &picture) {
    fThumbNormal = transparentCopy(picture);
    if (fThumbHighlighted.isNull())
        fThumbHighlighted = fThumbNormal;
    if (fThumbClicked.isNull())
        fThumbClicked = fThumbNormal;
    resizeScratchPad();
    renderAndPaint();
}

void TSlider::setThumbHighlighted(const QPixmap &picture) {
    fThumbHighlighted = transparentCopy(picture);
    renderAndPaint();
}

void TSlider::setThumbClicked(const QPixmap &picture) {
    fThumbClicked = transparentCopy(picture);
    renderAndPaint();
}

void TSlider::setTrack(const QPixmap &picture) {
    fTrack = picture.copy();
    resizeScratchPad();
    renderAndPaint();
}

void TSlider::setOrientation(TSliderOrientation orientation) {
    if (orientation == fOrientation)
        return;
    fOrientation = orientation;
    resizeScratchPad();
    render();
    update();
}

void TSlider::setMinimum(int value) {
    if (value == fMin)
        return;
    fMin = value;
    if (fPosition < fMin)
        fPosition = fMin;
    // An inverted range cannot hold a position between its ends; pin it to the
    // minimum, where it stays until the range is sound again.
    if (fMin > fMax)
        fPosition = fMin;
    render();
    update();
}

void TSlider::setMaximum(int value) {
    if (value == fMax)
        return;
    fMax = value;
    if (fPosition > fMax)
        fPosition = fMax;
    if (fMin > fMax)
        fPosition = fMin;
    render();
    update();
}

int TSlider::clamped(std::int64_t value) const {
    if (fMin >= fMax)
        return fMin;
    return static_cast<int>(std::clamp<std::int64_t>(value, fMin, fMax));
}

void TSlider::setPosition(int value) {
    const int position = clamped(value);
    if (position == fPosition)
        return;
    const QPoint was = thumbAt();
    fPosition = position;
    // A playing song moves the position many times per pixel of track; the
    // picture changes only when the thumb does.
    if (!fThumbBounds.isEmpty() && thumbAt() == was)
        return;
    renderAndPaint();
}

QPoint TSlider::thumbAt() const {
    // 64-bit arithmetic: the product of a pixel span and a full 32-bit range
    // does not fit in 32 bits. Division truncates toward zero.
    const std::int64_t range = std::int64_t{fMax} - fMin;
    const std::int64_t offset = std::int64_t{fPosition} - fMin;
    if (range <= 0)
        return {};
    if (fOrientation == TSliderOrientation::slHorizontal) {
        const std::int64_t span = fTrack.width() - fThumbNormal.width();
        return {static_cast<int>(span * offset / range), 0};
    }
    // Upwards increases the value when dragging, so the maximum sits on top.
    const std::int64_t span = fTrack.height() - fThumbNormal.height();
    return {0, static_cast<int>(span * (range - offset) / range)};
}

void TSlider::resizeScratchPad() {
    QSize size;
    if (fOrientation == TSliderOrientation::slHorizontal)
        size = QSize(fTrack.width(), fThumbNormal.height());
    else
        size = QSize(fThumbNormal.width(), fTrack.height());
    if (size.isEmpty()) {
        fScratchPad = QPixmap();
        return;
    }
    if (size == fScratchPad.size())
        return;
    fScratchPad = QPixmap(size);
    // A new pixmap holds whatever memory it was given; never show that.
    fScratchPad.fill(Qt::transparent);
}

void TSlider::render() {
    if (fScratchPad.isNull()) {
        fThumbBounds = QRect();
        return;
    }
    fScratchPad.fill(Qt::transparent);
    if (fMin >= fMax || fTrack.isNull() || fThumbNormal.isNull()) {
        fThumbBounds = QRect();
        return;
    }
    QPainter painter(&fScratchPad);
    painter.drawPixmap(0, 0, fTrack);
    const QPoint at = thumbAt();
    fThumbBounds = QRect(at, fThumbNormal.size());
    const QPixmap &thumb = fTracking      ? fThumbClicked
                           : fHighlighted ? fThumbHighlighted
                                          : fThumbNormal;
    painter.drawPixmap(at, thumb);
}

void TSlider::renderAndPaint() {
    render();
    repaint();
}

void TSlider::paintEvent(QPaintEvent *) {
    if (fScratchPad.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, fScratchPad);
}

int TSlider::dragPosition(QPoint mouse) const {
    const std::int64_t range = std::int64_t{fMax} - fMin;
    std::int64_t span = 0;
    std::int64_t moved = 0;
    if (fOrientation == TSliderOrientation::slHorizontal) {
        span = fTrack.width() - fThumbNormal.width();
        moved = mouse.x() - fTrackingPoint.x();
    } else {
        span = fTrack.height() - fThumbNormal.height();
        moved = fTrackingPoint.y() - mouse.y();
    }
    // A thumb as long as the track has nowhere to go.
    if (span <= 0)
        return fTrackingPosition;
    return clamped(fTrackingPosition + range * moved / span);
}

void TSlider::mousePressEvent(QMouseEvent *event) {
    const QPoint point = event->position().toPoint();
    emit OnMouseDown(this, event->button(), event->modifiers(), point);
    if (event->button() != Qt::LeftButton)
        return;
    fClickPending = true;
    if (!fThumbBounds.contains(point))
        return;
    fTracking = true;
    fTrackingPoint = point;
    fTrackingPosition = fPosition;
    renderAndPaint();
}

void TSlider::mouseMoveEvent(QMouseEvent *event) {
    const QPoint point = event->position().toPoint();
    emit OnMouseMove(this, event->modifiers(), point);
    if (fTracking) {
        setPosition(dragPosition(point));
        return;
    }
    if (fThumbBounds.contains(point)) {
        fHighlighted = true;
        renderAndPaint();
    } else if (fHighlighted) {
        fHighlighted = false;
        renderAndPaint();
    }
}

void TSlider::mouseReleaseEvent(QMouseEvent *event) {
    const QPoint point = event->position().toPoint();
    emit OnMouseUp(this, event->button(), event->modifiers(), point);
    if (event->button() != Qt::LeftButton)
        return;
    const bool clicked = fClickPending && rect().contains(point);
    fClickPending = false;
    if (fTracking) {
        fTracking = false;
        if (fPosition != fTrackingPosition)
            emit OnChange(this);
        renderAndPaint();
    }
    if (clicked)
        emit OnClick(this);
}
