#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The turns of the mirror and rotate commands, in the terms of transforms.h.
enum class TJPEGTurn { MirrorHorizontal, MirrorVertical, Rotate90, Rotate180, Rotate270 };

// The file turned on its DCT blocks, without decoding and encoding again, so nothing is
// lost and four quarter turns give back the same coefficients. Returns nothing when that
// cannot be exact for this file, and the caller turns the decoded picture instead: the
// edge that moves is not a whole number of MCUs (the partial blocks would have to be cut
// off or left in place), the colours are not YCbCr or grey (an Adobe marker the library
// would add could invert CMYK), the header is one the library cannot classify, or an
// EXIF orientation other than upright (the picture shown would not be the stored one).
// No markers are copied: like a file written from pixels, the result has no EXIF or
// comments, so no stale orientation can turn it again in other viewers. Throws
// QuillonError with the library's text when the transform itself fails.
std::optional<std::string> TurnJPEGLosslessly(std::string_view file, TJPEGTurn turn);

// The orientation (1..8) that an EXIF block in the file's headers asks for; 1 when there
// is none or it cannot be read.
int JPEGExifOrientation(std::string_view file);

} // namespace quillon
