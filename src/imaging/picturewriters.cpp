#include "imaging/picturewriters.h"

#include "common/atomicfile.h"
#include "common/error.h"
#include "common/readfile.h"
#include "imaging/losslessjpeg.h"
#include "imaging/picturefiles.h"
#include "logodir/nodepaths.h"

#include <filesystem>
#include <optional>

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

// False when the picture has to be encoded instead.
bool WriteTurnedJPEG(const std::string& path, int formatIndex, const std::string& sourceFile, TJPEGTurn turn)
{
    if (sourceFile.empty() || formatIndex != pfJPEG || PictureFormatOfName(sourceFile) != pfJPEG)
        return false;
    const std::optional<std::string> turned = TurnJPEGLosslessly(ReadWholeFile(sourceFile), turn);
    if (!turned)
        return false;
    WriteFileAtomically(path, *turned);
    return true;
}

} // namespace

std::string WriteConvertedFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                               const TBitmap& picture)
{
    return WritePictureFile(folderPath, baseName, formatIndex, picture);
}

std::string WriteMirroredFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                              const TBitmap& picture, TMirrorDirection direction, const std::string& sourceFile)
{
    const TJPEGTurn turn =
        direction == TMirrorDirection::Horizontal ? TJPEGTurn::MirrorHorizontal : TJPEGTurn::MirrorVertical;
    std::string path = folderPath + baseName + PictureExtension(formatIndex);
    if (WriteTurnedJPEG(path, formatIndex, sourceFile, turn))
        return path;
    return WritePictureFile(folderPath, baseName, formatIndex, MirrorBitmap(picture, direction));
}

std::string WriteRotatedFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                             const TBitmap& picture, int angle, const std::string& sourceFile)
{
    std::string path = folderPath + baseName + PictureExtension(formatIndex);
    // Other angles go on to RotateBitmap, which refuses them.
    if ((angle == 90 || angle == 180 || angle == 270) &&
        WriteTurnedJPEG(path, formatIndex, sourceFile,
                        angle == 90 ? TJPEGTurn::Rotate90 : angle == 180 ? TJPEGTurn::Rotate180 : TJPEGTurn::Rotate270))
        return path;
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
