#include "imaging/losslessjpeg.h"

#include "common/error.h"
#include "imaging/exiforientation.h"
#include "imaging/pictureformat.h"

#include <cstdint>
#include <memory>

#include <turbojpeg.h>

namespace quillon {

namespace {

struct TTjFree {
    void operator()(unsigned char* p) const { tjFree(p); }
};
struct TTjDestroy {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TTjHandle = std::unique_ptr<void, TTjDestroy>;

// The eight ways to lay a picture onto its own rectangle (or its transpose), as the
// matrix that moves (x, y), measured from the centre with y growing downward.
struct TPlacement {
    int op; // TJXOP_...
    int xx, xy, yx, yy; // (x, y) -> (xx * x + xy * y, yx * x + yy * y)
};
constexpr TPlacement kPlacements[] = {
    {TJXOP_NONE, 1, 0, 0, 1},        {TJXOP_HFLIP, -1, 0, 0, 1},     {TJXOP_VFLIP, 1, 0, 0, -1},
    {TJXOP_TRANSPOSE, 0, 1, 1, 0},   {TJXOP_TRANSVERSE, 0, -1, -1, 0}, {TJXOP_ROT90, 0, -1, 1, 0},
    {TJXOP_ROT180, -1, 0, 0, -1},    {TJXOP_ROT270, 0, 1, -1, 0},
};

const TPlacement& PlacementOf(int op)
{
    for (const TPlacement& p : kPlacements)
        if (p.op == op)
            return p;
    return kPlacements[0];
}

int TurnOp(TJPEGTurn turn)
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

// What makes the stored picture upright (ApplyExifOrientation's steps).
int UprightOp(int orientation)
{
    constexpr int ops[] = {TJXOP_NONE, TJXOP_HFLIP, TJXOP_ROT180, TJXOP_VFLIP,
                           TJXOP_TRANSPOSE, TJXOP_ROT90, TJXOP_TRANSVERSE, TJXOP_ROT270};
    return orientation >= 1 && orientation <= 8 ? ops[orientation - 1] : TJXOP_NONE;
}

// The one placement that does first, then second.
int Compose(int first, int second)
{
    const TPlacement& a = PlacementOf(first);
    const TPlacement& b = PlacementOf(second);
    const int xx = b.xx * a.xx + b.xy * a.yx, xy = b.xx * a.xy + b.xy * a.yy;
    const int yx = b.yx * a.xx + b.yy * a.yx, yy = b.yx * a.xy + b.yy * a.yy;
    for (const TPlacement& p : kPlacements)
        if (p.xx == xx && p.xy == xy && p.yx == yx && p.yy == yy)
            return p.op;
    return TJXOP_NONE; // not reached: the eight are closed under composition
}

// Whether the operation moves no partial MCU: the library's rule, on the stored size.
bool IsPerfect(int op, int width, int height, int subsamp)
{
    const bool wholeWidth = width % tjMCUWidth[subsamp] == 0;
    const bool wholeHeight = height % tjMCUHeight[subsamp] == 0;
    switch (op) {
    case TJXOP_NONE:
    case TJXOP_TRANSPOSE: return true;
    case TJXOP_HFLIP:
    case TJXOP_ROT270: return wholeWidth;
    case TJXOP_VFLIP:
    case TJXOP_ROT90: return wholeHeight;
    default: return wholeWidth && wholeHeight;
    }
}

[[noreturn]] void Fail(void* handle)
{
    throw QuillonError(std::string("JPEG: ") + tjGetErrorStr2(handle));
}

} // namespace

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
    // The picture shown, and so the one the user turns, is the stored one made upright;
    // the result is stored upright and without the EXIF block.
    const int op = Compose(UprightOp(ExifOrientationOfJPEG(file)), TurnOp(turn));
    if (!IsPerfect(op, width, height, subsamp))
        return std::nullopt;
    // The file may have changed since the picture was decoded from it.
    CheckPictureDimensions(width, height);

    tjtransform transform{};
    transform.op = op;
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
