#include "imaging/losslessjpeg.h"

#include "common/error.h"
#include "imaging/pictureformat.h"

#include <cstdint>
#include <memory>

#include <turbojpeg.h>

namespace quillon {

namespace {

uint32_t ReadUnsigned(std::string_view s, size_t at, size_t bytes, bool littleEndian)
{
    uint32_t v = 0;
    for (size_t i = 0; i < bytes; ++i) {
        const uint32_t byte = static_cast<uint8_t>(s[at + (littleEndian ? bytes - 1 - i : i)]);
        v = v << 8 | byte;
    }
    return v;
}

// The orientation tag (0x0112) of IFD0 in a TIFF block, or 1.
int TiffOrientation(std::string_view tiff)
{
    if (tiff.size() < 8 || (tiff.substr(0, 2) != "II" && tiff.substr(0, 2) != "MM"))
        return 1;
    const bool little = tiff[0] == 'I';
    const size_t ifd = ReadUnsigned(tiff, 4, 4, little);
    if (ifd > tiff.size() || tiff.size() - ifd < 2)
        return 1;
    const size_t count = ReadUnsigned(tiff, ifd, 2, little);
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = ifd + 2 + 12 * i;
        if (entry + 12 > tiff.size())
            break;
        // A SHORT value sits in the first two bytes of the entry's value field.
        if (ReadUnsigned(tiff, entry, 2, little) == 0x0112 && ReadUnsigned(tiff, entry + 2, 2, little) == 3) {
            const uint32_t value = ReadUnsigned(tiff, entry + 8, 2, little);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
    }
    return 1;
}

struct TTjFree {
    void operator()(unsigned char* p) const { tjFree(p); }
};
struct TTjDestroy {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TTjHandle = std::unique_ptr<void, TTjDestroy>;

bool IsPerfect(TJPEGTurn turn, int width, int height, int subsamp)
{
    const bool wholeWidth = width % tjMCUWidth[subsamp] == 0;
    const bool wholeHeight = height % tjMCUHeight[subsamp] == 0;
    switch (turn) {
    case TJPEGTurn::MirrorHorizontal:
    case TJPEGTurn::Rotate270:
        return wholeWidth;
    case TJPEGTurn::MirrorVertical:
    case TJPEGTurn::Rotate90:
        return wholeHeight;
    case TJPEGTurn::Rotate180:
        break;
    }
    return wholeWidth && wholeHeight;
}

int TjOperation(TJPEGTurn turn)
{
    switch (turn) {
    case TJPEGTurn::MirrorHorizontal: return TJXOP_HFLIP;
    case TJPEGTurn::MirrorVertical: return TJXOP_VFLIP;
    case TJPEGTurn::Rotate90: return TJXOP_ROT90;
    case TJPEGTurn::Rotate180: return TJXOP_ROT180;
    case TJPEGTurn::Rotate270: break;
    }
    return TJXOP_ROT270;
}

[[noreturn]] void Fail(void* handle)
{
    throw QuillonError(std::string("JPEG: ") + tjGetErrorStr2(handle));
}

} // namespace

int JPEGExifOrientation(std::string_view file)
{
    if (file.size() < 4 || static_cast<uint8_t>(file[0]) != 0xFF || static_cast<uint8_t>(file[1]) != 0xD8)
        return 1;
    size_t at = 2;
    // The headers up to the first scan, one marker segment after another.
    while (at + 4 <= file.size()) {
        if (static_cast<uint8_t>(file[at]) != 0xFF)
            return 1;
        const uint8_t marker = static_cast<uint8_t>(file[at + 1]);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            return 1;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // no length follows
            at += 2;
            continue;
        }
        const size_t length = ReadUnsigned(file, at + 2, 2, false);
        if (length < 2 || at + 2 + length > file.size())
            return 1;
        const std::string_view body = file.substr(at + 4, length - 2);
        if (marker == 0xE1 && body.substr(0, 6) == std::string_view("Exif\0\0", 6))
            return TiffOrientation(body.substr(6));
        at += 2 + length;
    }
    return 1;
}

std::optional<std::string> TurnJPEGLosslessly(std::string_view file, TJPEGTurn turn)
{
    const TTjHandle handle(tjInitTransform());
    if (!handle)
        Fail(nullptr);
    auto* data = reinterpret_cast<const unsigned char*>(file.data());
    const auto size = static_cast<unsigned long>(file.size());
    int width = 0, height = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsamp, &colorspace) != 0)
        return std::nullopt;
    if ((colorspace != TJCS_YCbCr && colorspace != TJCS_GRAY) || subsamp < 0 || subsamp >= TJ_NUMSAMP)
        return std::nullopt;
    if (!IsPerfect(turn, width, height, subsamp) || JPEGExifOrientation(file) != 1)
        return std::nullopt;
    // The file may have changed since the picture was decoded from it.
    CheckPictureDimensions(width, height);

    tjtransform transform{};
    transform.op = TjOperation(turn);
    transform.options = TJXOPT_PERFECT | TJXOPT_COPYNONE;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    // A progressive file with thousands of tiny scans would otherwise cost minutes.
    const int result = tjTransform(handle.get(), data, size, 1, &out, &outSize, &transform, TJFLAG_LIMITSCANS);
    const std::unique_ptr<unsigned char, TTjFree> owned(out);
    // A warning (damaged entropy data padded with zeros, stray bytes) still comes with a
    // file; the decoder judged what the picture shows, so that picture is turned instead.
    if (result != 0 && tjGetErrorCode(handle.get()) == TJERR_WARNING)
        return std::nullopt;
    if (result != 0)
        Fail(handle.get());
    return std::string(reinterpret_cast<const char*>(out), outSize);
}

} // namespace quillon
