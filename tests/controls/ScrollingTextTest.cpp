#include "QtTestEnvironment.h"
#include "TCoolScrollingText.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

const QColor Aqua(0, 255, 255);
const QColor Red(255, 0, 0);
const QColor Black(0, 0, 0);
const QColor Blue(0, 0, 255);
const QColor Green(0, 255, 0);

QFont sharpFont(int pixels) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// The main window's title control: 236 x 24, right to left, 25 ms a step,
// simple view, transparent, over a black panel.
class ControlsScrollingText : public ::testing::Test {
protected:
    void SetUp() override {
        parent = std::make_unique<SolidParent>(Black);
        parent->resize(300, 60);
        title = new TCoolScrollingText(parent.get()); // owned by the parent
        title->setGeometry(10, 10, 236, 24);
        title->setFont(sharpFont(16));
        title->setFontColor(Aqua);
        title->setSimpleView(true);
        title->setTransparent(true);
        parent->show();
    }
    // Steps until a pass ends; the ending step itself is counted.
    int stepsToPassEnd(int limit = 10000) {
        QSignalSpy passes(title, &TCoolScrollingText::OnTextScrolled);
        for (int steps = 1; steps <= limit; ++steps) {
            title->ScrollStep();
            if (passes.count() > 0)
                return steps;
        }
        return -1;
    }

    std::unique_ptr<SolidParent> parent;
    TCoolScrollingText *title = nullptr;
};

TEST_F(ControlsScrollingText, WideTitleNeedsControlWidthPlusBlockWidthStepsPerPass) {
    title->setText(QStringLiteral("Some Artist - A Rather Long Song Title (Live)"));
    const int block = title->TextBlockSize().width();
    // The block is the text's own width (with its trailing blank), not the
    // control's: about 400 pixels for this title.
    const QFontMetrics metrics(title->font());
    EXPECT_NEAR(block, metrics.horizontalAdvance(title->Strings().first() + ' '), 1);
    ASSERT_GT(block, 360);
    ASSERT_LT(block, 440);

    // The first pass starts where the text stands, at the left edge.
    EXPECT_EQ(stepsToPassEnd(), block + 1);
    EXPECT_EQ(QPoint(title->X(), title->Y()), QPoint(236, 0)) << "enters at the right edge";
    // A full pass: 236 + block moving steps (636 for a 400-pixel block), then
    // the step that starts the next pass.
    for (int i = 0; i < 236 + block; ++i)
        title->ScrollStep();
    EXPECT_EQ(title->X(), -block);
    EXPECT_EQ(stepsToPassEnd(), 1);
    EXPECT_EQ(title->X(), 236);
}

TEST_F(ControlsScrollingText, GlyphWidensTheBlock) {
    title->setText(QStringLiteral("abc"));
    const int plain = title->TextBlockSize().width();
    QPixmap glyphs(40, 30);
    glyphs.fill(Red);
    title->setGlyph(glyphs);
    title->setNumGlyphs(2);
    EXPECT_EQ(title->TextBlockSize(), QSize(plain + 20 + 2, 30));
}

TEST_F(ControlsScrollingText, GlyphSitsBesideTheTextOnTheAlignedSide) {
    title->setTransparent(false);
    title->setColor(Black);
    title->setScrollDirection(TScrollDirection::sdBottomToTop); // keeps right alignment
    title->setText(QStringLiteral("HI"));
    QImage glyph(10, 10, QImage::Format_ARGB32);
    glyph.fill(Red);
    title->setGlyph(QPixmap::fromImage(glyph, Qt::NoOpaqueDetection));

    QImage image = title->grab().toImage();
    EXPECT_EQ(firstColumnWith(image, Red), 0);
    EXPECT_GE(firstColumnWith(image, Aqua), 12) << "text moves right by the glyph plus 2";

    title->setAlignment(TAlignment::taRightJustify);
    image = title->grab().toImage();
    EXPECT_GT(firstColumnWith(image, Red), 150);
    EXPECT_LT(lastColumnWith(image, Red), firstColumnWith(image, Aqua));
}

TEST_F(ControlsScrollingText, EveryDirectionStartsItsNextPassOnItsEntrySide) {
    title->setText(QStringLiteral("ab"));
    const QSize block = title->TextBlockSize();
    struct Case {
        TScrollDirection direction;
        int firstPass;
        QPoint start;
    };
    const Case cases[] = {
        {TScrollDirection::sdBottomToTop, block.height() + 1, {0, 24}},
        {TScrollDirection::sdTopToBottom, 24 + 1, {0, -24}},
        {TScrollDirection::sdLeftToRight, 236 + 1, {-236, 0}},
        {TScrollDirection::sdRightToLeft, block.width() + 1, {236, 0}},
    };
    for (const Case &c : cases) {
        TCoolScrollingText text(parent.get());
        title = &text;
        text.setGeometry(10, 10, 236, 24);
        text.setFont(sharpFont(16));
        text.setText(QStringLiteral("ab"));
        text.setScrollDirection(c.direction);
        EXPECT_EQ(stepsToPassEnd(), c.firstPass) << static_cast<int>(c.direction);
        EXPECT_EQ(QPoint(text.X(), text.Y()), c.start) << static_cast<int>(c.direction);
    }
    title = nullptr;
}

TEST_F(ControlsScrollingText, HandlerCanRestartAtTheInitialPosition) {
    title->setText(QStringLiteral("ab"));
    QObject::connect(title, &TCoolScrollingText::OnTextScrolled,
                     [](TCoolScrollingText *, bool &initial) { initial = true; });
    stepsToPassEnd();
    EXPECT_EQ(QPoint(title->X(), title->Y()), QPoint(0, 0));
}

TEST_F(ControlsScrollingText, TimerStepsOnlyWhileActive) {
    title->setText(QStringLiteral("a long enough title to keep moving for a while"));
    title->setInterval(2);
    title->setActive(true);
    QTest::qWait(120);
    title->setActive(false);
    const int stopped = title->X();
    EXPECT_LT(stopped, 0);
    QTest::qWait(60);
    EXPECT_EQ(title->X(), stopped);
}

TEST_F(ControlsScrollingText, StepsOnlyWhileTheyCanBeSeen) {
    title->setText(QStringLiteral("a long enough title to keep moving for a while"));
    title->setActive(true);
    ASSERT_TRUE(title->Stepping());
    parent->showMinimized();
    EXPECT_FALSE(title->Stepping()) << "window minimised";
    parent->showNormal();
    EXPECT_TRUE(title->Stepping());
    title->hide();
    EXPECT_FALSE(title->Stepping()) << "control hidden";
    title->show();
    EXPECT_TRUE(title->Stepping());
    EXPECT_TRUE(title->HasBackground()) << "the activation's capture is kept";
}

TEST_F(ControlsScrollingText, StepsShowTheTextAsDrawingItDirectlyWould) {
    // Smoothed edges too: the steps copy a picture of the text made once.
    QFont smooth(QStringLiteral("DejaVu Sans"));
    smooth.setPixelSize(16);
    title->setFont(smooth);
    title->setSimpleView(false);
    title->setShadowColor(Red);
    const QString text = QStringLiteral("Wavy title, long enough to scroll");
    title->setText(text);
    title->setActive(true);
    for (int step = 0; step < 3; ++step) {
        for (int i = 0; i < 37; ++i)
            title->ScrollStep();
        QImage expected(title->size(), QImage::Format_RGB32);
        expected.fill(Black);
        QPainter painter(&expected);
        painter.setFont(smooth);
        const QRect at(QPoint(title->X(), title->Y()), title->size());
        const int flags =
            Qt::AlignTop | Qt::AlignLeft | Qt::TextDontClip | Qt::TextIncludeTrailingSpaces;
        painter.setPen(Red);
        painter.drawText(at, flags, text + ' ');
        painter.setPen(Aqua);
        painter.drawText(at.translated(1, 1), flags, text + ' ');
        painter.end();
        EXPECT_EQ(title->grab().toImage().convertToFormat(QImage::Format_RGB32), expected)
            << "at " << title->X();
    }
}

// A parent in a gradient from blue to red, running down (every row one colour)
// or across; it notes the width of every area its title child paints.
class GradientParent : public QWidget {
public:
    explicit GradientParent(Qt::Orientation runs) : fRuns(runs) {}
    std::vector<int> paintedWidths;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, fRuns == Qt::Horizontal ? width() : 0,
                                 fRuns == Qt::Vertical ? height() : 0);
        gradient.setColorAt(0, Blue);
        gradient.setColorAt(1, Red);
        painter.fillRect(rect(), gradient);
    }
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            paintedWidths.push_back(static_cast<QPaintEvent *>(event)->rect().width());
        return false;
    }

private:
    Qt::Orientation fRuns;
};

TEST(ControlsScrollingTextOnScreen, StepsPaintOnlyTheEnteringColumnWhereTheGroundAllows) {
    const struct {
        Qt::Orientation gradient;
        int paintedWidth;
    } cases[] = {{Qt::Vertical, 1}, {Qt::Horizontal, 236}};
    for (const auto &c : cases) {
        GradientParent parent(c.gradient);
        parent.resize(300, 60);
        auto *title = new TCoolScrollingText(&parent); // owned by the parent
        title->setGeometry(10, 10, 236, 24);
        title->setFont(sharpFont(16));
        title->setFontColor(Aqua);
        title->setTransparent(true);
        title->setShadowColor(Green);
        title->setInterval(60000); // the test steps by hand
        title->setText(QStringLiteral("a title far too long to fit, so it scrolls"));
        parent.show();
        title->setActive(true);
        QApplication::processEvents();
        title->installEventFilter(&parent);
        for (int i = 0; i < 5; ++i) {
            title->ScrollStep();
            QApplication::processEvents();
        }
        EXPECT_EQ(parent.paintedWidths, std::vector<int>(5, c.paintedWidth));
        const QImage onScreen = parent.screen()
                                    ->grabWindow(parent.winId())
                                    .toImage()
                                    .copy(title->geometry())
                                    .convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(onScreen, title->grab().toImage().convertToFormat(QImage::Format_RGB32))
            << "what is on screen after the steps is what drawing afresh shows";
    }
}

TEST_F(ControlsScrollingText, BackgroundIsCapturedOncePerActivationWithoutOldText) {
    parent->setColour(Blue);
    title->setText(QStringLiteral("TITLE"));
    title->setInterval(60000);
    EXPECT_GT(countPixels(title->grab().toImage(), Aqua), 0);

    title->setActive(true);
    ASSERT_TRUE(title->HasBackground());
    parent->setColour(Green);
    title->setActive(true); // already active: no new capture
    title->setText(QString());
    QImage frame = title->grab().toImage();
    EXPECT_EQ(countPixels(frame, Blue), 236 * 24) << "the capture holds no text";

    title->setActive(false);
    EXPECT_FALSE(title->HasBackground());
    title->setActive(true);
    frame = title->grab().toImage();
    EXPECT_EQ(countPixels(frame, Green), 236 * 24);
}

TEST_F(ControlsScrollingText, CaptureSeesThroughContainersThatPaintNothing) {
    parent->setColour(Blue);
    QWidget container(parent.get()); // paints no background of its own
    container.setGeometry(20, 20, 260, 30);
    container.show();
    TCoolScrollingText text(&container);
    text.setGeometry(4, 3, 200, 20);
    text.setTransparent(true);
    text.setInterval(60000);
    text.show();
    text.setActive(true);
    EXPECT_EQ(countPixels(text.grab().toImage(), Blue), 200 * 20);
    // Capturing again while the control paints opaque frames still sees what
    // lies beneath it.
    parent->setColour(Green);
    text.RefreshBackground();
    EXPECT_EQ(countPixels(text.grab().toImage(), Green), 200 * 20);
}

TEST_F(ControlsScrollingText, AmpersandIsShownAsItselfUnlessAccelCharsAreOff) {
    title->setText(QStringLiteral("R&B"));
    const int literal = title->TextBlockSize().width();
    const int literalInk = countPixels(title->grab().toImage(), Aqua);
    title->setShowAccelChar(false);
    const int mnemonic = title->TextBlockSize().width();
    EXPECT_GT(literal, mnemonic + 5) << "the '&' takes room of its own";
    EXPECT_NE(countPixels(title->grab().toImage(), Aqua), literalInk);
}

TEST_F(ControlsScrollingText, MarkupIsNotInterpreted) {
    title->setText(QStringLiteral("<b>x</b>"));
    const QFontMetrics metrics(title->font());
    EXPECT_NEAR(title->TextBlockSize().width(), metrics.horizontalAdvance("<b>x</b> "), 1);
}

TEST_F(ControlsScrollingText, ShadowSettingsTurnSimpleViewOffAndPlaceTheShadow) {
    title->setTransparent(false);
    title->setColor(Black);
    title->setText(QStringLiteral("HI"));
    title->setShadowColor(Red);
    EXPECT_FALSE(title->SimpleView());
    title->setShadowSize(3);

    title->setShadowPos(TShadowPosition::spLeftTop);
    QImage image = title->grab().toImage();
    const int textLeftTop = firstColumnWith(image, Aqua);
    const int shadowLeftTop = firstColumnWith(image, Red);
    title->setShadowPos(TShadowPosition::spRightBottom);
    image = title->grab().toImage();
    EXPECT_EQ(textLeftTop, firstColumnWith(image, Aqua) + 3) << "left-top moves the text";
    EXPECT_GE(firstColumnWith(image, Red), shadowLeftTop + 3) << "right-bottom moves the shadow";

    title->setSimpleView(true);
    EXPECT_EQ(countPixels(title->grab().toImage(), Red), 0);
}

TEST_F(ControlsScrollingText, DisabledTextIsEngraved) {
    title->setText(QStringLiteral("HI"));
    title->setEnabled(false);
    EXPECT_EQ(countPixels(title->grab().toImage(), Aqua), 0);
}

TEST_F(ControlsScrollingText, HorizontalDirectionResetsAlignment) {
    title->setScrollDirection(TScrollDirection::sdBottomToTop);
    title->setAlignment(TAlignment::taRightJustify);
    title->setScrollDirection(TScrollDirection::sdLeftToRight);
    EXPECT_EQ(title->Alignment(), TAlignment::taLeftJustify);
}

TEST_F(ControlsScrollingText, TextKeepsLinesWithLineEnds) {
    title->setText(QStringLiteral("one\ntwo\r\n"));
    EXPECT_EQ(title->Strings(), (QStringList{"one", "two"}));
    EXPECT_EQ(title->Text(), QStringLiteral("one\r\ntwo\r\n"));
    const QFontMetrics metrics(title->font());
    EXPECT_GE(title->TextBlockSize().height(), 2 * metrics.height() - 1);
}

TEST_F(ControlsScrollingText, WallpaperComesFromTheImageCollectionWhenIndexed) {
    title->setTransparent(false);
    QPixmap own(4, 4);
    own.fill(Red);
    title->setWallpaper(own);
    title->setText(QString());
    EXPECT_EQ(countPixels(title->grab().toImage(), Red), 236 * 24) << "tiled over the control";

    auto images = std::make_unique<TCoolImages>();
    QPixmap shared(4, 4);
    shared.fill(Blue);
    images->Add(shared);
    title->setCoolImages(images.get());
    title->setidWallpaper(0);
    EXPECT_EQ(countPixels(title->grab().toImage(), Blue), 236 * 24);
    shared.fill(Green);
    images->SetPicture(0, shared);
    EXPECT_EQ(countPixels(title->grab().toImage(), Green), 236 * 24);

    images.reset();
    EXPECT_EQ(title->CoolImages(), nullptr);
    EXPECT_EQ(countPixels(title->grab().toImage(), Red), 236 * 24);
}

TEST_F(ControlsScrollingText, AutoSizeKeepsTheRightEdgeWhenRightAligned) {
    title->setScrollDirection(TScrollDirection::sdBottomToTop);
    title->setAlignment(TAlignment::taRightJustify);
    title->setText(QStringLiteral("x"));
    const int right = title->geometry().right();
    title->setAutoSize(true);
    EXPECT_EQ(title->size(), title->TextBlockSize());
    EXPECT_EQ(title->geometry().right(), right);
}

TEST_F(ControlsScrollingText, AcceleratorMovesFocusToTheFocusControl) {
    auto *edit = new QLineEdit(parent.get()); // owned by the parent
    edit->setGeometry(10, 40, 100, 18);
    auto *other = new QLineEdit(parent.get());
    other->setGeometry(150, 40, 100, 18);
    edit->show();
    other->show();
    title->setText(QStringLiteral("&Name"));
    title->setFocusControl(edit);
    parent->activateWindow();
    if (!QTest::qWaitForWindowActive(parent.get()))
        GTEST_SKIP() << "the platform does not activate windows";
    other->setFocus();
    QTest::keyClick(other, Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(edit->hasFocus());
}

} // namespace
