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

// Writes the logo's temporary file in the application directory ("Temp/" + nodeName, the
// folder made when missing) as the upload will, then decodes that file. Without a file
// (it could not be written) the preview is made in memory: the upload reports the file.
TEncodedPreview PreviewThroughTempFile(const std::string& appDir, const std::string& nodeName, const TBitmap& logo,
                                       const TEncodeSettings& settings);

} // namespace quillon
