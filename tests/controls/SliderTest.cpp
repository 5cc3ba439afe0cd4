#include "QtTestEnvironment.h"
#include "TSlider.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <vector>

namespace {

const QColor TrackColour(0, 0, 200);
const QColor ThumbColour(250, 250, 0);
const QColor HotColour(0, 250, 0);
const QColor PressedColour(250, 0, 0);
const QColor ParentColour(90, 90, 90);

// Opaque pictures with an alpha channel: thumbs without one are keyed on
// their bottom-left pixel, which would make a plain square vanish.
QPixmap solid(QSize size, QColor colour) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return QPixmap::fromImage(image, Qt::NoOpaqueDetection);
}

void send(QWidget &widget, QEvent::Type type, QPoint at, Qt::MouseButton button,
          Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}
void press(QWidget &w, QPoint at, Qt::MouseButton b = Qt::LeftButton) {
    send(w, QEvent::MouseButtonPress, at, b, b);
}
void drag(QWidget &w, QPoint at) {
    send(w, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
}
void hover(QWidget &w, QPoint at) {
    send(w, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
}
void release(QWidget &w, QPoint at, Qt::MouseButton b = Qt::LeftButton) {
    send(w, QEvent::MouseButtonRelease, at, b, Qt::NoButton);
}

// The position bar's proportions: range 0 to 400, track 200 pixels, thumb 10.
class ControlsSlider : public ::testing::Test {
protected:
    void SetUp() override {
        parent = std::make_unique<SolidParent>(ParentColour);
        parent->resize(260, 40);
        slider = new TSlider(parent.get()); // owned by the parent
        slider->setTrack(solid({200, 10}, TrackColour));
        slider->setThumbNormal(solid({10, 10}, ThumbColour));
        slider->setMaximum(400);
        slider->resize(slider->Track().size());
        parent->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(parent.get()));
    }
    QImage shot() const { return slider->grab().toImage(); }

    std::unique_ptr<SolidParent> parent;
    TSlider *slider = nullptr;
};

TEST_F(ControlsSlider, ThumbSitsAtTruncatedFractionOfTheFreeTrack) {
    EXPECT_EQ(slider->ThumbBounds(), QRect(0, 0, 10, 10));
    slider->setPosition(200);
    EXPECT_EQ(slider->ThumbBounds().left(), 95);
    slider->setPosition(400);
    EXPECT_EQ(slider->ThumbBounds().left(), 190);
    slider->setPosition(1); // 190 * 1 / 400 truncates to 0
    EXPECT_EQ(slider->ThumbBounds().left(), 0);
    slider->setMinimum(-400);
    slider->setPosition(0); // halfway through -400..400
    EXPECT_EQ(slider->ThumbBounds().left(), 95);
}

TEST_F(ControlsSlider, DrawnPictureShowsThumbOverTrack) {
    slider->setPosition(200);
    const QImage image = shot();
    EXPECT_EQ(firstColumnWith(image, ThumbColour), 95);
    EXPECT_EQ(lastColumnWith(image, ThumbColour), 104);
    EXPECT_EQ(QColor(image.pixel(94, 5)), TrackColour);
    EXPECT_EQ(QColor(image.pixel(105, 5)), TrackColour);
}

TEST_F(ControlsSlider, ExchangedTrackIsDrawnAtOnce) {
    slider->setPosition(200);
    const QColor other(200, 100, 0);
    slider->setTrack(solid({200, 10}, other));
    EXPECT_EQ(slider->Position(), 200);
    const QImage image = shot();
    EXPECT_EQ(countPixels(image, TrackColour), 0);
    EXPECT_EQ(countPixels(image, other), 190 * 10);
    EXPECT_EQ(slider->objectName(), QStringLiteral("TSlider"));
}

TEST_F(ControlsSlider, FullIntegerRangeDoesNotOverflow) {
    slider->setMinimum(INT_MIN);
    slider->setMaximum(INT_MAX);
    slider->setPosition(INT_MAX);
    EXPECT_EQ(slider->ThumbBounds().left(), 190);
    slider->setPosition(0); // just above the middle of the range
    EXPECT_EQ(slider->ThumbBounds().left(), 95);
}

TEST_F(ControlsSlider, PositionIsClampedAndRepaintedAtOnceOnlyWhenItChanges) {
    int paints = 0;
    struct Counter : QObject {
        int *count;
        explicit Counter(int *c) : count(c) {}
        bool eventFilter(QObject *, QEvent *e) override {
            *count += e->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } counter(&paints);
    slider->installEventFilter(&counter);
    QSignalSpy changes(slider, &TSlider::OnChange);

    slider->setPosition(500);
    EXPECT_EQ(slider->Position(), 400);
    EXPECT_EQ(paints, 1) << "a new position paints without waiting for the event loop";
    slider->setPosition(400);
    slider->setPosition(401);
    EXPECT_EQ(paints, 1) << "an unchanged position paints nothing";
    slider->setPosition(-5);
    EXPECT_EQ(slider->Position(), 0);
    const int atZero = paints;
    slider->setPosition(2); // 190 * 2 / 400: the thumb stays on pixel 0
    EXPECT_EQ(slider->Position(), 2);
    EXPECT_EQ(paints, atZero) << "a thumb that does not move paints nothing";
    slider->setPosition(3);
    EXPECT_EQ(paints, atZero + 1);
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(ControlsSlider, NarrowingTheRangeMovesThePositionWithoutOnChange) {
    QSignalSpy changes(slider, &TSlider::OnChange);
    slider->setPosition(300);
    slider->setMaximum(250);
    EXPECT_EQ(slider->Position(), 250);
    EXPECT_EQ(slider->ThumbBounds().left(), 190);
    slider->setMinimum(260);
    EXPECT_EQ(slider->Position(), 260) << "an inverted range pins the position to the minimum";
    slider->setMaximum(400);
    slider->setPosition(0);
    EXPECT_EQ(slider->Position(), 260);
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(ControlsSlider, DragMovesByRangeTimesPixelsOverFreeTrack) {
    QSignalSpy changes(slider, &TSlider::OnChange);
    press(*slider, {5, 5});
    EXPECT_TRUE(slider->Tracking());
    drag(*slider, {24, 5});
    EXPECT_EQ(slider->Position(), 40); // 400 * 19 div 190
    EXPECT_EQ(slider->ThumbBounds().left(), 19);
    drag(*slider, {-300, 5});
    EXPECT_EQ(slider->Position(), 0) << "dragging past the end clamps";
    drag(*slider, {5, 5});
    release(*slider, {5, 5});
    EXPECT_FALSE(slider->Tracking());
    EXPECT_EQ(changes.count(), 0) << "released where it started";

    press(*slider, {5, 5});
    drag(*slider, {24, 40}); // leaving the control vertically does not matter
    release(*slider, {24, 40});
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).value<TSlider *>(), slider);
    EXPECT_EQ(slider->Position(), 40);
}

TEST_F(ControlsSlider, OnlyLeftPressesOnTheThumbStartADrag) {
    press(*slider, {50, 5}); // on the track
    EXPECT_FALSE(slider->Tracking());
    drag(*slider, {80, 5});
    release(*slider, {80, 5});
    EXPECT_EQ(slider->Position(), 0);

    press(*slider, {10, 5}); // the thumb's right edge is outside it
    EXPECT_FALSE(slider->Tracking());
    release(*slider, {10, 5});

    press(*slider, {5, 5}, Qt::RightButton);
    EXPECT_FALSE(slider->Tracking());
    release(*slider, {5, 5}, Qt::RightButton);
}

TEST_F(ControlsSlider, OwnerSeesPressBeforeDragAndReleaseBeforeOnChange) {
    std::vector<QString> order;
    QObject::connect(slider, &TSlider::OnMouseDown,
                     [&](TSlider *s, Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {
                         order.push_back(s->Tracking() ? "down-tracking" : "down");
                     });
    QObject::connect(slider, &TSlider::OnMouseUp,
                     [&](TSlider *s, Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {
                         order.push_back(s->Tracking() ? "up-tracking" : "up");
                     });
    QObject::connect(slider, &TSlider::OnChange, [&](TSlider *) { order.push_back("change"); });
    press(*slider, {5, 5});
    drag(*slider, {100, 5});
    release(*slider, {100, 5});
    EXPECT_EQ(order, (std::vector<QString>{"down", "up-tracking", "change"}));
}

TEST_F(ControlsSlider, ThumbLooksFollowHoverAndPress) {
    // Only the normal thumb given: all three looks are that picture.
    hover(*slider, {5, 5});
    EXPECT_TRUE(slider->Highlighted());
    EXPECT_GT(countPixels(shot(), ThumbColour), 0);
    press(*slider, {5, 5});
    EXPECT_GT(countPixels(shot(), ThumbColour), 0);
    release(*slider, {5, 5});

    slider->setThumbHighlighted(solid({10, 10}, HotColour));
    slider->setThumbClicked(solid({10, 10}, PressedColour));
    hover(*slider, {6, 5});
    EXPECT_EQ(countPixels(shot(), HotColour), 100);
    press(*slider, {6, 5});
    EXPECT_EQ(countPixels(shot(), PressedColour), 100);
    release(*slider, {6, 5});
    EXPECT_EQ(countPixels(shot(), HotColour), 100) << "released over the thumb";
    hover(*slider, {150, 5});
    EXPECT_FALSE(slider->Highlighted());
    EXPECT_EQ(countPixels(shot(), ThumbColour), 100);
}

TEST_F(ControlsSlider, VerticalSliderDrawsMaximumOnTopAndGrowsUpwards) {
    slider->setOrientation(TSliderOrientation::slVertical);
    slider->setTrack(solid({10, 200}, TrackColour));
    slider->resize(10, 200);
    EXPECT_EQ(slider->ThumbBounds().top(), 190);
    slider->setPosition(200);
    EXPECT_EQ(slider->ThumbBounds(), QRect(0, 95, 10, 10));
    press(*slider, {5, 100});
    drag(*slider, {5, 81}); // 19 pixels up
    EXPECT_EQ(slider->Position(), 240);
    release(*slider, {5, 81});
}

TEST_F(ControlsSlider, NothingIsDrawnWithoutPicturesOrRange) {
    slider->setMaximum(0);
    EXPECT_EQ(countPixels(shot(), TrackColour), 0);
    EXPECT_TRUE(slider->ThumbBounds().isEmpty());
    press(*slider, {5, 5});
    EXPECT_FALSE(slider->Tracking());

    slider->setMaximum(400);
    slider->setThumbNormal(QPixmap()); // thumb taken away: no hit area left behind
    EXPECT_TRUE(slider->ThumbBounds().isEmpty());
    press(*slider, {5, 5});
    EXPECT_FALSE(slider->Tracking());

    TSlider bare(parent.get());
    bare.resize(50, 10);
    bare.setMaximum(10);
    bare.setPosition(5);
    EXPECT_EQ(bare.Position(), 5);
    EXPECT_TRUE(bare.ScratchPad().isNull());
    press(bare, {1, 1});
    release(bare, {1, 1});
}

TEST_F(ControlsSlider, ThumbAsLongAsTheTrackCannotBeDragged) {
    slider->setTrack(solid({10, 10}, TrackColour));
    press(*slider, {5, 5});
    ASSERT_TRUE(slider->Tracking());
    drag(*slider, {9, 5});
    EXPECT_EQ(slider->Position(), 0);
    release(*slider, {9, 5});
}

TEST_F(ControlsSlider, ThumbWithoutAlphaIsKeyedOnItsBottomLeftPixel) {
    QImage thumb(10, 10, QImage::Format_RGB32);
    thumb.fill(QColor(255, 0, 255));
    QPainter(&thumb).fillRect(QRect(3, 0, 4, 10), ThumbColour);
    slider->setThumbNormal(QPixmap::fromImage(thumb));
    slider->setPosition(200);
    const QImage image = shot();
    EXPECT_EQ(countPixels(image, QColor(255, 0, 255)), 0);
    EXPECT_EQ(QColor(image.pixel(95, 5)), TrackColour);
    EXPECT_EQ(QColor(image.pixel(98, 5)), ThumbColour);
}

TEST_F(ControlsSlider, ClickIsReportedForPressAndReleaseInside) {
    QSignalSpy clicks(slider, &TSlider::OnClick);
    press(*slider, {50, 5});
    release(*slider, {60, 5});
    press(*slider, {50, 5});
    release(*slider, {50, 50});
    EXPECT_EQ(clicks.count(), 1);
}

} // namespace
