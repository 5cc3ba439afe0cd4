#include "SpectrumView.h"

#include "FrameTimer.h"
#include "window_sight.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace velbrin::player {

namespace {
// How far a bar falls in one frame: a peak fades in about a second.
constexpr int kFallPerFrame = 10;
} // namespace

int BandForFrequency(double hertz, int rate) {
    if (rate <= 0) {
        return 0;
    }
    const auto band = static_cast<int>(std::lround(hertz * 128.0 / rate)) - 1;
    return std::clamp(band, 0, 63);
}

int PeakBand(const SpectrumBands &bands) {
    return static_cast<int>(std::max_element(bands.begin(), bands.end()) - bands.begin());
}

SpectrumView::SpectrumView(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SpectrumView"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    timer_ = new FrameTimer(this);
    timer_->setInterval(kFrameMs);
    connect(timer_, &FrameTimer::timeout, this, &SpectrumView::frame);
    sight_ = new platform::WindowSight(this);
    connect(sight_, &platform::WindowSight::seenChanged, this, &SpectrumView::updateTimer);
}

void SpectrumView::setLook(Look look) {
    look_ = look;
    updateOpacity();
    update();
}

void SpectrumView::setBackground(const QPixmap &picture) {
    background_ = picture;
    updateOpacity();
    update();
}

void SpectrumView::updateOpacity() {
    setAttribute(Qt::WA_OpaquePaintEvent, look_ == Look::Plain || !background_.isNull());
}

void SpectrumView::setPlaying(bool playing) {
    playing_ = playing;
    if (!playing) {
        shown_.fill(0);
        update();
    }
    timer_->setInterval(kFrameMs);
    updateTimer();
}

bool SpectrumView::isRunning() const {
    return timer_->isActive();
}

int SpectrumView::frameInterval() const {
    return timer_->interval();
}

void SpectrumView::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    updateTimer();
}

void SpectrumView::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    updateTimer();
}

void SpectrumView::updateTimer() {
    if (playing_ && isVisible() && sight_->seen() && source_) {
        if (!timer_->isActive()) {
            timer_->start();
        }
    } else {
        timer_->stop();
    }
}

void SpectrumView::frame() {
    SpectrumBands latest{};
    if (!source_ || !source_(latest)) {
        latest.fill(0);
    }
    std::array<int, kColumns> before{};
    for (int c = 0; c < kColumns; ++c) {
        before[static_cast<size_t>(c)] = columnLevel(c);
    }
    bool flat = true;
    for (size_t i = 0; i < shown_.size(); ++i) {
        const int fallen = std::max(0, shown_[i] - kFallPerFrame);
        shown_[i] = static_cast<uint8_t>(std::max<int>(fallen, latest[i]));
        flat = flat && shown_[i] == 0;
    }
    // Only the bars that moved are drawn again; a bar's colour follows its
    // height, so a moved bar is drawn whole. One rectangle around them all
    // keeps clipping cheap for the painter.
    QRect moved;
    for (int c = 0; c < kColumns; ++c) {
        const int was = before[static_cast<size_t>(c)];
        const int now = columnLevel(c);
        if (columnArea(c, was).height() != columnArea(c, now).height() ||
            (look_ == Look::Skin && was != now && columnArea(c, now).height() > 0)) {
            moved |= columnArea(c, std::max(was, now));
        }
    }
    if (!moved.isEmpty()) {
        update(moved);
    }
    // Silence draws nothing; asking less often then is enough to see the
    // sound come back.
    timer_->setInterval(flat ? kFlatFrameMs : kFrameMs);
}

int SpectrumView::columnLevel(int column) const {
    return std::max(shown_[static_cast<size_t>(2 * column)],
                    shown_[static_cast<size_t>(2 * column + 1)]);
}

QRect SpectrumView::columnArea(int column, int level) const {
    const int w = std::max(1, width() / kColumns);
    const int left = (width() - w * kColumns) / 2 + column * w;
    const int h = level * height() / 255;
    return {left, height() - h, std::max(1, w - 1), h};
}

QRect SpectrumView::columnRect(int column) const {
    return columnArea(column, columnLevel(column));
}

QColor SpectrumView::barColour(int column) const {
    if (look_ == Look::Plain) {
        return palette().color(QPalette::Highlight);
    }
    // The skin's display glows from green through yellow to red with loudness.
    const int level = columnLevel(column);
    return QColor::fromHsv(std::clamp(120 - level * 120 / 255, 0, 120), 255, 255);
}

void SpectrumView::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    if (look_ == Look::Plain) {
        painter.fillRect(event->rect(), Qt::black);
    } else if (!background_.isNull()) {
        painter.drawPixmap(event->rect(), background_, event->rect());
    }
    for (int c = 0; c < kColumns; ++c) {
        const QRect bar = columnRect(c);
        if (bar.height() > 0 && bar.intersects(event->rect())) {
            painter.fillRect(bar, barColour(c));
        }
    }
}

} // namespace velbrin::player
