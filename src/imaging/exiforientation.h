#pragma once

#include "imaging/bitmap.h"

#include <string_view>

namespace quillon {

// The EXIF orientation (1..8) a JPEG file asks its viewer to apply: tag 0x0112 of IFD0 in
// the first APP1 "Exif" segment before the image data. Anything else (no such segment, a
// damaged or hostile one, a value out of range) is 1, the picture as stored. Reads nothing
// outside the file.
int ExifOrientationOfJPEG(std::string_view file);

// The picture as a photo viewer shows it when the file says orientation: 2 mirrored
// left-right, 3 turned half way, 4 mirrored top-bottom, 5 transposed (the top row becomes
// the left column), 6 turned clockwise, 7 transversed, 8 turned counter-clockwise; 1 and
// anything else unchanged.
TBitmap ApplyExifOrientation(TBitmap picture, int orientation);

} // namespace quillon
