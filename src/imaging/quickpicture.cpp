#include "imaging/quickpicture.h"

#include "common/error.h"
#include "imaging/codecs.h"
#include "imaging/exiforientation.h"
#include "imaging/sourceimage.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace quillon {

namespace {

bool SwapsAxes(int orientation) { return orientation >= 5 && orientation <= 8; }

// Where stored pixel (x, y) of a picture of `size` lands upright.
TPoint UprightPoint(int32_t x, int32_t y, TSize size, int orientation)
{
    const int32_t w = size.width, h = size.height;
    switch (orientation) {
    case 2: return {w - 1 - x, y};
    case 3: return {w - 1 - x, h - 1 - y};
    case 4: return {x, h - 1 - y};
    case 5: return {y, x};
    case 6: return {h - 1 - y, x};
    case 7: return {h - 1 - y, w - 1 - x};
    case 8: return {y, w - 1 - x};
    default: return {x, y};
    }
}

// One axis of the stretch: for each canvas pixel, the two quick pixels it lies between
// and the weight (0..256) of the second; a pixel the quick picture does not reach is -1.
struct TTap {
    int32_t first = -1;
    int32_t second = -1;
    int32_t weight = 0;
};

std::vector<TTap> Taps(int32_t from, int32_t count, int32_t pictureStart, int32_t displayExtent, int32_t fullExtent,
                       int32_t coveredStart, int32_t coveredExtent, int32_t quickExtent)
{
    std::vector<TTap> taps(static_cast<size_t>(std::max(count, 0)));
    if (displayExtent <= 0 || coveredExtent <= 0 || quickExtent <= 0)
        return taps;
    for (int32_t i = 0; i < count; ++i) {
        // Pixel centres: display -> full picture -> quick picture.
        const double full = (from + i - pictureStart + 0.5) * fullExtent / displayExtent;
        if (full < coveredStart || full >= coveredStart + coveredExtent)
            continue;
        const double quick =
            std::clamp((full - coveredStart) * quickExtent / coveredExtent - 0.5, 0.0, quickExtent - 1.0);
        const auto first = static_cast<int32_t>(quick);
        taps[static_cast<size_t>(i)] = {first, std::min(first + 1, quickExtent - 1),
                                        static_cast<int32_t>(std::lround((quick - first) * 256))};
    }
    return taps;
}

} // namespace

std::optional<TSize> UprightJPEGSize(std::string_view file)
{
    int width = 0, height = 0;
    if (!ReadJPEGSize(file, width, height))
        return std::nullopt;
    if (SwapsAxes(ExifOrientationOfJPEG(file)))
        std::swap(width, height);
    return TSize{width, height};
}

int QuickScaleDenominator(TSize full, TSize need)
{
    for (int d : {8, 4, 2})
        if ((full.width + d - 1) / d >= need.width && (full.height + d - 1) / d >= need.height)
            return d;
    return 1;
}

TRect UprightRect(const TRect& stored, TSize storedSize, int orientation)
{
    if (stored.IsEmpty())
        return {};
    const TPoint a = UprightPoint(stored.left, stored.top, storedSize, orientation);
    const TPoint b = UprightPoint(stored.right - 1, stored.bottom - 1, storedSize, orientation);
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1, std::max(a.y, b.y) + 1};
}

TRect StoredRect(const TRect& upright, TSize uprightSize, int orientation)
{
    // Turning a quarter one way is undone by turning it the other; the rest undo themselves.
    const int inverse = orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
    return UprightRect(upright, uprightSize, inverse);
}

TRect VisiblePicturePart(const TDisplayLayout& layout, TSize full, TSize visible)
{
    const TRect seen{0, 0, std::min(layout.display.width, visible.width),
                     std::min(layout.display.height, visible.height)};
    const TRect place{layout.pictureLeft, layout.pictureTop, layout.pictureLeft + layout.displayPicture.width,
                      layout.pictureTop + layout.displayPicture.height};
    const TRect shown = Intersect(seen, place);
    if (shown.IsEmpty() || layout.displayPicture.width <= 0 || layout.displayPicture.height <= 0)
        return {};
    auto down = [](int64_t v, int64_t num, int64_t den) { return static_cast<int32_t>(v * num / den); };
    auto up = [](int64_t v, int64_t num, int64_t den) { return static_cast<int32_t>((v * num + den - 1) / den); };
    const TRect part{down(shown.left - place.left, full.width, layout.displayPicture.width),
                     down(shown.top - place.top, full.height, layout.displayPicture.height),
                     up(shown.right - place.left, full.width, layout.displayPicture.width),
                     up(shown.bottom - place.top, full.height, layout.displayPicture.height)};
    return Intersect(part, {0, 0, full.width, full.height});
}

TQuickPicture DecodeQuickPicture(std::string_view file, const TDisplayLayout& layout, const TRect& part,
                                 const TDecodeListener* cancel)
{
    int width = 0, height = 0;
    if (!ReadJPEGSize(file, width, height))
        throw QuillonError("JPEG: the file has no readable header");
    const int orientation = ExifOrientationOfJPEG(file);
    const TSize stored{width, height};
    TQuickPicture quick;
    quick.full = SwapsAxes(orientation) ? TSize{height, width} : stored;
    const TRect want = StoredRect(Intersect(part, {0, 0, quick.full.width, quick.full.height}), quick.full, orientation);
    if (want.IsEmpty())
        return quick;
    TJPEGPart decoded{QuickScaleDenominator(quick.full, layout.displayPicture), want.left, want.right, want.bottom};
    quick.picture = ApplyExifOrientation(DecodeJPEGPart(file, decoded, cancel), orientation);
    quick.covered = quick.picture.Empty()
                        ? TRect{}
                        : UprightRect({decoded.left, 0, decoded.right, decoded.bottom}, stored, orientation);
    return quick;
}

TQuickView::TQuickView(TQuickPicture quick, const TDisplayLayout& layout, const TRect& workFrame)
    : quick_(std::move(quick)), layout_(layout), displayFrame_(WorkToDisplayRect(workFrame, layout.work, layout.display))
{
}

void TQuickView::DrawSourceView(TBitmap& canvas, TPoint origin) const
{
    const TRect display{0, 0, layout_.display.width, layout_.display.height};
    const TRect area = Intersect(display, {origin.x, origin.y, origin.x + canvas.Width(), origin.y + canvas.Height()});
    if (!area.IsEmpty()) {
        FillRect(canvas, {area.left - origin.x, area.top - origin.y, area.right - origin.x, area.bottom - origin.y},
                 kWhite);
        const TRect place{layout_.pictureLeft, layout_.pictureTop, layout_.pictureLeft + layout_.displayPicture.width,
                          layout_.pictureTop + layout_.displayPicture.height};
        const TRect shown = Intersect(area, place);
        const TBitmap& picture = quick_.picture;
        if (!shown.IsEmpty() && !picture.Empty()) {
            const std::vector<TTap> xs =
                Taps(shown.left, shown.Width(), place.left, place.Width(), quick_.full.width, quick_.covered.left,
                     quick_.covered.Width(), picture.Width());
            const std::vector<TTap> ys =
                Taps(shown.top, shown.Height(), place.top, place.Height(), quick_.full.height, quick_.covered.top,
                     quick_.covered.Height(), picture.Height());
            for (int32_t j = 0; j < shown.Height(); ++j) {
                const TTap& y = ys[static_cast<size_t>(j)];
                if (y.first < 0)
                    continue;
                const uint8_t* top = picture.Row(y.first);
                const uint8_t* bottom = picture.Row(y.second);
                uint8_t* out = canvas.Pixel(shown.left - origin.x, shown.top + j - origin.y);
                for (int32_t i = 0; i < shown.Width(); ++i, out += 3) {
                    const TTap& x = xs[static_cast<size_t>(i)];
                    if (x.first < 0)
                        continue;
                    for (int c = 0; c < 3; ++c) {
                        const int32_t upper = top[x.first * 3 + c] * (256 - x.weight) + top[x.second * 3 + c] * x.weight;
                        const int32_t lower =
                            bottom[x.first * 3 + c] * (256 - x.weight) + bottom[x.second * 3 + c] * x.weight;
                        out[c] = static_cast<uint8_t>((upper * (256 - y.weight) + lower * y.weight + 32768) >> 16);
                    }
                }
            }
        }
    }
    DrawOutline(canvas, {-origin.x, -origin.y, layout_.display.width - origin.x, layout_.display.height - origin.y},
                kWorkAreaBorderColor);
    DrawFrameAnts(canvas, origin, displayFrame_, TAnts{});
}

} // namespace quillon
