#pragma once

#include "imaging/bitmap.h"
#include "imaging/pictureformat.h"

#include <cstdint>
#include <string>

namespace quillon {

// The logo as the service will receive it: the encoded file's size and its pixels
// decoded back, so the preview shows what the encoder lost.
struct TEncodedPreview {
    TBitmap picture;
    uint64_t fileSize = 0;
};

// Encodes the logo, writes the file to path (replacing the logo's temporary file; an
// empty path keeps it in memory) and decodes it again. Throws QuillonError.
TEncodedPreview EncodePreview(const TBitmap& logo, TPictureFormat format, const TEncodeSettings& settings,
                              const std::string& path);

} // namespace quillon
