#pragma once

#include <QPixmap>

// A copy of a picture to be drawn transparently. A picture with an alpha
// channel keeps it; one without treats its bottom-left pixel's colour as
// transparent, the usual convention for opaque sprite bitmaps.
QPixmap transparentCopy(const QPixmap &picture);
