#include "imaging/transforms.h"

#include "common/error.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace quillon {

TBitmap MirrorBitmap(const TBitmap& picture, TMirrorDirection direction)
{
    int w = picture.Width(), h = picture.Height();
    TBitmap out;
    out.ResizeForOverwrite(w, h);
    for (int y = 0; y < h; ++y) {
        if (direction == TMirrorDirection::Vertical) {
            std::memcpy(out.Row(h - 1 - y), picture.Row(y), picture.Stride());
            continue;
        }
        const uint8_t* src = picture.Row(y);
        uint8_t* dst = out.Pixel(w - 1, y);
        for (int x = 0; x < w; ++x, src += 3, dst -= 3)
            std::memcpy(dst, src, 3);
    }
    return out;
}

namespace {

// Target of (x, y) for a quarter turn: 90 gives (h - 1 - y, x), 270 gives (y, w - 1 - x).
// Walking the target row by row keeps the writes sequential; the reads stride down a column.
TBitmap RotateQuarter(const TBitmap& picture, bool clockwise)
{
    int w = picture.Width(), h = picture.Height();
    TBitmap out;
    out.ResizeForOverwrite(h, w);
    for (int ty = 0; ty < w; ++ty) {
        uint8_t* dst = out.Row(ty);
        for (int tx = 0; tx < h; ++tx, dst += 3) {
            int x = clockwise ? ty : w - 1 - ty;
            int y = clockwise ? h - 1 - tx : tx;
            std::memcpy(dst, picture.Pixel(x, y), 3);
        }
    }
    return out;
}

} // namespace

TBitmap RotateBitmap(const TBitmap& picture, int angle)
{
    switch (angle) {
    case 90: return RotateQuarter(picture, true);
    case 270: return RotateQuarter(picture, false);
    case 180: {
        TBitmap out;
        out.ResizeForOverwrite(picture.Width(), picture.Height());
        const uint8_t* src = picture.Data();
        uint8_t* dst = out.Data() + out.SizeInBytes();
        for (size_t i = 0; i < picture.SizeInBytes(); i += 3)
            std::memcpy(dst -= 3, src + i, 3);
        return out;
    }
    default: throw QuillonError("A picture can only be rotated by 90, 180 or 270 degrees, not " + std::to_string(angle));
    }
}

} // namespace quillon
