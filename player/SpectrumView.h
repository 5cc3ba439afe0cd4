#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class FrameTimer;

namespace velbrin::platform {
class WindowSight;
}

namespace velbrin::player {

// The analyser's 64 bands, band i centred on (i + 1) * rate / 128 Hz, each 0
// to 255 (linear in decibels).
using SpectrumBands = std::array<uint8_t, 64>;

// The band whose centre lies nearest to `hertz` at the sample rate `rate`.
int BandForFrequency(double hertz, int rate);
// The loudest band; the lowest of equals.
int PeakBand(const SpectrumBands &bands);

// A small live spectrum for the main window's display panel. While the song
// plays and the view can be seen it asks its source for the latest bands about
// 25 times a second and draws them as bars that fall back slowly, repainting
// only the bars that moved; stopped, hidden, minimised or covered it asks for
// nothing and its timer does not run. While every bar stays flat it asks five
// times a second only.
//
// Threads: user-interface thread only. The source reads what the engine's
// thread left; the view never touches engine state itself.
class SpectrumView : public QWidget {
    Q_OBJECT
public:
    enum class Look { Skin, Plain };
    static constexpr int kFrameMs = 40;
    static constexpr int kFlatFrameMs = 200;

    explicit SpectrumView(QWidget *parent = nullptr);

    void setLook(Look look);
    Look look() const { return look_; }
    // What lies beneath the view in the skin look, drawn under the bars: the
    // view then paints every pixel itself, so nothing beneath it is painted
    // again for each frame.
    void setBackground(const QPixmap &picture);
    // Fills the bands and returns true when there are new ones.
    void setSource(std::function<bool(SpectrumBands &)> source) { source_ = std::move(source); }
    // Follows the song: bars run only while it plays.
    void setPlaying(bool playing);
    bool isRunning() const;
    // The frame interval in use: kFrameMs, or kFlatFrameMs while all is flat.
    int frameInterval() const;
    const SpectrumBands &shownBands() const { return shown_; }
    // Columns drawn: two bands each.
    static constexpr int kColumns = 32;
    QRect columnRect(int column) const;
    QColor barColour(int column) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void frame();
    void updateTimer();
    void updateOpacity();
    QRect columnArea(int column, int level) const;
    int columnLevel(int column) const;

    FrameTimer *timer_ = nullptr;            // child object
    platform::WindowSight *sight_ = nullptr; // child object
    std::function<bool(SpectrumBands &)> source_;
    SpectrumBands shown_{};
    Look look_ = Look::Skin;
    QPixmap background_;
    bool playing_ = false;
};

} // namespace velbrin::player
