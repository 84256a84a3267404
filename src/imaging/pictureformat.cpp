#include "imaging/pictureformat.h"

#include "common/error.h"
#include "common/text.h"
#include "imaging/picturemessages.h"

#include <array>

namespace quillon {

TPictureFormat PictureFormatOfName(std::string_view fileName)
{
    std::string ext = AsciiUpper(FileExtension(fileName));
    if (ext == ".JPG" || ext == ".JPEG")
        return pfJPEG;
    if (ext == ".GIF")
        return pfGIF;
    if (ext == ".PNG")
        return pfPNG;
    return pfBMP;
}

bool HasKnownPictureExtension(std::string_view fileName)
{
    return PictureFormatOfName(fileName) != pfBMP || SameTextAscii(FileExtension(fileName), ".BMP");
}

TPictureFormat PictureFormatFromIndex(int formatIndex)
{
    if (formatIndex < pfBMP || formatIndex > pfPNG)
        throw QuillonError("Unknown picture format index " + std::to_string(formatIndex));
    return static_cast<TPictureFormat>(formatIndex);
}

std::string PictureExtension(int formatIndex)
{
    static const std::array<const char*, 4> extensions = {".bmp", ".jpg", ".gif", ".png"};
    return extensions[PictureFormatFromIndex(formatIndex)];
}

TGIFSettings DefaultGIFSettings()
{
    return TGIFSettings{8, TDither::FloydSteinberg};
}

void CheckPictureDimensions(int64_t width, int64_t height)
{
    if (width <= 0 || height <= 0)
        throw QuillonError("The picture has no pixels");
    if (width > kMaxPicturePixels || height > kMaxPicturePixels || width * height > kMaxPicturePixels)
        throw QuillonError(kMsgImageTooLarge);
}

} // namespace quillon
