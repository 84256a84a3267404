#include "imaging/picturefiles.h"

#include "common/atomicfile.h"
#include "common/error.h"
#include "common/readfile.h"
#include "imaging/codecs.h"
#include "imaging/exiforientation.h"
#include "imaging/picturemessages.h"

#include <new>

namespace quillon {

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

// Hears only whether the decode is still wanted.
class TCancelOnly final : public TDecodeListener {
public:
    explicit TCancelOnly(const TDecodeListener& listener) : listener_(listener) {}
    void Started(const TBitmap&) override {}
    void RowsDone(int) override {}
    bool Cancelled() const override { return listener_.Cancelled(); }

private:
    const TDecodeListener& listener_;
};

void Decode(const std::string& path, TBitmap& out, TDecodeListener* listener)
{
    std::string data = ReadWholeFile(path);
    const TPictureFormat format = PictureFormatOfName(path);
    const int orientation = format == pfJPEG ? ExifOrientationOfJPEG(data) : 1;
    // A turned photo cannot be told row by row: its first upright row is a column of the
    // file. It is decoded whole and turned; a photo as stored keeps the band-by-band path.
    if (format == pfJPEG && orientation == 1)
        return DecodeJPEGInto(data, out, listener);
    if (format == pfJPEG && listener) {
        TCancelOnly cancel(*listener);
        DecodeJPEGInto(data, out, &cancel);
        out = ApplyExifOrientation(std::move(out), orientation);
    } else {
        out = DecodePicture(data, format);
    }
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
    case pfJPEG: return EncodeJPEG(picture, settings.jpegQuality, settings.jpegChroma);
    case pfGIF: return EncodeGIF(picture, settings.gif);
    case pfPNG: return EncodePNG(picture, settings.pngProgress);
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
    return CheckPictureSize(picture.Width(), picture.Height());
}

std::string CheckPictureSize(int width, int height)
{
    if (width < 16 || height < 16)
        return kMsgImageTooSmall;
    if (static_cast<int64_t>(width) * height > kMaxPicturePixels)
        return kMsgImageTooLarge;
    return {};
}

} // namespace quillon
