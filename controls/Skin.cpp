#include "Skin.h"

#include <array>

namespace Skin {

namespace {

// In the order of `Picture`; the skin-art tool writes files of these names.
constexpr std::array<const char *, PictureCount> Names = {
    "background",     "panel_left",        "panel_right",   "track_light",      "track_dark",
    "thumb_normal",   "thumb_highlighted", "thumb_clicked", "glyph_prevfolder", "glyph_prev",
    "glyph_play",     "glyph_pause",       "glyph_stop",    "glyph_next",       "glyph_nextfolder",
    "glyph_playlist", "glyph_volume",      "glyph_info",    "glyph_open",       "busy",
};

} // namespace

QString name(Picture picture) {
    const auto index = static_cast<std::size_t>(picture);
    return index < Names.size() ? QString::fromLatin1(Names[index]) : QString();
}

QString resourcePath(Picture picture) {
    return QStringLiteral(":/velbrin/skin/") + name(picture) + QStringLiteral(".png");
}

QPixmap picture(Picture picture) {
    return QPixmap(resourcePath(picture));
}

QPixmap busyFrame(int index) {
    const QPixmap sheet = picture(Picture::BusyAnimation);
    if (sheet.isNull())
        return {};
    const int frame = ((index % BusyFrameCount) + BusyFrameCount) % BusyFrameCount;
    return sheet.copy(frame * BusyFrameSize.width(), 0, BusyFrameSize.width(),
                      BusyFrameSize.height());
}

bool isLight(const QColor &colour) {
    const QColor rgb = colour.toRgb();
    return rgb.red() + rgb.green() + rgb.blue() >= 200;
}

Picture trackFor(const QColor &windowColour) {
    return isLight(windowColour) ? Picture::TrackLight : Picture::TrackDark;
}

} // namespace Skin
