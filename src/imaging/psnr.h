#pragma once

#include "imaging/bitmap.h"

namespace quillon {

// Peak signal-to-noise ratio of b against a in dB over all channels; 99 for identical
// pictures. Both must have the same size.
double Psnr(const TBitmap& a, const TBitmap& b);

} // namespace quillon
