#include "TransparentPicture.h"

#include <QBitmap>
#include <QImage>

QPixmap transparentCopy(const QPixmap &picture) {
    if (picture.isNull() || picture.hasAlphaChannel())
        return picture.copy();
    const QImage image = picture.toImage();
    const QColor key = image.pixelColor(0, image.height() - 1);
    QPixmap copy = picture.copy();
    copy.setMask(picture.createMaskFromColor(key, Qt::MaskInColor));
    return copy;
}
