// Draws the main window's skin pictures into a folder as PNG files. Run at
// build time; the output depends only on this file, so every build draws the
// same pictures.
//
// The look: brushed chrome with recessed black display panels, a grooved
// slider track and dark engraved button glyphs that read on both the skin and
// the plain window look.

#include "Skin.h"

#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>

namespace {

using Skin::Picture;

// A small fixed generator keeps the brushed texture identical on every build.
class Noise {
public:
    int next(int bound) {
        fState = fState * 1103515245u + 12345u;
        return static_cast<int>((fState >> 16) % static_cast<std::uint32_t>(bound));
    }

private:
    std::uint32_t fState = 20261208u;
};

QImage blank(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// A one-pixel inset bevel just outside `area`: dark above and left, light
// below and right, so the area looks sunk into the surface.
void recess(QPainter &p, QRect area, int depth) {
    for (int i = 1; i <= depth; ++i) {
        const QRect r = area.adjusted(-i, -i, i - 1, i - 1);
        const int shade = 70 + 25 * (i - 1);
        p.setPen(QColor(shade, shade + 4, shade + 10));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        const int light = 250 - 12 * (i - 1);
        p.setPen(QColor(light, light, light));
        p.drawLine(r.bottomLeft() + QPoint(1, 0), r.bottomRight());
        p.drawLine(r.topRight() + QPoint(0, 1), r.bottomRight());
    }
}

QImage background() {
    QImage image = blank(Skin::ClientSize);
    QPainter p(&image);
    const QRect all(QPoint(0, 0), Skin::ClientSize);

    QLinearGradient chrome(0, 0, 0, all.height());
    chrome.setColorAt(0.00, QColor(232, 236, 241));
    chrome.setColorAt(0.30, QColor(196, 202, 209));
    chrome.setColorAt(0.52, QColor(168, 175, 184));
    chrome.setColorAt(0.56, QColor(190, 196, 204));
    chrome.setColorAt(1.00, QColor(214, 219, 225));
    p.fillRect(all, chrome);

    // Brushed metal: faint horizontal streaks of varying length and tone.
    Noise noise;
    for (int y = 0; y < all.height(); ++y) {
        for (int n = 0; n < 6; ++n) {
            const int x = noise.next(all.width());
            const int length = 20 + noise.next(160);
            const bool light = noise.next(2) == 0;
            p.setPen(light ? QColor(255, 255, 255, 28 + noise.next(30))
                           : QColor(40, 48, 60, 14 + noise.next(18)));
            p.drawLine(x, y, x + length, y);
        }
    }

    // Outer rim.
    p.setPen(QColor(255, 255, 255, 180));
    p.drawLine(0, 0, all.width() - 1, 0);
    p.drawLine(0, 0, 0, all.height() - 1);
    p.setPen(QColor(90, 96, 106));
    p.drawLine(0, all.height() - 1, all.width() - 1, all.height() - 1);
    p.drawLine(all.width() - 1, 0, all.width() - 1, all.height() - 1);

    // Wells for the two panels and the slider.
    recess(p, Skin::LeftPanelRect, 2);
    recess(p, Skin::RightPanelRect, 2);
    const QRect sliderWell(Skin::SliderPos, Skin::TrackSize);
    recess(p, sliderWell, 1);

    // The button deck: an engraved line and a slightly darker band.
    const int deckTop = Skin::RightPanelRect.bottom() + 22;
    p.setPen(QColor(110, 117, 127));
    p.drawLine(6, deckTop, all.width() - 7, deckTop);
    p.setPen(QColor(250, 251, 252));
    p.drawLine(6, deckTop + 1, all.width() - 7, deckTop + 1);
    p.fillRect(QRect(6, deckTop + 2, all.width() - 12, all.height() - deckTop - 8),
               QColor(60, 70, 84, 18));

    // Two small screw heads for a finished look.
    for (const QPoint centre : {QPoint(4, all.height() - 5), QPoint(all.width() - 5, 4)}) {
        QRadialGradient head(centre - QPoint(1, 1), 3);
        head.setColorAt(0, QColor(250, 250, 252));
        head.setColorAt(1, QColor(120, 126, 136));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(head);
        p.drawEllipse(centre, 2, 2);
        p.setRenderHint(QPainter::Antialiasing, false);
    }
    return image;
}

QImage panel(QSize size) {
    QImage image = blank(size);
    QPainter p(&image);
    const QRect all(QPoint(0, 0), size);
    p.fillRect(all, Qt::black);
    // A faint glass reflection along the top keeps the panel from looking
    // like a hole, while staying dark enough for any text colour.
    QLinearGradient glass(0, 0, 0, size.height());
    glass.setColorAt(0.0, QColor(40, 52, 66, 90));
    glass.setColorAt(0.35, QColor(10, 14, 18, 40));
    glass.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.fillRect(all, glass);
    p.setPen(QColor(34, 38, 44));
    p.drawRect(all.adjusted(0, 0, -1, -1));
    return image;
}

QImage track(bool light) {
    QImage image = blank(Skin::TrackSize);
    QPainter p(&image);
    const QRect all(QPoint(0, 0), Skin::TrackSize);
    p.fillRect(all, light ? QColor(206, 211, 217) : QColor(30, 34, 40));
    const int middle = all.height() / 2;
    const QRect channel(3, middle - 2, all.width() - 6, 4);
    p.fillRect(channel, light ? QColor(96, 104, 114) : QColor(4, 6, 8));
    p.setPen(light ? QColor(62, 68, 76) : QColor(0, 0, 0));
    p.drawLine(channel.topLeft(), channel.topRight());
    p.setPen(light ? QColor(255, 255, 255) : QColor(70, 80, 92));
    p.drawLine(channel.bottomLeft() + QPoint(0, 1), channel.bottomRight() + QPoint(0, 1));
    // Ticks at each quarter of the song.
    p.setPen(light ? QColor(120, 128, 138) : QColor(80, 90, 104));
    for (int quarter = 0; quarter <= 4; ++quarter) {
        const int x = channel.left() + (channel.width() - 1) * quarter / 4;
        p.drawLine(x, 1, x, 2);
        p.drawLine(x, all.height() - 3, x, all.height() - 2);
    }
    return image;
}

enum class ThumbLook { Normal, Highlighted, Clicked };

QImage thumb(ThumbLook look) {
    QImage image = blank(Skin::ThumbSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body =
        QRectF(QPointF(0, 0), QSizeF(Skin::ThumbSize)).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient face(0, 0, 0, body.height());
    switch (look) {
    case ThumbLook::Normal:
        face.setColorAt(0, QColor(252, 253, 255));
        face.setColorAt(0.5, QColor(190, 197, 206));
        face.setColorAt(1, QColor(140, 148, 160));
        break;
    case ThumbLook::Highlighted:
        face.setColorAt(0, QColor(240, 255, 255));
        face.setColorAt(0.5, QColor(150, 220, 235));
        face.setColorAt(1, QColor(70, 150, 176));
        break;
    case ThumbLook::Clicked:
        face.setColorAt(0, QColor(96, 110, 126));
        face.setColorAt(0.5, QColor(140, 170, 186));
        face.setColorAt(1, QColor(210, 236, 244));
        break;
    }
    p.setPen(QPen(look == ThumbLook::Normal ? QColor(70, 76, 86) : QColor(20, 80, 100), 1));
    p.setBrush(face);
    p.drawRoundedRect(body, 3, 3);
    // A grip of three lines in the middle.
    p.setRenderHint(QPainter::Antialiasing, false);
    const int middle = Skin::ThumbSize.width() / 2;
    for (int dx : {-2, 0, 2}) {
        p.setPen(QColor(60, 66, 76, 170));
        p.drawLine(middle + dx - 1, 4, middle + dx - 1, Skin::ThumbSize.height() - 5);
    }
    return image;
}

// Button glyphs: dark slate shapes with a soft light edge below, so they read
// on chrome and on a plain grey button face.
const QColor Ink(28, 36, 48);

QImage glyph(const std::function<void(QPainterPath &)> &shape) {
    QImage image = blank(Skin::GlyphSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    shape(path);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawPath(path.translated(0, 1));
    p.setBrush(Ink);
    p.drawPath(path);
    return image;
}

void triangleRight(QPainterPath &path, qreal left, qreal top, qreal width, qreal height) {
    path.moveTo(left, top);
    path.lineTo(left + width, top + height / 2);
    path.lineTo(left, top + height);
    path.closeSubpath();
}

void triangleLeft(QPainterPath &path, qreal left, qreal top, qreal width, qreal height) {
    path.moveTo(left + width, top);
    path.lineTo(left, top + height / 2);
    path.lineTo(left + width, top + height);
    path.closeSubpath();
}

void folder(QPainterPath &path) {
    path.addRoundedRect(QRectF(1, 4, 14, 10), 1.5, 1.5);
    path.addRoundedRect(QRectF(1, 2.5, 6, 3), 1, 1);
}

QImage folderWithArrow(bool forward) {
    // The arrow is cut out of the folder so it shows in the background colour.
    QImage image = blank(Skin::GlyphSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath body;
    body.setFillRule(Qt::WindingFill);
    folder(body);
    QPainterPath arrow;
    if (forward) {
        arrow.addRect(QRectF(4, 8, 4, 2));
        triangleRight(arrow, 8, 6, 4, 6);
    } else {
        arrow.addRect(QRectF(8, 8, 4, 2));
        triangleLeft(arrow, 4, 6, 4, 6);
    }
    const QPainterPath cut = body.subtracted(arrow);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawPath(cut.translated(0, 1));
    p.setBrush(Ink);
    p.drawPath(cut);
    return image;
}

QImage volumeGlyph() {
    QImage image = glyph([](QPainterPath &path) {
        path.addRect(QRectF(1, 6, 3, 4));
        path.moveTo(4, 6);
        path.lineTo(8, 2.5);
        path.lineTo(8, 13.5);
        path.lineTo(4, 10);
        path.closeSubpath();
    });
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Ink, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(6, 5, 5, 6), -50 * 16, 100 * 16);
    p.drawArc(QRectF(6, 2.5, 8.5, 11), -55 * 16, 110 * 16);
    return image;
}

QImage busySheet() {
    const QSize frame = Skin::BusyFrameSize;
    QImage image = blank(QSize(frame.width() * Skin::BusyFrameCount, frame.height()));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A sheet of paper travels from the left folder to the right one.
    for (int i = 0; i < Skin::BusyFrameCount; ++i) {
        const int origin = i * frame.width();
        for (int side : {0, 1}) {
            const qreal left = origin + (side == 0 ? 2 : frame.width() - 16);
            QPainterPath shape;
            shape.addRoundedRect(QRectF(left, 10, 14, 11), 1.5, 1.5);
            shape.addRoundedRect(QRectF(left, 8.5, 6, 3), 1, 1);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(214, 168, 62));
            p.drawPath(shape);
        }
        const qreal t = static_cast<qreal>(i) / (Skin::BusyFrameCount - 1);
        const qreal x = origin + 6 + t * (frame.width() - 22);
        const qreal y = 8 - 7 * 4 * t * (1 - t);
        p.setPen(QPen(QColor(90, 96, 106), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(x, y, 9, 11));
        p.setPen(QColor(150, 156, 166));
        for (int line = 0; line < 3; ++line)
            p.drawLine(QPointF(x + 2, y + 3 + 2.5 * line), QPointF(x + 7, y + 3 + 2.5 * line));
    }
    return image;
}

std::map<Picture, QImage> drawAll() {
    std::map<Picture, QImage> out;
    out[Picture::WindowBackground] = background();
    out[Picture::LeftPanel] = panel(Skin::LeftPanelRect.size());
    out[Picture::RightPanel] = panel(Skin::RightPanelRect.size());
    out[Picture::TrackLight] = track(true);
    out[Picture::TrackDark] = track(false);
    out[Picture::ThumbNormal] = thumb(ThumbLook::Normal);
    out[Picture::ThumbHighlighted] = thumb(ThumbLook::Highlighted);
    out[Picture::ThumbClicked] = thumb(ThumbLook::Clicked);
    out[Picture::GlyphPreviousFolder] = folderWithArrow(false);
    out[Picture::GlyphNextFolder] = folderWithArrow(true);
    out[Picture::GlyphPrevious] = glyph([](QPainterPath &path) {
        path.addRect(QRectF(2, 3, 2.5, 10));
        triangleLeft(path, 4.5, 3, 9, 10);
    });
    out[Picture::GlyphNext] = glyph([](QPainterPath &path) {
        triangleRight(path, 2.5, 3, 9, 10);
        path.addRect(QRectF(11.5, 3, 2.5, 10));
    });
    out[Picture::GlyphPlay] = glyph([](QPainterPath &path) { triangleRight(path, 4, 2, 10, 12); });
    out[Picture::GlyphPause] = glyph([](QPainterPath &path) {
        path.addRect(QRectF(3.5, 3, 3.5, 10));
        path.addRect(QRectF(9, 3, 3.5, 10));
    });
    out[Picture::GlyphStop] =
        glyph([](QPainterPath &path) { path.addRect(QRectF(3.5, 3.5, 9, 9)); });
    out[Picture::GlyphPlaylist] = glyph([](QPainterPath &path) {
        for (int row = 0; row < 3; ++row) {
            path.addEllipse(QRectF(1.5, 2.5 + 4 * row, 2.5, 2.5));
            path.addRect(QRectF(5.5, 3 + 4 * row, 9, 1.8));
        }
    });
    out[Picture::GlyphVolume] = volumeGlyph();
    out[Picture::GlyphInformation] = glyph([](QPainterPath &path) {
        // Even-odd filling leaves the ring's inside empty and the letter,
        // lying inside it, filled.
        path.setFillRule(Qt::OddEvenFill);
        path.addEllipse(QRectF(1, 1, 14, 14));
        path.addEllipse(QRectF(2.6, 2.6, 10.8, 10.8));
        path.addEllipse(QRectF(7, 3.8, 2, 2));
        path.addRect(QRectF(7.1, 6.8, 1.8, 5.6));
    });
    out[Picture::GlyphOpen] = glyph([](QPainterPath &path) {
        path.moveTo(8, 2.5);
        path.lineTo(14, 9);
        path.lineTo(2, 9);
        path.closeSubpath();
        path.addRect(QRectF(2, 11, 12, 2.5));
    });
    out[Picture::BusyAnimation] = busySheet();
    return out;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    const auto pictures = drawAll();
    if (static_cast<int>(pictures.size()) != Skin::PictureCount) {
        std::fprintf(stderr, "drew %zu pictures, expected %d\n", pictures.size(),
                     Skin::PictureCount);
        return 1;
    }
    for (const auto &[which, image] : pictures) {
        const QString path = folder + QLatin1Char('/') + Skin::name(which) + QStringLiteral(".png");
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
