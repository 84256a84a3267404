#pragma once

#include "imaging/bitmap.h"

namespace quillon {

enum class TMirrorDirection { Horizontal, Vertical };

// Horizontally (x, y) goes to (width - 1 - x, y); vertically to (x, height - 1 - y).
TBitmap MirrorBitmap(const TBitmap& picture, TMirrorDirection direction);

// Clockwise on the screen (y grows downward). 90: the result is height x width and (x, y)
// goes to (height - 1 - y, x); 180: (width - 1 - x, height - 1 - y); 270: height x width
// and (x, y) goes to (y, width - 1 - x). Other angles throw QuillonError.
TBitmap RotateBitmap(const TBitmap& picture, int angle);

// Rows [top, top + count) of RotateBitmap(picture, angle), into band (made count rows high),
// without turning the rest: a writer can encode the turned picture a band at a time.
void RotatedRows(const TBitmap& picture, int angle, int top, int count, TBitmap& band);

} // namespace quillon
