#include "Skin.h"
#include "QtTestEnvironment.h"
#include "TSlider.h"

#include <gtest/gtest.h>

namespace {

using Skin::Picture;

QSize expectedSize(Picture picture) {
    switch (picture) {
    case Picture::WindowBackground:
        return Skin::ClientSize;
    case Picture::LeftPanel:
        return Skin::LeftPanelRect.size();
    case Picture::RightPanel:
        return Skin::RightPanelRect.size();
    case Picture::TrackLight:
    case Picture::TrackDark:
        return Skin::TrackSize;
    case Picture::ThumbNormal:
    case Picture::ThumbHighlighted:
    case Picture::ThumbClicked:
        return Skin::ThumbSize;
    case Picture::BusyAnimation:
        return {Skin::BusyFrameSize.width() * Skin::BusyFrameCount, Skin::BusyFrameSize.height()};
    default:
        return Skin::GlyphSize;
    }
}

int brightness(QRgb pixel) {
    return qRed(pixel) + qGreen(pixel) + qBlue(pixel);
}

TEST(ControlsSkin, EveryPictureIsBuiltInAtItsSize) {
    for (int i = 0; i < Skin::PictureCount; ++i) {
        const auto which = static_cast<Picture>(i);
        const QPixmap picture = Skin::picture(which);
        ASSERT_FALSE(picture.isNull()) << Skin::resourcePath(which).toStdString();
        EXPECT_EQ(picture.size(), expectedSize(which)) << Skin::name(which).toStdString();
    }
}

TEST(ControlsSkin, PanelsAreBlackAndTheWindowIsNot) {
    for (Picture panel : {Picture::LeftPanel, Picture::RightPanel}) {
        const QImage image = Skin::picture(panel).toImage();
        EXPECT_LT(brightness(image.pixel(image.width() / 2, image.height() - 4)), 30);
    }
    const QImage window = Skin::picture(Picture::WindowBackground).toImage();
    EXPECT_GT(brightness(window.pixel(100, 150)), 400);
}

TEST(ControlsSkin, GlyphsAndThumbsHaveInkOnATransparentGround) {
    for (int i = static_cast<int>(Picture::ThumbNormal); i <= static_cast<int>(Picture::GlyphOpen);
         ++i) {
        const QImage image = Skin::picture(static_cast<Picture>(i)).toImage();
        int clear = 0;
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                clear += qAlpha(image.pixel(x, y)) == 0 ? 1 : 0;
                opaque += qAlpha(image.pixel(x, y)) == 255 ? 1 : 0;
            }
        EXPECT_GT(clear, 0) << i;
        EXPECT_GT(opaque, 8) << i;
    }
    // The three thumb looks differ from one another.
    const QImage normal = Skin::picture(Picture::ThumbNormal).toImage();
    EXPECT_NE(normal, Skin::picture(Picture::ThumbHighlighted).toImage());
    EXPECT_NE(normal, Skin::picture(Picture::ThumbClicked).toImage());
}

TEST(ControlsSkin, TrackFollowsTheWindowColoursLightness) {
    EXPECT_EQ(Skin::trackFor(QColor(67, 67, 66)), Picture::TrackLight); // sum 200
    EXPECT_EQ(Skin::trackFor(QColor(67, 66, 66)), Picture::TrackDark);  // sum 199
    EXPECT_EQ(Skin::trackFor(QColor(240, 240, 240)), Picture::TrackLight);
    const QImage light = Skin::picture(Picture::TrackLight).toImage();
    const QImage dark = Skin::picture(Picture::TrackDark).toImage();
    EXPECT_GT(brightness(light.pixel(1, 1)), brightness(dark.pixel(1, 1)) + 300);
}

TEST(ControlsSkin, BusyFramesCycle) {
    EXPECT_EQ(Skin::busyFrame(0).size(), Skin::BusyFrameSize);
    EXPECT_EQ(Skin::busyFrame(9).toImage(), Skin::busyFrame(1).toImage());
    EXPECT_EQ(Skin::busyFrame(-1).toImage(), Skin::busyFrame(Skin::BusyFrameCount - 1).toImage());
    EXPECT_NE(Skin::busyFrame(0).toImage(), Skin::busyFrame(3).toImage());
}

TEST(ControlsSkin, PositionBarBuiltFromTheSkin) {
    TSlider slider;
    slider.setThumbNormal(Skin::picture(Picture::ThumbNormal));
    slider.setThumbHighlighted(Skin::picture(Picture::ThumbHighlighted));
    slider.setThumbClicked(Skin::picture(Picture::ThumbClicked));
    slider.setTrack(Skin::picture(Picture::TrackLight));
    slider.setMaximum(400);
    slider.resize(slider.sizeHint());
    EXPECT_EQ(slider.size(), Skin::TrackSize);
    slider.setPosition(200);
    EXPECT_EQ(slider.ThumbBounds(), QRect(QPoint(112, 0), Skin::ThumbSize));
    // The track shows left of the thumb, and the thumb's transparent corner
    // shows the track beneath it.
    const QImage image = slider.grab().toImage();
    const QImage track = Skin::picture(Picture::TrackLight).toImage();
    EXPECT_EQ(image.pixel(50, 1), track.pixel(50, 1));
    EXPECT_EQ(image.pixel(112, 0), track.pixel(112, 0));
}

} // namespace
