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
    return QIcon(resource).pixmap(logicalSize, qApp->devicePixelRatio());
}

} // namespace quillon
