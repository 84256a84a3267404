#include "imaging/picturefiles.h"

#include "common/atomicfile.h"
#include "common/error.h"
#include "imaging/codecs.h"
#include "imaging/exiforientation.h"
#include "imaging/picturemessages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace quillon {

namespace {

std::string ReadWholeFile(const std::string& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file)
        throw QuillonError(path + ": " + std::strerror(errno));
    std::string data;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
        long size = std::ftell(file.get());
        if (size > 0)
            data.reserve(static_cast<size_t>(size));
        std::rewind(file.get());
    }
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        data.append(buffer, n);
    if (std::ferror(file.get()))
        throw QuillonError(path + ": " + std::strerror(errno));
    return data;
}

} // namespace

TBitmap DecodePicture(std::string_view data, TPictureFormat format)
{
    switch (format) {
    case pfJPEG: return ApplyExifOrientation(DecodeJPEG(data), ExifOrientationOfJPEG(data));
    case pfGIF: return DecodeGIF(data);
    case pfPNG: return DecodePNG(data);
    case pfBMP: break;
    }
    return DecodeBMP(data);
}

namespace {

void Decode(const std::string& path, TBitmap& out, TDecodeListener* listener)
{
    std::string data = ReadWholeFile(path);
    const TPictureFormat format = PictureFormatOfName(path);
    // A turned photo cannot be told row by row: its first upright row is a column of the
    // file. It is decoded whole and turned; a photo as stored keeps the band-by-band path.
    if (format == pfJPEG && ExifOrientationOfJPEG(data) == 1)
        return DecodeJPEGInto(data, out, listener);
    out = DecodePicture(data, format);
    if (listener) {
        listener->Started(out);
        listener->RowsDone(out.Height());
    }
}

void DecodeTelling(const std::string& path, TBitmap& out, TDecodeListener* listener)
{
    try {
        Decode(path, out, listener);
    } catch (const std::bad_alloc&) {
        // Within the pixel limit but more than this machine can hold.
        throw QuillonError(kMsgImageTooLarge);
    }
}

} // namespace

TBitmap LoadPicture(const std::string& path)
{
    TBitmap out;
    DecodeTelling(path, out, nullptr);
    return out;
}

void LoadPictureInto(const std::string& path, TBitmap& out, TDecodeListener& listener)
{
    DecodeTelling(path, out, &listener);
}

std::string EncodePicture(const TBitmap& picture, TPictureFormat format, const TEncodeSettings& settings)
{
    switch (format) {
    case pfJPEG: return EncodeJPEG(picture, settings.jpegQuality);
    case pfGIF: return EncodeGIF(picture, settings.gif);
    case pfPNG: return EncodePNG(picture);
    case pfBMP: break;
    }
    return EncodeBMP(picture);
}

void SavePicture(const std::string& path, const TBitmap& picture, TPictureFormat format,
                 const TEncodeSettings& settings)
{
    WriteFileAtomically(path, EncodePicture(picture, format, settings));
}

std::string CheckPictureFile(const std::string& path)
{
    TBitmap picture;
    try {
        picture = LoadPicture(path);
    } catch (const QuillonError& e) {
        return e.what() == std::string(kMsgImageTooLarge) ? kMsgImageTooLarge : kMsgErrorLoadingImage;
    }
    if (picture.Width() < 16 || picture.Height() < 16)
        return kMsgImageTooSmall;
    return {};
}

} // namespace quillon
