#pragma once

#include "imaging/bitmap.h"

#include <cstddef>
#include <cstdint>

namespace quillon {

// A scanner's native transfer: one packed device-independent bitmap (an information
// header of 40 bytes or more, the colour table, the rows). The colour table has the
// number of entries the header's colours-used field gives, or 2 to the power of the bits
// per pixel when that is 0, and none at all when that count exceeds 256.

// The bytes the whole block occupies by its header, for a block whose size nobody told
// us (a manager's memory handle). Throws QuillonError for a header that is not a packed
// bitmap this program reads, or that describes an absurd picture.
size_t PackedDIBSize(const uint8_t* dib);

// The picture in a block of size bytes: 1, 4, 8, 16, 24 or 32 bits, bottom-up rows or
// top-down ones (negative height). Throws QuillonError when the block is cut short or
// the header is not one this program reads; nothing past size is ever read.
TBitmap DecodePackedDIB(const uint8_t* dib, size_t size);

} // namespace quillon
