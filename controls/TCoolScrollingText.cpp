#include "TCoolScrollingText.h"

#include "window_sight.h"

#include <QEvent>
#include <QFontMetrics>
#include <QKeySequence>
#include <QPainter>
#include <QPalette>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Whether every row (or every column) of the picture holds one colour, so that
// moving it along that line changes none of its pixels.
bool linesAreUniform(const QPixmap &picture, Qt::Orientation along) {
    const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return false;
    const auto *first = reinterpret_cast<const QRgb *>(image.constScanLine(0));
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (row[x] != (along == Qt::Horizontal ? row[0] : first[x]))
                return false;
        }
    }
    return true;
}

} // namespace

TCoolScrollingText::TCoolScrollingText(QWidget *owner) : QWidget(owner) {
    setObjectName(QStringLiteral("TCoolScrollingText"));
    FShadowColor = palette().color(QPalette::Light);
    FTimer.setInterval(FInterval);
    connect(&FTimer, &FrameTimer::timeout, this, &TCoolScrollingText::ScrollStep);
    FGlyph.OnChange = [this] { contentChanged(); };
    FImageLink.OnChange = [this] { update(); };
    FSight = new velbrin::platform::WindowSight(this);
    connect(FSight, &velbrin::platform::WindowSight::seenChanged, this,
            &TCoolScrollingText::updateTimer);
    updateOpacity();
}

TCoolScrollingText::~TCoolScrollingText() {
    FTimer.stop();
    FGlyph.OnChange = nullptr;
    FImageLink.OnChange = nullptr;
}

// ---- text -------------------------------------------------------------------

void TCoolScrollingText::setStrings(const QStringList &lines) {
    if (lines == FStrings)
        return;
    FStrings = lines;
    updateAccelerator();
    contentChanged();
}

QString TCoolScrollingText::Text() const {
    QString text;
    for (const QString &line : FStrings)
        text += line + QStringLiteral("\r\n");
    return text;
}

void TCoolScrollingText::setText(const QString &text) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = text.split(lineBreak);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    setStrings(lines);
}

QString TCoolScrollingText::drawnText() const {
    // The trailing blank keeps a gap between the end of the text and the next
    // pass.
    return FStrings.join(QLatin1Char('\n')) + QLatin1Char(' ');
}

int TCoolScrollingText::textFlags() const {
    int flags = Qt::AlignTop | Qt::TextDontClip | Qt::TextIncludeTrailingSpaces;
    switch (FAlignment) {
    case TAlignment::taLeftJustify:
        flags |= Qt::AlignLeft;
        break;
    case TAlignment::taRightJustify:
        flags |= Qt::AlignRight;
        break;
    case TAlignment::taCenter:
        flags |= Qt::AlignHCenter;
        break;
    }
    if (FStrings.size() >= 2)
        flags |= Qt::TextWordWrap;
    if (!FShowAccelChar)
        flags |= Qt::TextShowMnemonic;
    return flags;
}

QSize TCoolScrollingText::TextBlockSize() const {
    if (FBlock)
        return *FBlock;
    const QFontMetrics metrics(font());
    QSize block = metrics.boundingRect(rect(), textFlags(), drawnText()).size();
    if (!FGlyph.IsEmpty()) {
        const QSize image = FGlyph.ImageSize();
        block.rwidth() += image.width() + 2;
        block.setHeight(std::max(block.height(), image.height()));
    }
    FBlock = block;
    return block;
}

// ---- properties ---------------------------------------------------------------

void TCoolScrollingText::setActive(bool active) {
    if (active == FActive)
        return;
    FActive = active;
    updateTimer();
    update();
}

void TCoolScrollingText::setInterval(std::uint16_t milliseconds) {
    if (milliseconds == FInterval)
        return;
    FInterval = milliseconds;
    updateTimer();
    update();
}

void TCoolScrollingText::setScrollDirection(TScrollDirection direction) {
    if (direction == FScrollDirection)
        return;
    FScrollDirection = direction;
    if (direction == TScrollDirection::sdLeftToRight ||
        direction == TScrollDirection::sdRightToLeft) {
        FAlignment = TAlignment::taLeftJustify;
        FBlock.reset();
        lookChanged();
        return;
    }
    update();
}

void TCoolScrollingText::setAlignment(TAlignment alignment) {
    if (alignment == FAlignment)
        return;
    FAlignment = alignment;
    contentChanged();
}

void TCoolScrollingText::setShadowColor(const QColor &color) {
    if (color == FShadowColor)
        return;
    FShadowColor = color;
    FSimpleView = false;
    lookChanged();
}

void TCoolScrollingText::setShadowSize(int pixels) {
    if (pixels == FShadowSize)
        return;
    FShadowSize = pixels;
    FSimpleView = false;
    lookChanged();
}

void TCoolScrollingText::setShadowPos(TShadowPosition position) {
    if (position == FShadowPos)
        return;
    FShadowPos = position;
    FSimpleView = false;
    lookChanged();
}

void TCoolScrollingText::setSimpleView(bool simple) {
    if (simple == FSimpleView)
        return;
    FSimpleView = simple;
    lookChanged();
}

void TCoolScrollingText::setTransparent(bool transparent) {
    if (transparent == FTransparent)
        return;
    FTransparent = transparent;
    if (FTransparent && FActive)
        takeBackgroundSnapshot();
    else if (!FTransparent)
        FBackBitmap = QPixmap();
    updateOpacity();
    update();
}

void TCoolScrollingText::setStretched(bool stretched) {
    if (stretched == FStretched)
        return;
    FStretched = stretched;
    update();
}

void TCoolScrollingText::setShowAccelChar(bool show) {
    if (show == FShowAccelChar)
        return;
    FShowAccelChar = show;
    updateAccelerator();
    contentChanged();
}

void TCoolScrollingText::setFocusControl(QWidget *control) {
    if (control == FFocusControl)
        return;
    FFocusControl = control;
    updateAccelerator();
}

void TCoolScrollingText::setAutoSize(bool autoSize) {
    if (autoSize == FAutoSize)
        return;
    FAutoSize = autoSize;
    adjustSize();
}

QColor TCoolScrollingText::Color() const {
    return palette().color(QPalette::Window);
}

void TCoolScrollingText::setColor(const QColor &color) {
    if (color == Color())
        return;
    QPalette colours = palette();
    colours.setColor(QPalette::Window, color);
    setPalette(colours);
    update();
}

QColor TCoolScrollingText::FontColor() const {
    return palette().color(QPalette::WindowText);
}

void TCoolScrollingText::setFontColor(const QColor &color) {
    if (color == FontColor())
        return;
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, color);
    setPalette(colours);
    update();
}

void TCoolScrollingText::setGlyph(const QPixmap &bitmap) {
    if (bitmap.cacheKey() == FGlyph.Glyph().cacheKey())
        return;
    FGlyph.setGlyph(bitmap);
}

void TCoolScrollingText::setNumGlyphs(int count) {
    FGlyph.setNumGlyphs(count);
}

void TCoolScrollingText::setWallpaper(const QPixmap &picture) {
    if (picture.cacheKey() == FWallpaper.cacheKey())
        return;
    FWallpaper = picture;
    update();
}

void TCoolScrollingText::setCoolImages(TCoolImages *images) {
    if (images == FImageLink.Sender())
        return;
    if (FImageLink.Sender())
        FImageLink.Sender()->UnRegisterChanges(&FImageLink);
    if (images)
        images->RegisterChanges(&FImageLink);
    update();
}

void TCoolScrollingText::setidWallpaper(int index) {
    if (index == FidWallpaper)
        return;
    FidWallpaper = index;
    update();
}

QPixmap TCoolScrollingText::currentWallpaper() const {
    if (const TCoolImages *images = FImageLink.Sender()) {
        QPixmap picture = images->Picture(FidWallpaper);
        if (!picture.isNull())
            return picture;
    }
    return FWallpaper;
}

void TCoolScrollingText::contentChanged() {
    FBlock.reset();
    FTextPicture = QPixmap();
    adjustSize();
    update();
}

void TCoolScrollingText::lookChanged() {
    FTextPicture = QPixmap();
    update();
}

void TCoolScrollingText::adjustSize() {
    if (!FAutoSize || !parentWidget())
        return;
    const QSize block = TextBlockSize();
    QRect area = geometry();
    const int right = area.right();
    area.setSize(block);
    if (FAlignment == TAlignment::taRightJustify)
        area.moveRight(right);
    setGeometry(area);
}

// ---- scrolling ------------------------------------------------------------------

void TCoolScrollingText::updateTimer() {
    if (!FActive) {
        FTimer.stop();
        FBackBitmap = QPixmap();
        updateOpacity();
        return;
    }
    // A zero interval would run steps back to back and starve the user
    // interface; one millisecond is the shortest pause.
    FTimer.setInterval(std::max<int>(FInterval, 1));
    if (!isVisible() || !FSight->seen()) {
        // Nobody sees the steps; the activation's capture stays for when
        // they can be seen again.
        FTimer.stop();
    } else if (!FTimer.isActive()) {
        if (FTransparent && FBackBitmap.isNull())
            takeBackgroundSnapshot();
        FTimer.start();
    }
    updateOpacity();
}

void TCoolScrollingText::setStartPosition(bool initial) {
    if (initial) {
        FX = 0;
        FY = 0;
        return;
    }
    switch (FScrollDirection) {
    case TScrollDirection::sdBottomToTop:
        FX = 0;
        FY = height();
        break;
    case TScrollDirection::sdTopToBottom:
        FX = 0;
        FY = -height();
        break;
    case TScrollDirection::sdLeftToRight:
        FX = -width();
        FY = 0;
        break;
    case TScrollDirection::sdRightToLeft:
        FX = width();
        FY = 0;
        break;
    }
}

void TCoolScrollingText::ScrollStep() {
    const QSize block = TextBlockSize();
    const QPoint was(FX, FY);
    bool passEnded = false;
    switch (FScrollDirection) {
    case TScrollDirection::sdBottomToTop:
        if (FY > -block.height())
            --FY;
        else
            passEnded = true;
        break;
    case TScrollDirection::sdTopToBottom:
        if (FY < height())
            ++FY;
        else
            passEnded = true;
        break;
    case TScrollDirection::sdLeftToRight:
        if (FX < width())
            ++FX;
        else
            passEnded = true;
        break;
    case TScrollDirection::sdRightToLeft:
        if (FX > -block.width())
            --FX;
        else
            passEnded = true;
        break;
    }
    if (passEnded) {
        bool initialPosition = false;
        emit OnTextScrolled(this, initialPosition);
        setStartPosition(initialPosition);
        update();
        return;
    }
    // Moving the frame already on screen leaves only the entering line to
    // paint and send to the display, instead of the whole control each step.
    if (stepMovesPixels())
        scroll(FX - was.x(), FY - was.y());
    else
        update();
}

bool TCoolScrollingText::stepMovesPixels() const {
    // Only the text may move: the ground beneath it must look the same one
    // pixel along, and a pixel must be a whole number of device pixels.
    const qreal ratio = devicePixelRatioF();
    if (!testAttribute(Qt::WA_OpaquePaintEvent) || ratio != std::floor(ratio) ||
        !currentWallpaper().isNull())
        return false;
    if (!FTransparent)
        return true;
    const bool horizontal = FScrollDirection == TScrollDirection::sdLeftToRight ||
                            FScrollDirection == TScrollDirection::sdRightToLeft;
    return horizontal ? FBackRowsUniform : FBackColumnsUniform;
}

void TCoolScrollingText::takeBackgroundSnapshot() {
    QWidget *top = window();
    if (top == this || size().isEmpty()) {
        FBackBitmap = QPixmap();
        FBackRowsUniform = FBackColumnsUniform = false;
        return;
    }
    // Rendering from the top-level window gets the real pixels even when the
    // direct parent is a container that paints nothing itself. This control
    // paints nothing meanwhile, so the capture holds none of its old text; it
    // must not count as opaque either, or the widgets beneath would skip the
    // area it covers.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    FTakingSnapshot = true;
    FBackBitmap = top->grab(QRect(mapTo(top, QPoint(0, 0)), size()));
    FTakingSnapshot = false;
    FBackRowsUniform = linesAreUniform(FBackBitmap, Qt::Horizontal);
    FBackColumnsUniform = linesAreUniform(FBackBitmap, Qt::Vertical);
    updateOpacity();
}

void TCoolScrollingText::RefreshBackground() {
    // Rendering the window for a capture may lay it out and move this
    // control; that nested request is the capture already under way.
    if (FTakingSnapshot)
        return;
    if (FActive && FTransparent) {
        takeBackgroundSnapshot();
        updateOpacity();
        update();
    }
}

void TCoolScrollingText::updateOpacity() {
    // Opaque frames let Qt skip repainting the parent under the control on
    // every step: the frame covers every pixel itself.
    const bool opaque = !FTransparent || (FActive && !FBackBitmap.isNull());
    setAttribute(Qt::WA_OpaquePaintEvent, opaque);
}

// ---- drawing ----------------------------------------------------------------------

void TCoolScrollingText::drawText(QPainter &painter, QRect rect) {
    const QString text = drawnText();
    const int flags = textFlags();
    if (!isEnabled()) {
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(rect.translated(1, 1), flags, text);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawText(rect, flags, text);
        return;
    }
    if (FSimpleView) {
        painter.setPen(FontColor());
        painter.drawText(rect, flags, text);
        return;
    }
    QPoint textShift;
    QPoint shadowShift;
    const int s = FShadowSize;
    switch (FShadowPos) {
    case TShadowPosition::spLeftTop:
        textShift = {s, s};
        break;
    case TShadowPosition::spLeftBottom:
        textShift = {s, 0};
        shadowShift = {0, s};
        break;
    case TShadowPosition::spRightBottom:
        shadowShift = {s, s};
        break;
    case TShadowPosition::spRightTop:
        textShift = {0, s};
        shadowShift = {s, 0};
        break;
    }
    painter.setPen(FShadowColor);
    painter.drawText(rect.translated(shadowShift), flags, text);
    painter.setPen(FontColor());
    painter.drawText(rect.translated(textShift), flags, text);
}

void TCoolScrollingText::paintEvent(QPaintEvent *) {
    if (FTakingSnapshot)
        return;
    QPainter painter(this);
    if (FTransparent && FActive && !FBackBitmap.isNull())
        painter.drawPixmap(0, 0, FBackBitmap);

    const QPixmap wallpaper = currentWallpaper();
    if (!wallpaper.isNull()) {
        if (FStretched)
            painter.drawPixmap(rect(), wallpaper);
        else
            painter.drawTiledPixmap(rect(), wallpaper);
    } else if (!FTransparent) {
        painter.fillRect(rect(), Color());
    }

    painter.setFont(font());
    QRect textRect(QPoint(FX, FY), size());
    if (!FGlyph.IsEmpty()) {
        const int gap = FGlyph.ImageSize().width() + 2;
        const QFontMetrics metrics(font());
        QPoint glyphAt;
        switch (FAlignment) {
        case TAlignment::taLeftJustify:
            glyphAt = textRect.topLeft();
            textRect.setLeft(textRect.left() + gap);
            break;
        case TAlignment::taRightJustify: {
            const QRect extent = metrics.boundingRect(textRect, textFlags(), drawnText());
            glyphAt = QPoint(extent.left() - gap, textRect.top());
            break;
        }
        case TAlignment::taCenter: {
            // Glyph and text are centred as one unit.
            textRect.translate(gap / 2, 0);
            const QRect extent = metrics.boundingRect(textRect, textFlags(), drawnText());
            glyphAt = QPoint(extent.left() - gap, textRect.top());
            break;
        }
        }
        FGlyph.Draw(painter, glyphAt, isEnabled());
    }
    drawTextPicture(painter, textRect);
}

void TCoolScrollingText::drawTextPicture(QPainter &painter, QRect rect) {
    // Laying the text out is most of a step's cost, and the text moves by
    // whole pixels, so it is drawn once into a picture that each step copies.
    if (FTextPicture.isNull() || FTextPictureArea != rect.size()) {
        const QRect area(QPoint(0, 0), rect.size());
        const QFontMetrics metrics(font());
        // Room for the shadow or the engraving beside the text, and for ink
        // that reaches past the text's advance (italics, overhanging letters).
        const int margin = std::abs(FShadowSize) + 1 + metrics.height() / 2;
        const QRect extent = metrics.boundingRect(area, textFlags(), drawnText())
                                 .adjusted(-margin, -margin, margin, margin);
        const qreal ratio = devicePixelRatioF();
        QPixmap picture(extent.size() * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter onPicture(&picture);
        onPicture.setFont(font());
        onPicture.translate(-extent.topLeft());
        drawText(onPicture, area);
        onPicture.end();
        FTextPicture = picture;
        FTextPictureArea = rect.size();
        FTextPictureAt = extent.topLeft();
    }
    painter.drawPixmap(rect.topLeft() + FTextPictureAt, FTextPicture);
}

// ---- events -------------------------------------------------------------------------

void TCoolScrollingText::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    FBlock.reset();
    RefreshBackground();
}

void TCoolScrollingText::moveEvent(QMoveEvent *event) {
    QWidget::moveEvent(event);
    RefreshBackground();
}

void TCoolScrollingText::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    updateTimer();
}

void TCoolScrollingText::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    updateTimer();
}

void TCoolScrollingText::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        updateAccelerator();
        lookChanged();
    }
    if (event->type() == QEvent::PaletteChange)
        lookChanged();
    if (event->type() == QEvent::FontChange)
        contentChanged();
}

void TCoolScrollingText::updateAccelerator() {
    if (FShortcutId != 0) {
        releaseShortcut(FShortcutId);
        FShortcutId = 0;
    }
    if (!FShowAccelChar || !isEnabled() || !FFocusControl)
        return;
    const QKeySequence key = QKeySequence::mnemonic(FStrings.join(QLatin1Char('\n')));
    if (!key.isEmpty())
        FShortcutId = grabShortcut(key, Qt::WindowShortcut);
}

bool TCoolScrollingText::event(QEvent *event) {
    if (event->type() == QEvent::Shortcut && FShortcutId != 0) {
        if (FFocusControl)
            FFocusControl->setFocus(Qt::ShortcutFocusReason);
        return true;
    }
    return QWidget::event(event);
}
