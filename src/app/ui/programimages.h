#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QPoint>
#include <QSize>
#include <QString>

namespace quillon {

// The program's icon NAME (":/icons/NAME.png"), sharp at any screen scale: the small
// hand-tuned picture where it is shown at its own size, the scalable drawing (or the
// double-size picture NAME@2x.png) where the screen scales it up.
QIcon ProgramIcon(const QString& name);

// A picture of the program's resources at the screen's scale: its double-size version
// where the screen scales, carrying its device pixel ratio, so that it covers
// logicalSize and every device pixel is drawn, not stretched.
QPixmap ProgramPixmap(const QString& resource, QSize logicalSize);

// A cursor drawn at 16 x 16 (resource and resource@2x), at the screen's scale, with its
// hot spot given in the drawing's 16-pixel units.
QCursor ProgramCursor(const QString& resource, QPoint hotSpot);

} // namespace quillon
