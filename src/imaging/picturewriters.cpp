#include "imaging/picturewriters.h"

#include "common/atomicfile.h"
#include "common/error.h"
#include "common/readfile.h"
#include "common/workpool.h"
#include "imaging/codecs.h"
#include "imaging/losslessjpeg.h"
#include "imaging/picturefiles.h"
#include "imaging/transforms.h"
#include "logodir/nodepaths.h"

#include <algorithm>
#include <filesystem>
#include <optional>

namespace quillon {

namespace {

// The transforms always write at the best JPEG quality and with the GIF defaults. The
// file is the user's own picture, turned or converted perhaps many times over: every
// colour sample is kept, so repeated turns that cannot be lossless lose nothing visible.
constexpr int kTransformJPEGQuality = 100;
constexpr TJPEGChroma kTransformJPEGChroma = TJPEGChroma::Full;

std::string WritePictureFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                             const TBitmap& picture, const TEncodeProgress& progress)
{
    TEncodeSettings settings;
    settings.jpegQuality = kTransformJPEGQuality;
    settings.jpegChroma = kTransformJPEGChroma;
    settings.pngProgress = progress;
    std::string path = folderPath + baseName + PictureExtension(formatIndex);
    SavePicture(path, picture, PictureFormatFromIndex(formatIndex), settings);
    return path;
}

// False when the picture has to be encoded instead. The turn on the DCT blocks needs the
// file; one deleted behind the program's back (or no longer readable) leaves the picture
// decoded from it, which is what the user sees and turns, as for any other format.
bool WriteTurnedJPEG(const std::string& path, int formatIndex, const std::string& sourceFile, TJPEGTurn turn)
{
    if (sourceFile.empty() || formatIndex != pfJPEG || PictureFormatOfName(sourceFile) != pfJPEG)
        return false;
    std::string file;
    try {
        file = ReadWholeFile(sourceFile);
    } catch (const QuillonError&) {
        return false;
    }
    const std::optional<std::string> turned = TurnJPEGLosslessly(file, turn);
    if (!turned)
        return false;
    WriteFileAtomically(path, *turned);
    return true;
}

// The turned picture is never held whole: a band of its rows is turned on another core
// while the encoder compresses the band before it. The bytes are those of encoding
// RotateBitmap's result; the turning costs no time beside the encoder, and no memory the
// size of the picture.
std::string EncodeRotatedJPEG(const TBitmap& picture, int angle)
{
    constexpr int kBandRows = 64;
    const int width = angle == 180 ? picture.Width() : picture.Height();
    const int height = angle == 180 ? picture.Height() : picture.Width();
    TBitmap bands[2];
    int bandTop = 0;
    RotatedRows(picture, angle, 0, std::min(kBandRows, height), bands[0]);
    TWorkPool::TTask next; // after the bands: it is waited for before they go
    auto startNext = [&] {
        const int top = bandTop + kBandRows;
        if (top < height)
            next = TWorkPool::Shared().Start(
                [&, top] { RotatedRows(picture, angle, top, std::min(kBandRows, height - top), bands[1]); });
    };
    startNext();
    return EncodeJPEGRows(
        width, height, kTransformJPEGQuality,
        [&](int y) {
            if (y >= bandTop + kBandRows) {
                next.Wait();
                std::swap(bands[0], bands[1]);
                bandTop += kBandRows;
                startNext();
            }
            return bands[0].Row(y - bandTop);
        },
        kTransformJPEGChroma);
}

} // namespace

std::string WriteConvertedFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                               const TBitmap& picture, const TEncodeProgress& progress)
{
    return WritePictureFile(folderPath, baseName, formatIndex, picture, progress);
}

std::string WriteMirroredFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                              const TBitmap& picture, TMirrorDirection direction, const std::string& sourceFile,
                              const TEncodeProgress& progress)
{
    const TJPEGTurn turn =
        direction == TMirrorDirection::Horizontal ? TJPEGTurn::MirrorHorizontal : TJPEGTurn::MirrorVertical;
    std::string path = folderPath + baseName + PictureExtension(formatIndex);
    if (WriteTurnedJPEG(path, formatIndex, sourceFile, turn))
        return path;
    return WritePictureFile(folderPath, baseName, formatIndex, MirrorBitmap(picture, direction), progress);
}

std::string WriteRotatedFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                             const TBitmap& picture, int angle, const std::string& sourceFile,
                             const TEncodeProgress& progress)
{
    std::string path = folderPath + baseName + PictureExtension(formatIndex);
    // Other angles go on to RotateBitmap, which refuses them.
    if ((angle == 90 || angle == 180 || angle == 270) &&
        WriteTurnedJPEG(path, formatIndex, sourceFile,
                        angle == 90 ? TJPEGTurn::Rotate90 : angle == 180 ? TJPEGTurn::Rotate180 : TJPEGTurn::Rotate270))
        return path;
    if (PictureFormatFromIndex(formatIndex) == pfJPEG && (angle == 90 || angle == 180 || angle == 270) &&
        !picture.Empty()) {
        WriteFileAtomically(path, EncodeRotatedJPEG(picture, angle));
        return path;
    }
    return WritePictureFile(folderPath, baseName, formatIndex, RotateBitmap(picture, angle), progress);
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
