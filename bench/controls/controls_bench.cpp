// Cost of the moving parts of the main window's display: one step of the
// scrolling title (move, measure, paint the frame) and one position update of
// the slider, each against a plain QLabel repainting the same area as a peer.
//
// Run: QT_QPA_PLATFORM=offscreen build/release/bin/controls_bench
// The "cpu_percent_at_40Hz" counter is the share of one core the title takes when it
// steps every 25 ms, as in the main window.

#include "Skin.h"
#include "TCoolScrollingText.h"
#include "TSlider.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QTest>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

const QString Title = QStringLiteral("Some Artist - A Rather Long Song Title (Extended Live Take)");

class Panel : public QWidget {
protected:
    void paintEvent(QPaintEvent *) override {
        QPainter(this).drawPixmap(0, 0, Skin::picture(Skin::Picture::RightPanel));
    }
};

struct Window {
    Window() {
        panel.resize(Skin::RightPanelRect.size());
        panel.show();
        // Until the window is exposed, repaint() draws nothing.
        exposed = QTest::qWaitForWindowExposed(&panel);
    }
    bool exposed = false;
    Panel panel;
};

void BM_ScrollingTitleStep(benchmark::State &state) {
    Window window;
    if (!window.exposed) {
        state.SkipWithError("window not exposed");
        return;
    }
    TCoolScrollingText title(&window.panel);
    title.setGeometry(4, 2, 236, 24);
    QFont font;
    font.setPixelSize(16);
    title.setFont(font);
    title.setFontColor(QColor(0, 255, 255));
    title.setSimpleView(true);
    title.setTransparent(true);
    title.setText(Title);
    title.setInterval(60000); // steps are driven here, not by the timer
    title.show();
    title.setActive(true);
    for (auto _ : state) {
        title.ScrollStep();
        title.repaint();
    }
    // Seconds per step times 40 steps a second, in percent: the counter is
    // inverted from iterations / (4000 seconds).
    state.counters["cpu_percent_at_40Hz"] = benchmark::Counter(
        1.0 / 4000.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_PeerLabelRepaint(benchmark::State &state) {
    Window window;
    if (!window.exposed) {
        state.SkipWithError("window not exposed");
        return;
    }
    QLabel label(&window.panel);
    label.setGeometry(4, 2, 236, 24);
    label.setTextFormat(Qt::PlainText);
    label.setText(Title);
    label.show();
    int shift = 0;
    for (auto _ : state) {
        label.setIndent(shift++ % 200);
        label.repaint();
    }
}

void BM_SliderPositionUpdate(benchmark::State &state) {
    Window window;
    if (!window.exposed) {
        state.SkipWithError("window not exposed");
        return;
    }
    TSlider slider(&window.panel);
    slider.setThumbNormal(Skin::picture(Skin::Picture::ThumbNormal));
    slider.setTrack(Skin::picture(Skin::Picture::TrackDark));
    slider.setMaximum(400);
    slider.resize(slider.sizeHint());
    slider.show();
    int position = 0;
    for (auto _ : state)
        slider.setPosition(++position % 401);
}

} // namespace

BENCHMARK(BM_ScrollingTitleStep);
BENCHMARK(BM_PeerLabelRepaint);
BENCHMARK(BM_SliderPositionUpdate);

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
