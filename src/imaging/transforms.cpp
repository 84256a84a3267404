#include "imaging/transforms.h"

#include "common/error.h"
#include "common/workpool.h"

#include <algorithm>
#include <cstddef>
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
// Each source row becomes a target column. Done for the whole picture at once, every
// pixel written touches a new cache line; done in square tiles, the target lines of a
// tile stay in the cache until the tile is done, which more than halves the work of
// turning a 24-megapixel photo. Bands of source rows go to the cores; a logo-sized
// picture is not worth waking them.
TBitmap RotateQuarter(const TBitmap& picture, bool clockwise)
{
    const int w = picture.Width(), h = picture.Height();
    TBitmap out;
    out.ResizeForOverwrite(h, w);
    constexpr int kTile = 64;
    const ptrdiff_t step = clockwise ? static_cast<ptrdiff_t>(out.Stride()) : -static_cast<ptrdiff_t>(out.Stride());
    auto band = [&](int32_t first, int32_t last) {
        for (int y0 = first * kTile; y0 < std::min(last * kTile, h); y0 += kTile) {
            const int y1 = std::min(y0 + kTile, h);
            for (int x0 = 0; x0 < w; x0 += kTile) {
                const int x1 = std::min(x0 + kTile, w);
                for (int y = y0; y < y1; ++y) {
                    const uint8_t* src = picture.Pixel(x0, y);
                    uint8_t* dst = clockwise ? out.Pixel(h - 1 - y, x0) : out.Pixel(y, w - 1 - x0);
                    for (int x = x0; x < x1; ++x, src += 3, dst += step)
                        std::memcpy(dst, src, 3);
                }
            }
        }
    };
    const int32_t bands = (h + kTile - 1) / kTile;
    if (static_cast<int64_t>(w) * h < 1'000'000) {
        band(0, bands);
    } else {
        TWorkPool& pool = TWorkPool::Shared();
        pool.For(bands, pool.Helpers() + 1, 1, band);
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
