#pragma once

#include "imaging/bitmap.h"

#include <QImage>

namespace quillon {

// Pictures crossing between Qt (screen, clipboard, painting) and the imaging code.

// Any QImage as the program's RGB picture; transparency shows on white, as it does in
// pictures read from files.
TBitmap BitmapFromImage(const QImage& image);

// A deep copy, so the image outlives the bitmap.
QImage ImageFromBitmap(const TBitmap& bitmap);

} // namespace quillon
