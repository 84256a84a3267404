#include "imaging/picturewriters.h"

#include "common/error.h"
#include "imaging/picturefiles.h"
#include "logodir/nodepaths.h"

#include <filesystem>

namespace quillon {

namespace {

// The transforms always write at the best JPEG quality and with the GIF defaults.
std::string WritePictureFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                             const TBitmap& picture)
{
    TEncodeSettings settings;
    settings.jpegQuality = 100;
    std::string path = folderPath + baseName + PictureExtension(formatIndex);
    SavePicture(path, picture, PictureFormatFromIndex(formatIndex), settings);
    return path;
}

} // namespace

std::string WriteConvertedFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                               const TBitmap& picture)
{
    return WritePictureFile(folderPath, baseName, formatIndex, picture);
}

std::string WriteMirroredFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                              const TBitmap& picture, TMirrorDirection direction)
{
    return WritePictureFile(folderPath, baseName, formatIndex, MirrorBitmap(picture, direction));
}

std::string WriteRotatedFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                             const TBitmap& picture, int angle)
{
    return WritePictureFile(folderPath, baseName, formatIndex, RotateBitmap(picture, angle));
}

bool WriteLogoFile(const std::string& target, const std::string& nodeName, const TBitmap& logo,
                   const TLogoFileSettings& settings)
{
    if (!HasKnownPictureExtension(nodeName))
        return false;
    TEncodeSettings encode;
    encode.jpegQuality = settings.jpegQuality;
    encode.gif.bitsPerPixel = settings.gifBitDepth;
    SavePicture(target, logo, PictureFormatOfName(nodeName), encode);
    return true;
}

std::string MakeTempLogoFile(const std::string& appDir, const std::string& nodeName, const TBitmap& logo,
                             const TLogoFileSettings& settings)
{
    if (!IsSafeNodeName(nodeName))
        return {};
    std::string folder = appDir + "Temp";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return {};
    std::string target = folder + kPathSeparator + nodeName;
    try {
        return WriteLogoFile(target, nodeName, logo, settings) ? target : std::string();
    } catch (const QuillonError&) {
        return {};
    }
}

} // namespace quillon
