#include "imaging/preview.h"

#include "common/atomicfile.h"
#include "common/error.h"
#include "imaging/picturefiles.h"

namespace quillon {

TEncodedPreview EncodePreview(const TBitmap& logo, TPictureFormat format, const TEncodeSettings& settings,
                              const std::string& path)
{
    const std::string bytes = EncodePicture(logo, format, settings);
    if (!path.empty())
        WriteFileAtomically(path, bytes);
    TEncodedPreview preview;
    preview.fileSize = bytes.size();
    preview.picture = DecodePicture(bytes, format);
    return preview;
}

} // namespace quillon
