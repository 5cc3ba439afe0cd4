#pragma once

#include <QColor>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

// The main window's bitmap skin: pictures drawn for this program by the
// skin-art tool at build time and compiled into the program as resources,
// plus the geometry they were drawn for.
namespace Skin {

enum class Picture {
    WindowBackground, // the whole client area
    LeftPanel,        // black display panel: artist, album, category, year
    RightPanel,       // black display panel: title, time code, comments
    TrackLight,       // slider track for light window colours
    TrackDark,        // slider track for dark window colours
    ThumbNormal,
    ThumbHighlighted, // under the mouse
    ThumbClicked,     // while dragged
    GlyphPreviousFolder,
    GlyphPrevious,
    GlyphPlay,
    GlyphPause,
    GlyphStop,
    GlyphNext,
    GlyphNextFolder,
    GlyphPlaylist,
    GlyphVolume,
    GlyphInformation,
    GlyphOpen,
    BusyAnimation, // BusyFrameCount frames of BusyFrameSize side by side
};
inline constexpr int PictureCount = static_cast<int>(Picture::BusyAnimation) + 1;

// The picture's resource name, for example "thumb_normal".
QString name(Picture picture);
// The picture's resource path (":/velbrin/skin/<name>.png").
QString resourcePath(Picture picture);
// The picture, or a null pixmap if it is missing from the build.
QPixmap picture(Picture picture);
// Frame `index` (modulo the frame count) of the busy animation.
QPixmap busyFrame(int index);

// A window colour is light when its red, green and blue add up to at least
// 200; the light track is drawn for it, the dark track otherwise.
bool isLight(const QColor &colour);
Picture trackFor(const QColor &windowColour);

// The geometry the pictures were drawn for, in client coordinates.
inline constexpr QSize ClientSize{512, 188};
inline constexpr QRect LeftPanelRect{8, 8, 246, 78};
inline constexpr QRect RightPanelRect{260, 8, 244, 78};
// The title area inside the right panel.
inline constexpr QRect TitleRect{264, 10, 236, 24};
inline constexpr QPoint SliderPos{264, 89};
inline constexpr QSize TrackSize{236, 14};
inline constexpr QSize ThumbSize{12, 14};
inline constexpr QSize GlyphSize{16, 16};
inline constexpr QSize BusyFrameSize{48, 24};
inline constexpr int BusyFrameCount = 8;

} // namespace Skin
