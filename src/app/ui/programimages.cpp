#include "app/ui/programimages.h"

#include <QFile>
#include <QGuiApplication>

namespace quillon {

QIcon ProgramIcon(const QString& name)
{
    const QString base = QStringLiteral(":/icons/") + name;
    // With the scalable drawing the small picture still wins at its exact size; without
    // the drawing (or Qt's SVG plug-in) QIcon finds NAME@2x.png by itself.
    QIcon icon;
    if (QFile::exists(base + ".svg"))
        icon.addFile(base + ".svg");
    icon.addFile(base + ".png");
    return icon;
}

QPixmap ProgramPixmap(const QString& resource, QSize logicalSize)
{
    // Chosen here rather than by QIcon, which between two equally near sizes takes the
    // smaller and never enlarges it: at a scale of 1.5 that is the small picture, small.
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap pixmap(resource);
    if (ratio > 1.0) {
        QString twice = resource;
        twice.insert(resource.endsWith(".png") ? resource.size() - 4 : resource.size(), "@2x");
        if (QPixmap big(twice); !big.isNull())
            pixmap = big;
    }
    const QSize device = (QSizeF(logicalSize) * ratio).toSize();
    if (!pixmap.isNull() && pixmap.size() != device)
        pixmap = pixmap.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QCursor ProgramCursor(const QString& resource, QPoint hotSpot)
{
    const QPixmap pixmap = ProgramPixmap(resource, QSize(16, 16));
    // The X11 platform places the hot spot in the cursor picture's own pixels.
    const qreal ratio = pixmap.devicePixelRatio();
    return QCursor(pixmap, qRound(hotSpot.x() * ratio), qRound(hotSpot.y() * ratio));
}

} // namespace quillon
