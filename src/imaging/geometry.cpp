#include "imaging/geometry.h"

#include "logodir/logodirobject.h"

#include <algorithm>
#include <cmath>

namespace quillon {

TRect Intersect(const TRect& a, const TRect& b)
{
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

int32_t RoundHalfEven(double value)
{
    // nearbyint follows the current rounding mode, which is round-to-nearest-even
    // unless someone changed it; rint-family functions never raise inexact traps here.
    return static_cast<int32_t>(std::nearbyint(value));
}

int32_t MulDiv(int64_t a, int64_t b, int64_t c)
{
    return static_cast<int32_t>(a * b / c);
}

TSize WorkAreaSize(TSize picture, TSize logo)
{
    // The controls keep logo sizes in 16..400, but a damaged directory file must not divide by zero.
    logo = {std::max(logo.width, 1), std::max(logo.height, 1)};
    return {std::max(picture.width, MulDiv(picture.height, logo.width, logo.height)),
            std::max(picture.height, MulDiv(picture.width, logo.height, logo.width))};
}

TSize PictureOffset(TSize picture, TSize work)
{
    return {(work.width - picture.width) / 2, (work.height - picture.height) / 2};
}

TRect FitBounds(TSize picture, TSize work, uint8_t fitkind)
{
    bool byWidth = true;
    switch (fitkind) {
    case fkWidth: byWidth = true; break;
    case fkHeight: byWidth = false; break;
    case fkSmaller: byWidth = picture.width < work.width; break;
    default: byWidth = picture.height < work.height; break;
    }
    int32_t a = 0;
    int32_t b = 0;
    if (byWidth) {
        a = picture.width;
        b = MulDiv(work.height, a, work.width);
    } else {
        b = picture.height;
        a = MulDiv(work.width, b, work.height);
    }
    TRect r;
    r.left = (work.width - a) / 2;
    r.top = (work.height - b) / 2;
    r.right = r.left + a;
    r.bottom = r.top + b;
    return r;
}

bool IntersectsPicture(const TRect& rect, TSize picture)
{
    return rect.right > 0 && rect.bottom > 0 && rect.left < picture.width && rect.top < picture.height;
}

namespace {

void ClipKeepingScale(TRect& s, TRect& d, TSize picture)
{
    const double fx = static_cast<double>(d.Width()) / (s.right - s.left);
    const double fy = static_cast<double>(d.Height()) / (s.bottom - s.top);
    if (s.left < 0) {
        d.left += RoundHalfEven(-static_cast<double>(s.left) * fx);
        s.left = 0;
    }
    if (s.top < 0) {
        d.top += RoundHalfEven(-static_cast<double>(s.top) * fy);
        s.top = 0;
    }
    if (s.right > picture.width) {
        d.right -= RoundHalfEven(static_cast<double>(s.right - picture.width) * fx);
        s.right = picture.width;
    }
    if (s.bottom > picture.height) {
        d.bottom -= RoundHalfEven(static_cast<double>(s.bottom - picture.height) * fy);
        s.bottom = picture.height;
    }
}

void ClipFittingProportions(TRect& s, TRect& d, TSize picture)
{
    const int32_t wd = d.Width();
    const int32_t hd = d.Height();
    s.left = std::max(s.left, 0);
    s.top = std::max(s.top, 0);
    s.right = std::min(s.right, picture.width);
    s.bottom = std::min(s.bottom, picture.height);
    const double sw = s.right - s.left;
    const double sh = s.bottom - s.top;
    d = {0, 0, wd, RoundHalfEven(sh / (sw / wd))};
    if (hd < d.bottom)
        d = {0, 0, RoundHalfEven(sw / (sh / hd)), hd};
}

} // namespace

void ClipToPicture(TRect& source, TRect& dest, TSize picture, bool keepproportions)
{
    const int32_t wd = dest.Width();
    const int32_t hd = dest.Height();
    if (!IntersectsPicture(source, picture) || source.IsEmpty() || dest.IsEmpty()) {
        // Nothing of the picture to show: leave nothing to draw rather than divide by zero.
        source = {};
        dest = {};
        return;
    }
    if (keepproportions)
        ClipKeepingScale(source, dest, picture);
    else
        ClipFittingProportions(source, dest, picture);
    const int32_t width = dest.Width();
    if (width < wd) {
        dest.left = (wd - width) / 2;
        dest.right = dest.left + width;
    }
    const int32_t height = dest.Height();
    if (height < hd) {
        dest.top = (hd - height) / 2;
        dest.bottom = dest.top + height;
    }
}

TDisplayLayout ComputeDisplayLayout(TSize picture, TSize work, TSize pane, bool fitToPane)
{
    TDisplayLayout layout;
    layout.work = work;
    // A collapsed pane must not give a display without extent: every conversion divides by it.
    const int32_t pw = std::max(pane.width, 1);
    const int32_t ph = std::max(pane.height, 1);
    if (!fitToPane || (pw >= work.width && ph >= work.height)) {
        layout.display = work;
        layout.displayPicture = picture;
        const TSize offset = PictureOffset(picture, work);
        layout.pictureLeft = offset.width;
        layout.pictureTop = offset.height;
        return layout;
    }
    auto scaleBy = [&](int32_t paneExtent, int32_t workExtent) {
        layout.display = {MulDiv(work.width, paneExtent, workExtent), MulDiv(work.height, paneExtent, workExtent)};
        layout.displayPicture = {MulDiv(picture.width, paneExtent, workExtent),
                                 MulDiv(picture.height, paneExtent, workExtent)};
    };
    if (pw < work.width) {
        scaleBy(pw, work.width);
        layout.display.width = pw;
        if (ph < work.height && ph < layout.display.height) {
            scaleBy(ph, work.height);
            layout.display.height = ph;
        }
    } else {
        scaleBy(ph, work.height);
        layout.display.height = ph;
    }
    layout.display.width = std::max(layout.display.width, 1);
    layout.display.height = std::max(layout.display.height, 1);
    layout.pictureLeft = (layout.display.width - layout.displayPicture.width) / 2;
    layout.pictureTop = (layout.display.height - layout.displayPicture.height) / 2;
    layout.scaled = true;
    return layout;
}

int32_t WorkToDisplay(int32_t value, int32_t workExtent, int32_t displayExtent)
{
    return MulDiv(value, displayExtent, workExtent);
}

int32_t DisplayToWork(int32_t value, int32_t workExtent, int32_t displayExtent)
{
    return MulDiv(value, workExtent, displayExtent);
}

TRect WorkToDisplayRect(const TRect& r, TSize work, TSize display)
{
    const int32_t left = WorkToDisplay(r.left, work.width, display.width);
    const int32_t top = WorkToDisplay(r.top, work.height, display.height);
    return {left, top, left + WorkToDisplay(r.Width(), work.width, display.width),
            top + WorkToDisplay(r.Height(), work.height, display.height)};
}

} // namespace quillon
