#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The turns of the mirror and rotate commands, in the terms of transforms.h.
enum class TJPEGTurn { MirrorHorizontal, MirrorVertical, Rotate90, Rotate180, Rotate270 };

// The file turned on its DCT blocks, without decoding and encoding again, so nothing is
// lost and four quarter turns give back the same coefficients. The turn applies to the
// picture as shown, upright by its EXIF orientation (LoadPicture); the stored picture is
// made upright and turned in one step, and the result is stored upright. Returns nothing
// when that cannot be exact for this file, and the caller turns the decoded picture
// instead: the step would move a partial MCU at the right or bottom edge (it would have
// to be cut off or left in place), the colours are not YCbCr or grey (an Adobe marker
// the library adds could invert CMYK), or the header is one the library cannot
// classify. No markers are copied: like a file written from pixels, the result has no
// EXIF block or comments, so no stale orientation turns it again. Throws QuillonError
// with the library's text when the transform itself fails.
std::optional<std::string> TurnJPEGLosslessly(std::string_view file, TJPEGTurn turn);

} // namespace quillon
