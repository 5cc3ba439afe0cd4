#include "TGlyph.h"

#include "TransparentPicture.h"

#include <QBitmap>
#include <QPainter>

#include <algorithm>

int TGlyphList::Add(const QPixmap &image) {
    const auto freeSlot = std::find(fUsed.begin(), fUsed.end(), false);
    if (freeSlot != fUsed.end()) {
        const auto index = static_cast<int>(freeSlot - fUsed.begin());
        fImages[index] = image;
        fUsed[index] = true;
        return index;
    }
    fImages.append(image);
    fUsed.append(true);
    return static_cast<int>(fImages.size() - 1);
}

void TGlyphList::Delete(int index) {
    if (index < 0 || index >= fImages.size())
        return;
    fImages[index] = QPixmap();
    fUsed[index] = false;
}

QPixmap TGlyphList::Image(int index) const {
    if (index < 0 || index >= fImages.size())
        return {};
    return fImages[index];
}

int TGlyphList::Count() const {
    return static_cast<int>(std::count(fUsed.begin(), fUsed.end(), true));
}

TGlyphCache &TGlyphCache::Instance() {
    static TGlyphCache cache;
    return cache;
}

std::shared_ptr<TGlyphList> TGlyphCache::GetList(QSize size) {
    auto &slot = fLists[size];
    auto list = slot.lock();
    if (!list) {
        list = std::make_shared<TGlyphList>(size);
        slot = list;
    }
    return list;
}

int TGlyphCache::ListCount() {
    std::erase_if(fLists, [](const auto &entry) { return entry.second.expired(); });
    return static_cast<int>(fLists.size());
}

TGlyph::~TGlyph() {
    releaseImages();
}

void TGlyph::releaseImages() {
    if (fList) {
        for (int &index : fIndex) {
            fList->Delete(index);
            index = -1;
        }
    }
    fList.reset();
}

void TGlyph::setGlyph(const QPixmap &bitmap) {
    releaseImages();
    fOriginal = bitmap;
    if (OnChange)
        OnChange();
}

void TGlyph::setNumGlyphs(int count) {
    count = std::clamp(count, 1, 2);
    if (count == fNumGlyphs)
        return;
    releaseImages();
    fNumGlyphs = count;
    if (OnChange)
        OnChange();
}

QSize TGlyph::ImageSize() const {
    if (fOriginal.isNull())
        return {};
    return {fOriginal.width() / fNumGlyphs, fOriginal.height()};
}

namespace {

// The engraved look of a disabled picture: its shape in the highlight colour,
// one pixel down and right, under the same shape in the shadow colour.
QPixmap engraved(const QPixmap &normal) {
    QPixmap result(normal.size());
    result.fill(Qt::transparent);
    QBitmap shape = normal.mask();
    if (shape.isNull()) {
        shape = QBitmap(normal.size());
        shape.fill(Qt::color1);
    }
    QPainter painter(&result);
    painter.setPen(QColor(255, 255, 255));
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawPixmap(1, 1, shape);
    painter.setPen(QColor(128, 128, 128));
    painter.drawPixmap(0, 0, shape);
    return result;
}

} // namespace

QPixmap TGlyph::Image(State state) {
    const QSize size = ImageSize();
    if (size.isEmpty())
        return {};
    const int which = static_cast<int>(state);
    if (!fList)
        fList = TGlyphCache::Instance().GetList(size);
    if (fIndex[which] < 0) {
        QPixmap image;
        if (which < fNumGlyphs)
            image = transparentCopy(
                fOriginal.copy(which * size.width(), 0, size.width(), size.height()));
        else
            image = engraved(Image(State::Normal));
        fIndex[which] = fList->Add(image);
    }
    return fList->Image(fIndex[which]);
}

void TGlyph::Draw(QPainter &painter, QPoint at, bool enabled) {
    const QPixmap image = Image(enabled ? State::Normal : State::Disabled);
    if (!image.isNull())
        painter.drawPixmap(at, image);
}
