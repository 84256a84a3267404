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

// Rows [top, top + count) of the turned picture, written from `rows` on, a row every
// `stride` bytes. Target row r is source column r (90, read bottom up) or w - 1 - r (270,
// read top down), or source row h - 1 - r read backwards (180). For the quarter turns the
// source rows go through in runs, so the target rows being filled stay in the cache;
// done pixel by pixel over the whole picture, every write would touch a new cache line.
void TurnRows(const TBitmap& picture, int angle, int top, int count, uint8_t* rows, size_t stride)
{
    const int w = picture.Width(), h = picture.Height();
    if (angle == 180) {
        for (int r = 0; r < count; ++r) {
            const uint8_t* src = picture.Row(h - 1 - (top + r)) + picture.Stride();
            uint8_t* dst = rows + static_cast<size_t>(r) * stride;
            for (int x = 0; x < w; ++x, dst += 3)
                std::memcpy(dst, src -= 3, 3);
        }
        return;
    }
    constexpr int kRun = 64;
    for (int y0 = 0; y0 < h; y0 += kRun) {
        const int y1 = std::min(y0 + kRun, h);
        for (int r = 0; r < count; ++r) {
            const int x = angle == 90 ? top + r : w - 1 - (top + r);
            uint8_t* dst = rows + static_cast<size_t>(r) * stride;
            for (int y = y0; y < y1; ++y)
                std::memcpy(dst + static_cast<size_t>(angle == 90 ? h - 1 - y : y) * 3, picture.Pixel(x, y), 3);
        }
    }
}

void CheckAngle(int angle)
{
    if (angle != 90 && angle != 180 && angle != 270)
        throw QuillonError("A picture can only be rotated by 90, 180 or 270 degrees, not " + std::to_string(angle));
}

} // namespace

void RotatedRows(const TBitmap& picture, int angle, int top, int count, TBitmap& band)
{
    CheckAngle(angle);
    const int width = angle == 180 ? picture.Width() : picture.Height();
    if (band.Width() != width || band.Height() != count)
        band.ResizeForOverwrite(width, count);
    TurnRows(picture, angle, top, count, band.Data(), band.Stride());
}

// Bands of target rows go to the cores; a logo-sized picture is not worth waking them.
TBitmap RotateBitmap(const TBitmap& picture, int angle)
{
    CheckAngle(angle);
    TBitmap out;
    if (angle == 180)
        out.ResizeForOverwrite(picture.Width(), picture.Height());
    else
        out.ResizeForOverwrite(picture.Height(), picture.Width());
    constexpr int kBand = 64;
    auto bands = [&](int32_t first, int32_t last) {
        const int top = first * kBand, bottom = std::min(last * kBand, out.Height());
        if (top < bottom)
            TurnRows(picture, angle, top, bottom - top, out.Row(top), out.Stride());
    };
    const int32_t count = (out.Height() + kBand - 1) / kBand;
    if (static_cast<int64_t>(picture.Width()) * picture.Height() < 1'000'000) {
        bands(0, count);
    } else {
        TWorkPool& pool = TWorkPool::Shared();
        pool.For(count, pool.Helpers() + 1, 1, bands);
    }
    return out;
}

} // namespace quillon
