#pragma once

#include <QPixmap>
#include <QPoint>
#include <QSize>
#include <QVector>

#include <functional>
#include <map>
#include <memory>

class QPainter;

// Images of one size, shared by every glyph of that size. Slots of glyphs that
// let go of their images are reused, so the list stays as long as the largest
// set of images in use at one time.
class TGlyphList {
public:
    explicit TGlyphList(QSize size) : fSize(size) {}

    QSize Size() const { return fSize; }
    // Stores a picture of the list's size; returns its index.
    int Add(const QPixmap &image);
    void Delete(int index);
    QPixmap Image(int index) const;
    // Images in use, not counting freed slots.
    int Count() const;

private:
    QSize fSize;
    QVector<QPixmap> fImages;
    QVector<bool> fUsed;
};

// Hands out the shared list for a size; a list lives while a glyph uses it.
class TGlyphCache {
public:
    static TGlyphCache &Instance();

    std::shared_ptr<TGlyphList> GetList(QSize size);
    // Lists still alive; for diagnostics and tests.
    int ListCount();

private:
    struct SizeOrder {
        bool operator()(QSize a, QSize b) const {
            return a.width() != b.width() ? a.width() < b.width() : a.height() < b.height();
        }
    };
    std::map<QSize, std::weak_ptr<TGlyphList>, SizeOrder> fLists;
};

// A glyph bitmap holding up to two images side by side: normal and disabled.
// Without a disabled image one is made from the normal image. Images are cut
// and made transparent once, when first drawn, and kept in the shared list.
class TGlyph {
public:
    enum class State { Normal = 0, Disabled = 1 };

    TGlyph() = default;
    ~TGlyph();
    TGlyph(const TGlyph &) = delete;
    TGlyph &operator=(const TGlyph &) = delete;

    const QPixmap &Glyph() const { return fOriginal; }
    void setGlyph(const QPixmap &bitmap);
    int NumGlyphs() const { return fNumGlyphs; }
    // 1 or 2; other values are moved to the nearer of them.
    void setNumGlyphs(int count);

    bool IsEmpty() const { return fOriginal.isNull(); }
    // The size of one image: the bitmap's width divided by the image count.
    QSize ImageSize() const;
    QPixmap Image(State state);
    void Draw(QPainter &painter, QPoint at, bool enabled);

    // Called after the bitmap or the image count changed.
    std::function<void()> OnChange;

private:
    void releaseImages();

    QPixmap fOriginal;
    int fNumGlyphs = 1;
    std::shared_ptr<TGlyphList> fList;
    int fIndex[2] = {-1, -1};
};
