// The main window's spectrum view on its own: bars where the sound is, and no
// work while the song is stopped or the view hidden.
#include "SpectrumView.h"

#include <QImage>
#include <QPaintEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using velbrin::player::BandForFrequency;
using velbrin::player::PeakBand;
using velbrin::player::SpectrumBands;
using velbrin::player::SpectrumView;

namespace {

// A steady tone in one band, counting how often it is asked.
struct ToneSource {
    int band = 5;
    int asked = 0;
    bool operator()(SpectrumBands &bands) {
        ++asked;
        bands.fill(0);
        if (band >= 0) {
            bands[static_cast<size_t>(band)] = 255;
        }
        return true;
    }
};

// The regions the view is asked to paint.
struct PaintLog : QObject {
    QRegion painted;
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent *>(event)->region();
            ++paints;
        }
        return false;
    }
};

// A shown view of `look` playing from `tone`.
std::unique_ptr<SpectrumView> playingView(SpectrumView::Look look, ToneSource &tone) {
    auto view = std::make_unique<SpectrumView>();
    view->resize(128, 40);
    view->setLook(look);
    view->setSource([&tone](SpectrumBands &b) { return tone(b); });
    view->show();
    view->setPlaying(true);
    return view;
}

} // namespace

TEST(SpectrumView, OnlyBarsThatMoveAreRepaintedAndSilenceIsAskedForSeldom) {
    for (SpectrumView::Look look : {SpectrumView::Look::Skin, SpectrumView::Look::Plain}) {
        ToneSource tone;
        const auto shown = playingView(look, tone);
        SpectrumView &view = *shown;
        ASSERT_TRUE(QTest::qWaitFor([&view] { return view.shownBands()[5] == 255; }, 5000));
        QTest::qWait(SpectrumView::kFrameMs); // its paint
        PaintLog log;
        view.installEventFilter(&log);
        QTest::qWait(4 * SpectrumView::kFrameMs);
        EXPECT_EQ(log.paints, 0) << "a steady tone: nothing moves";

        tone.band = 41; // from column 2 to column 20
        ASSERT_TRUE(QTest::qWaitFor([&view] { return view.shownBands()[41] == 255; }, 5000));
        QTest::qWait(SpectrumView::kFrameMs);
        EXPECT_GT(log.paints, 0);
        const QRect painted = log.painted.boundingRect();
        EXPECT_EQ(painted.united(view.columnRect(2)), painted) << "the bar that falls";
        EXPECT_EQ(painted.united(view.columnRect(20)), painted) << "the bar that rises";
        for (int column : {0, 1, 21, 25, 31}) {
            EXPECT_FALSE(painted.intersects(QRect(view.columnRect(column).x(), 0, 1, 40)))
                << "column " << column;
        }
        EXPECT_EQ(view.frameInterval(), SpectrumView::kFrameMs);

        tone.band = -1; // silence
        // The bars fall in 26 frames; a loaded machine may run fewer a second.
        EXPECT_TRUE(QTest::qWaitFor(
            [&view] { return view.frameInterval() == SpectrumView::kFlatFrameMs; }, 5000))
            << "all bars have fallen";
        tone.band = 5;
        ASSERT_TRUE(QTest::qWaitFor([&view] { return view.shownBands()[5] > 0; }, 1000));
        EXPECT_EQ(view.frameInterval(), SpectrumView::kFrameMs);
        view.removeEventFilter(&log);
    }
}

TEST(SpectrumView, BandsByFrequency) {
    EXPECT_EQ(BandForFrequency(2000.0, 44100), 5); // bin 6 is centred on 2067 Hz
    EXPECT_EQ(BandForFrequency(344.5, 44100), 0);
    EXPECT_EQ(BandForFrequency(30000.0, 44100), 63);
    SpectrumBands b{};
    b[9] = 3;
    EXPECT_EQ(PeakBand(b), 9);
}

TEST(SpectrumView, BarsStandOnlyWhereTheToneIsInBothLooks) {
    for (SpectrumView::Look look : {SpectrumView::Look::Skin, SpectrumView::Look::Plain}) {
        ToneSource tone;
        const auto shown = playingView(look, tone);
        SpectrumView &view = *shown;
        ASSERT_TRUE(view.isRunning());
        QTest::qWait(5 * SpectrumView::kFrameMs);
        EXPECT_EQ(PeakBand(view.shownBands()), 5);
        const QImage shot = view.grab().toImage();
        const int column = 5 / 2;
        const QRect bar = view.columnRect(column);
        EXPECT_EQ(bar.height(), 40);
        EXPECT_EQ(shot.pixelColor(bar.center()).rgb(), view.barColour(column).rgb());
        const QRect quiet = view.columnRect(column + 3);
        EXPECT_NE(shot.pixelColor(quiet.x(), 20).rgb(), view.barColour(column).rgb());
    }
}

TEST(SpectrumView, ABackgroundIsDrawnUnderTheBarsAndMakesTheViewOpaque) {
    ToneSource tone;
    const auto shown = playingView(SpectrumView::Look::Skin, tone);
    SpectrumView &view = *shown;
    EXPECT_FALSE(view.testAttribute(Qt::WA_OpaquePaintEvent)) << "nothing to draw beneath";
    QPixmap ground(view.size());
    ground.fill(Qt::blue);
    view.setBackground(ground);
    EXPECT_TRUE(view.testAttribute(Qt::WA_OpaquePaintEvent));
    ASSERT_TRUE(QTest::qWaitFor([&view] { return view.shownBands()[5] == 255; }, 5000));
    const QImage shot = view.grab().toImage();
    EXPECT_EQ(shot.pixelColor(view.columnRect(2).center()).rgb(), view.barColour(2).rgb());
    EXPECT_EQ(shot.pixelColor(view.columnRect(20).x(), 20), QColor(Qt::blue));
}

TEST(SpectrumView, NoWorkWhileStoppedOrHidden) {
    SpectrumView view;
    view.resize(128, 40);
    ToneSource tone;
    view.setSource([&tone](SpectrumBands &b) { return tone(b); });
    view.show();
    QTest::qWait(4 * SpectrumView::kFrameMs);
    EXPECT_FALSE(view.isRunning());
    EXPECT_EQ(tone.asked, 0) << "stopped";

    view.setPlaying(true);
    QTest::qWait(10 * SpectrumView::kFrameMs);
    EXPECT_GE(tone.asked, 4) << "about 25 frames a second";
    EXPECT_LE(tone.asked, 12);

    view.hide();
    const int whenHidden = tone.asked;
    QTest::qWait(4 * SpectrumView::kFrameMs);
    EXPECT_EQ(tone.asked, whenHidden);
    EXPECT_FALSE(view.isRunning());

    view.show();
    EXPECT_TRUE(view.isRunning());
    view.showMinimized();
    EXPECT_FALSE(view.isRunning()) << "minimised";
    view.showNormal();
    EXPECT_TRUE(view.isRunning());
    view.setPlaying(false);
    EXPECT_FALSE(view.isRunning());
    EXPECT_EQ(PeakBand(view.shownBands()), 0);
    EXPECT_EQ(view.shownBands()[5], 0) << "stopped: the bars are cleared";
}
