#include "imaging/preview.h"

#include "common/atomicfile.h"
#include "common/error.h"
#include "common/readfile.h"
#include "imaging/picturefiles.h"
#include "imaging/picturewriters.h"

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

TEncodedPreview PreviewThroughTempFile(const std::string& appDir, const std::string& nodeName, const TBitmap& logo,
                                       const TEncodeSettings& settings)
{
    const TPictureFormat format = PictureFormatOfName(nodeName);
    const std::string file =
        MakeTempLogoFile(appDir, nodeName, logo, {settings.jpegQuality, settings.gif.bitsPerPixel});
    if (file.empty())
        return EncodePreview(logo, format, settings, {});
    const std::string bytes = ReadWholeFile(file);
    TEncodedPreview preview;
    preview.fileSize = bytes.size();
    preview.picture = DecodePicture(bytes, format);
    return preview;
}

} // namespace quillon
