#include "imaging/ui/qtbitmap.h"

#include <QPainter>

#include <algorithm>

namespace quillon {

TBitmap BitmapFromImage(const QImage& image)
{
    QImage rgb;
    if (image.hasAlphaChannel()) {
        rgb = QImage(image.size(), QImage::Format_RGB888);
        rgb.fill(Qt::white);
        QPainter painter(&rgb);
        painter.drawImage(0, 0, image);
    } else {
        rgb = image.convertToFormat(QImage::Format_RGB888);
    }
    TBitmap picture;
    picture.ResizeForOverwrite(rgb.width(), rgb.height());
    for (int y = 0; y < picture.Height(); ++y)
        std::copy_n(rgb.constScanLine(y), picture.Stride(), picture.Row(y));
    return picture;
}

QImage ImageFromBitmap(const TBitmap& bitmap)
{
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB888);
    for (int y = 0; y < bitmap.Height(); ++y)
        std::copy_n(bitmap.Row(y), bitmap.Stride(), image.scanLine(y));
    return image;
}

} // namespace quillon
