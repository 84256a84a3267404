#pragma once

#include "imaging/bitmap.h"
#include "imaging/pictureformat.h"

#include <string>
#include <string_view>

namespace quillon {

// Decodes a picture file, the decoder chosen by the extension (PictureFormatOfName). A
// JPEG comes out upright as its EXIF orientation asks, so every user of the picture (its
// size checks, frame, logo, transforms) sees what a photo viewer shows.
// Throws QuillonError with the system's or decoder's text; a picture over kMaxPicturePixels
// throws kMsgImageTooLarge before its pixels are allocated, and so does one this machine
// has no memory for.
TBitmap LoadPicture(const std::string& path);

class TDecodeListener;
// LoadPicture into a picture that stays where it is, telling the listener as rows become
// final (band by band for JPEG files stored upright, all at once for the others).
void LoadPictureInto(const std::string& path, TBitmap& out, TDecodeListener& listener);

// Decodes a whole file held in memory with the decoder of the format, a JPEG upright;
// throws QuillonError.
TBitmap DecodePicture(std::string_view data, TPictureFormat format);

// The whole file of the picture in the format; throws QuillonError.
std::string EncodePicture(const TBitmap& picture, TPictureFormat format, const TEncodeSettings& settings = {});

// Encodes first, then replaces the file through a temporary file and a rename, so a
// failure leaves any old file untouched. Throws QuillonError.
void SavePicture(const std::string& path, const TBitmap& picture, TPictureFormat format,
                 const TEncodeSettings& settings = {});

// Screens a picture file before it joins the logo directory. Returns the message to show
// (kMsgImageTooSmall, kMsgImageTooLarge or kMsgErrorLoadingImage), or an empty text when
// the picture is accepted.
std::string CheckPictureFile(const std::string& path);

} // namespace quillon
