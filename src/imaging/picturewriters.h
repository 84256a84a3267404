#pragma once

#include "imaging/bitmap.h"
#include "imaging/pictureformat.h"
#include "imaging/transforms.h"

#include <string>

namespace quillon {

// The writers of the convert, mirror and rotate commands. folderPath is the logo's folder
// with its trailing separator (GetFolderPath); the file written is folderPath + baseName +
// the lower-case extension of formatIndex (0 ".bmp", 1 ".jpg" at quality 100 with every
// colour sample kept (4:4:4), 2 ".gif" with the GIF defaults, 3 ".png"), replacing a file of
// that name. Each returns the full path.
// Throws QuillonError with the codec's or system's text; an old file then stays as it was.
// progress, when given, is told how far a PNG file has come (the format that takes seconds
// for a large picture).
std::string WriteConvertedFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                               const TBitmap& picture, const TEncodeProgress& progress = {});
// sourceFile is the file picture was decoded from (may be empty, or gone by now). When it
// and the target are JPEG files, its DCT blocks are mirrored or rotated without encoding
// again where that is exact (TurnJPEGLosslessly); otherwise picture is transformed and
// encoded.
std::string WriteMirroredFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                              const TBitmap& picture, TMirrorDirection direction, const std::string& sourceFile = {},
                              const TEncodeProgress& progress = {});
std::string WriteRotatedFile(const std::string& folderPath, const std::string& baseName, int formatIndex,
                             const TBitmap& picture, int angle, const std::string& sourceFile = {},
                             const TEncodeProgress& progress = {});

// What the logo is written with, from the options.
struct TLogoFileSettings {
    int jpegQuality = 90;
    int gifBitDepth = 8;
};

// Writes the logo to target in the format of the node name's extension (".BMP", ".JPG",
// ".JPEG", ".GIF", ".PNG", any case), whatever target's own extension. Returns false and
// writes nothing for another extension; throws QuillonError when writing fails.
bool WriteLogoFile(const std::string& target, const std::string& nodeName, const TBitmap& logo,
                   const TLogoFileSettings& settings);

// Writes the logo to "Temp/" + nodeName in the application directory (appDir ends with a
// separator), creating the folder when missing. Returns the file's full name, or an empty
// text when nothing could be written; the caller reports that.
std::string MakeTempLogoFile(const std::string& appDir, const std::string& nodeName, const TBitmap& logo,
                             const TLogoFileSettings& settings);

} // namespace quillon
