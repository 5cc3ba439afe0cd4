#include "QtTestEnvironment.h"
#include "TCoolImages.h"
#include "TGlyph.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QColor Key(255, 0, 255);
const QColor Ink(10, 20, 30);
const QColor Grey(99, 99, 99);

// Two 8 x 8 images side by side on a key-coloured ground without alpha: an
// inked square on the left, a grey one on the right.
QPixmap twoImageBitmap() {
    QImage image(16, 8, QImage::Format_RGB32);
    image.fill(Key);
    QPainter painter(&image);
    painter.fillRect(QRect(2, 2, 4, 4), Ink);
    painter.fillRect(QRect(10, 2, 4, 4), Grey);
    return QPixmap::fromImage(image);
}

TEST(ControlsGlyph, CutsImagesAndKeysTheGroundTransparent) {
    TGlyph glyph;
    glyph.setGlyph(twoImageBitmap());
    glyph.setNumGlyphs(2);
    EXPECT_EQ(glyph.ImageSize(), QSize(8, 8));
    const QImage normal = glyph.Image(TGlyph::State::Normal).toImage();
    const QImage disabled = glyph.Image(TGlyph::State::Disabled).toImage();
    EXPECT_EQ(countPixels(normal, Ink), 16);
    EXPECT_EQ(countPixels(disabled, Grey), 16);
    EXPECT_EQ(qAlpha(normal.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(disabled.pixel(7, 7)), 0);
}

TEST(ControlsGlyph, SingleImageGetsADerivedDisabledLook) {
    TGlyph glyph;
    glyph.setGlyph(twoImageBitmap().copy(0, 0, 8, 8));
    const QImage disabled = glyph.Image(TGlyph::State::Disabled).toImage();
    ASSERT_EQ(disabled.size(), QSize(8, 8));
    EXPECT_EQ(countPixels(disabled, Ink), 0);
    EXPECT_GT(countPixels(disabled, QColor(128, 128, 128)), 0);
    EXPECT_EQ(qAlpha(disabled.pixel(0, 0)), 0);
}

TEST(ControlsGlyph, ImageCountIsOneOrTwo) {
    TGlyph glyph;
    int changes = 0;
    glyph.OnChange = [&] { ++changes; };
    glyph.setNumGlyphs(5);
    EXPECT_EQ(glyph.NumGlyphs(), 2);
    glyph.setNumGlyphs(0);
    EXPECT_EQ(glyph.NumGlyphs(), 1);
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(glyph.Image(TGlyph::State::Normal).isNull()) << "no bitmap, no image";
}

TEST(ControlsGlyphCache, GlyphsOfOneSizeShareAListThatLivesWhileUsed) {
    TGlyphCache &cache = TGlyphCache::Instance();
    const int before = cache.ListCount();
    {
        TGlyph a;
        TGlyph b;
        TGlyph c;
        a.setGlyph(twoImageBitmap());
        b.setGlyph(twoImageBitmap());
        QPixmap other(5, 5);
        other.fill(Ink);
        c.setGlyph(other);
        a.Image(TGlyph::State::Normal);
        b.Image(TGlyph::State::Normal);
        c.Image(TGlyph::State::Normal);
        EXPECT_EQ(cache.ListCount(), before + 2);
        const auto shared = cache.GetList({16, 8});
        EXPECT_EQ(shared->Count(), 2);
        b.setGlyph(QPixmap()); // gives its slot back
        EXPECT_EQ(shared->Count(), 1);
        EXPECT_EQ(shared->Add(QPixmap(16, 8)), 1) << "the freed slot is reused";
        shared->Delete(1);
    }
    EXPECT_EQ(cache.ListCount(), before);
}

TEST(ControlsCoolImages, LinksHearChangesAndSurviveEitherSideGoingFirst) {
    auto images = std::make_unique<TCoolImages>();
    int heard = 0;
    {
        TCoolChangeLink link;
        link.OnChange = [&] { ++heard; };
        images->RegisterChanges(&link);
        images->Add(QPixmap(2, 2));
        images->SetPicture(0, QPixmap(3, 3));
        images->SetPicture(7, QPixmap(3, 3)); // outside: ignored
        EXPECT_EQ(heard, 2);
    } // the link unregisters itself
    images->Clear();
    EXPECT_EQ(heard, 2);

    TCoolChangeLink survivor;
    images->RegisterChanges(&survivor);
    images.reset();
    EXPECT_EQ(survivor.Sender(), nullptr);
    EXPECT_TRUE(TCoolImages().Picture(-1).isNull());
}

} // namespace
