#pragma once

#include "FrameTimer.h"
#include "TCoolImages.h"
#include "TGlyph.h"

#include <QColor>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <optional>

namespace velbrin::platform {
class WindowSight;
}

enum class TScrollDirection { sdBottomToTop, sdTopToBottom, sdLeftToRight, sdRightToLeft };
enum class TShadowPosition { spLeftTop, spLeftBottom, spRightBottom, spRightTop };
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

// Lines of text with an optional glyph, a drop shadow and an optional
// wallpaper, which can scroll continuously one pixel per step in one of four
// directions.
//
// Texts are always drawn as plain text: no markup is interpreted, and "&" is
// shown as itself unless `ShowAccelChar` is off.
//
// While scrolling over a transparent background, the parent's pixels under the
// control are captured once per activation (and again when the control moves
// or is resized) and every step paints that capture plus the text as one
// opaque frame; the parent is not repainted per step.
//
// Steps run only while they can be seen: the control is shown and its window
// is neither minimised nor covered; the text waits where it stands meanwhile.
// The text is laid out and drawn once per change of text, font or look, and
// each step copies that picture over the background. Where the ground under
// the text looks the same all along the direction of travel (a plain fill, or
// a capture whose rows are each one colour for sideways scrolling), a step
// moves the frame already drawn and paints only the line that enters.
//
// The control is named "TCoolScrollingText" until its owner names it.
//
// Threading: everything, including the step timer, runs on the user-interface
// thread; the steps arrive as timer events of the event loop, on the beat the
// window's other animations share.
class TCoolScrollingText : public QWidget {
    Q_OBJECT

public:
    explicit TCoolScrollingText(QWidget *owner = nullptr);
    ~TCoolScrollingText() override;

    const QStringList &Strings() const { return FStrings; }
    void setStrings(const QStringList &lines);
    // All lines, each followed by CR LF.
    QString Text() const;
    // Splits at any line break; a final line break ends the last line.
    void setText(const QString &text);

    bool Active() const { return FActive; }
    void setActive(bool active);
    std::uint16_t Interval() const { return FInterval; }
    void setInterval(std::uint16_t milliseconds);
    TScrollDirection ScrollDirection() const { return FScrollDirection; }
    // A horizontal direction also resets the alignment to left.
    void setScrollDirection(TScrollDirection direction);
    TAlignment Alignment() const { return FAlignment; }
    void setAlignment(TAlignment alignment);

    // Changing any of the three shadow properties turns `SimpleView` off.
    QColor ShadowColor() const { return FShadowColor; }
    void setShadowColor(const QColor &color);
    int ShadowSize() const { return FShadowSize; }
    void setShadowSize(int pixels);
    TShadowPosition ShadowPos() const { return FShadowPos; }
    void setShadowPos(TShadowPosition position);
    bool SimpleView() const { return FSimpleView; }
    void setSimpleView(bool simple);

    bool Transparent() const { return FTransparent; }
    void setTransparent(bool transparent);
    bool Stretched() const { return FStretched; }
    void setStretched(bool stretched);
    bool ShowAccelChar() const { return FShowAccelChar; }
    void setShowAccelChar(bool show);
    QWidget *FocusControl() const { return FFocusControl; }
    void setFocusControl(QWidget *control);
    bool AutoSize() const { return FAutoSize; }
    void setAutoSize(bool autoSize);

    // The fill colour without a wallpaper, and the text colour.
    QColor Color() const;
    void setColor(const QColor &color);
    QColor FontColor() const;
    void setFontColor(const QColor &color);

    const QPixmap &Glyph() const { return FGlyph.Glyph(); }
    void setGlyph(const QPixmap &bitmap);
    int NumGlyphs() const { return FGlyph.NumGlyphs(); }
    void setNumGlyphs(int count);

    const QPixmap &Wallpaper() const { return FWallpaper; }
    void setWallpaper(const QPixmap &picture);
    // Null also after the collection has been destroyed.
    TCoolImages *CoolImages() const { return FImageLink.Sender(); }
    void setCoolImages(TCoolImages *images);
    int idWallpaper() const { return FidWallpaper; }
    void setidWallpaper(int index);

    // The current text offset inside the control.
    int X() const { return FX; }
    int Y() const { return FY; }
    // The text block one pass must move: the text's extent in the control's
    // font (word-wrapped at the control's width with two or more lines),
    // widened by one glyph image plus 2 pixels and at least as tall as it.
    QSize TextBlockSize() const;

    // One tick of the timer: moves the text one pixel, or starts a new pass
    // when it has left the control.
    void ScrollStep();
    // Captures the parent's background again, for when the parent's look
    // changed while scrolling.
    void RefreshBackground();
    // Whether steps currently draw over a captured background.
    bool HasBackground() const { return !FBackBitmap.isNull(); }
    // Whether the step timer runs: active, and its steps can be seen.
    bool Stepping() const { return FTimer.isActive(); }

signals:
    // A pass has ended. `InitialPosition` enters false; a handler that sets it
    // starts the next pass at (0, 0) instead of the entry edge. Connect
    // directly: the flag is read back right after the signal returns.
    void OnTextScrolled(TCoolScrollingText *sender, bool &InitialPosition);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;

private:
    QString drawnText() const;
    int textFlags() const;
    QPixmap currentWallpaper() const;
    void setStartPosition(bool initial);
    void updateTimer();
    bool stepMovesPixels() const;
    void takeBackgroundSnapshot();
    void updateOpacity();
    void updateAccelerator();
    void adjustSize();
    void contentChanged();
    void lookChanged();
    void drawText(QPainter &painter, QRect rect);
    void drawTextPicture(QPainter &painter, QRect rect);

    QStringList FStrings;
    bool FActive = false;
    std::uint16_t FInterval = 25;
    TScrollDirection FScrollDirection = TScrollDirection::sdRightToLeft;
    TAlignment FAlignment = TAlignment::taLeftJustify;
    QColor FShadowColor;
    int FShadowSize = 1;
    TShadowPosition FShadowPos = TShadowPosition::spLeftTop;
    bool FSimpleView = false;
    bool FTransparent = false;
    bool FStretched = false;
    bool FShowAccelChar = true;
    bool FAutoSize = false;
    QPointer<QWidget> FFocusControl;
    QPixmap FWallpaper;
    int FidWallpaper = -1;
    TCoolChangeLink FImageLink;
    TGlyph FGlyph;
    int FX = 0;
    int FY = 0;
    QPixmap FBackBitmap;
    // Whether each row, or each column, of the capture is a single colour.
    bool FBackRowsUniform = false;
    bool FBackColumnsUniform = false;
    bool FTakingSnapshot = false;
    int FShortcutId = 0;
    FrameTimer FTimer;
    velbrin::platform::WindowSight *FSight = nullptr; // child object
    // What the text looks like, kept until it changes: its block, and its
    // picture for a text rectangle of `FTextPictureArea` at `FTextPictureAt`.
    mutable std::optional<QSize> FBlock;
    QPixmap FTextPicture;
    QSize FTextPictureArea;
    QPoint FTextPictureAt;
};
