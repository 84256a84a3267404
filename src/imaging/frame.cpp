#include "imaging/frame.h"

#include "imaging/bitmap.h"

#include <algorithm>

namespace quillon {

TRect HitTestFrame(const TRect& workFrame, TSize work, TSize display, bool fitToPane)
{
    if (!fitToPane)
        return workFrame;
    auto scale = [&](int32_t v) { return WorkToDisplay(v, work.width, display.width); };
    return {scale(workFrame.left), scale(workFrame.top), scale(workFrame.right), scale(workFrame.bottom)};
}

THitCode HitCode(const TRect& f, int32_t x, int32_t y)
{
    const int32_t e = kEdgeTolerance;
    const int32_t k = kCornerSize;
    if (!TRect{f.left - e, f.top - e, f.right + e, f.bottom + e}.Contains(x, y))
        return hcOutside;
    if (TRect{f.left + e, f.top + e, f.right - e, f.bottom - e}.Contains(x, y))
        return hcInside;
    const std::pair<THitCode, TRect> band[] = {
        {hcTopLeft, {f.left - k, f.top - k, f.left + k, f.top + k}},
        {hcTopRight, {f.right - k, f.top - k, f.right + k, f.top + k}},
        {hcBottomLeft, {f.left - k, f.bottom - k, f.left + k, f.bottom + k}},
        {hcBottomRight, {f.right - k, f.bottom - k, f.right + k, f.bottom + k}},
        {hcLeft, {f.left - e, f.top, f.left + e, f.bottom}},
        {hcTop, {f.left, f.top - e, f.right, f.top + e}},
        {hcRight, {f.right - e, f.top, f.right + e, f.bottom}},
        {hcBottom, {f.left, f.bottom - e, f.right, f.bottom + e}},
    };
    for (const auto& [code, zone] : band)
        if (zone.Contains(x, y))
            return code;
    return hcOutside;
}

TPoint DragOffsetToWork(THitCode zone, TPoint offset, TSize work, TSize display)
{
    // A move converts both offsets with the vertical factor, the corners and the side
    // edges with the horizontal one.
    const bool vertical = zone == hcInside || zone == hcTop || zone == hcBottom;
    const int32_t k = vertical ? work.height : work.width;
    const int32_t kd = vertical ? display.height : display.width;
    return {MulDiv(offset.x, k, kd), MulDiv(offset.y, k, kd)};
}

namespace {

// One side of the frame being dragged: where it started, the fit bound it may not pass,
// the limit that keeps the frame kMinFrameSize wide, and the direction in which it grows.
struct TSide {
    int32_t start;
    int32_t bound;
    int32_t limit;
    int32_t grow; // -1 for left and top, +1 for right and bottom
};

TSide LeftSide(const TRect& s, const TRect& b) { return {s.left, b.left, s.right - kMinFrameSize, -1}; }
TSide TopSide(const TRect& s, const TRect& b) { return {s.top, b.top, s.bottom - kMinFrameSize, -1}; }
TSide RightSide(const TRect& s, const TRect& b) { return {s.right, b.right, s.left + kMinFrameSize, +1}; }
TSide BottomSide(const TRect& s, const TRect& b) { return {s.bottom, b.bottom, s.top + kMinFrameSize, +1}; }

bool PastBound(const TSide& side, int32_t d)
{
    const int32_t p = side.start + d;
    return side.grow < 0 ? p < side.bound : p > side.bound;
}

bool PastLimit(const TSide& side, int32_t d)
{
    const int32_t p = side.start + d;
    return side.grow < 0 ? p > side.limit : p < side.limit;
}

void Clamp(const TSide& side, int32_t& d)
{
    if (PastBound(side, d))
        d = side.bound - side.start;
    if (PastLimit(side, d))
        d = side.limit - side.start;
}

// Clamps the leading offset; whenever a clamp fires the other side follows in proportion.
template <typename Follow>
void ClampLead(const TSide& side, int32_t& lead, int32_t& follower, Follow follow)
{
    if (PastBound(side, lead)) {
        lead = side.bound - side.start;
        follower = follow(lead);
    }
    if (PastLimit(side, lead)) {
        lead = side.limit - side.start;
        follower = follow(lead);
    }
}

// Moves one edge by `lead`; with keep proportions the neighbouring edge follows.
void DragEdge(const TSide& leadSide, const TSide& followSide, int32_t& lead, int32_t& follower,
              int64_t num, int64_t den, bool keep)
{
    Clamp(leadSide, lead);
    follower = 0;
    if (!keep)
        return;
    follower = static_cast<int32_t>(lead * num / den);
    ClampLead(followSide, follower, lead, [&](int32_t f) { return static_cast<int32_t>(f * den / num); });
}

// Moves two edges meeting in a corner; with keep proportions the offset giving the larger
// frame leads and the other follows.
void DragCorner(const TSide& xs, const TSide& ys, int32_t& h, int32_t& v, TSize work, bool keep)
{
    Clamp(xs, h);
    Clamp(ys, v);
    if (!keep)
        return;
    const int64_t s = static_cast<int64_t>(xs.grow) * ys.grow;
    const int64_t w = work.width;
    const int64_t hh = work.height;
    auto vOfH = [&](int32_t x) { return static_cast<int32_t>(s * x * hh / w); };
    auto hOfV = [&](int32_t y) { return static_cast<int32_t>(s * y * w / hh); };
    const int32_t u = hOfV(v);
    if (xs.grow < 0 ? u < h : h < u) {
        h = u;
        ClampLead(xs, h, v, vOfH);
    } else {
        v = vOfH(h);
        ClampLead(ys, v, h, hOfV);
    }
}

TRect Move(const TRect& s, TPoint d, const TRect& b)
{
    int32_t h = d.x;
    int32_t v = d.y;
    if (s.left + h < b.left)
        h = b.left - s.left;
    if (s.right + h > b.right)
        h = b.right - s.right;
    if (s.top + v < b.top)
        v = b.top - s.top;
    if (s.bottom + v > b.bottom)
        v = b.bottom - s.bottom;
    return {s.left + h, s.top + v, s.right + h, s.bottom + v};
}

} // namespace

TRect ApplyDrag(THitCode zone, const TRect& s, TPoint d, const TRect& b, TSize work, bool keep)
{
    const TSide left = LeftSide(s, b);
    const TSide top = TopSide(s, b);
    const TSide right = RightSide(s, b);
    const TSide bottom = BottomSide(s, b);
    const int64_t w = work.width;
    const int64_t h = work.height;
    int32_t e = 0;
    int32_t g = 0;
    int32_t x = d.x;
    int32_t y = d.y;
    switch (zone) {
    case hcInside:
        return Move(s, d, b);
    case hcLeft:
        e = d.x;
        DragEdge(left, top, e, g, h, w, keep);
        return {s.left + e, s.top + g, s.right, s.bottom};
    case hcTop:
        e = d.y;
        DragEdge(top, left, e, g, w, h, keep);
        return {s.left + g, s.top + e, s.right, s.bottom};
    case hcRight:
        e = d.x;
        DragEdge(right, bottom, e, g, h, w, keep);
        return {s.left, s.top, s.right + e, s.bottom + g};
    case hcBottom:
        e = d.y;
        DragEdge(bottom, right, e, g, w, h, keep);
        return {s.left, s.top, s.right + g, s.bottom + e};
    case hcTopLeft:
        DragCorner(left, top, x, y, work, keep);
        return {s.left + x, s.top + y, s.right, s.bottom};
    case hcTopRight:
        DragCorner(right, top, x, y, work, keep);
        return {s.left, s.top + y, s.right + x, s.bottom};
    case hcBottomLeft:
        DragCorner(left, bottom, x, y, work, keep);
        return {s.left + x, s.top, s.right, s.bottom + y};
    case hcBottomRight:
        DragCorner(right, bottom, x, y, work, keep);
        return {s.left, s.top, s.right + x, s.bottom + y};
    case hcOutside:
        break;
    }
    return s;
}

void TAnts::Advance()
{
    if (++phase == 5) {
        phase = 1;
        white = !white;
    }
}

namespace {

// The colour of the pixel at position `slot` along a chain: the first dash is `phase`
// pixels long, every later one 4.
bool SlotIsWhite(int64_t slot, const TAnts& ants)
{
    const int64_t dash = slot < ants.phase ? 0 : 1 + (slot - ants.phase) / 4;
    return ants.white != ((dash & 1) != 0);
}

} // namespace

void DrawFrameAnts(TBitmap& canvas, TPoint origin, const TRect& f, const TAnts& ants)
{
    const int64_t c = int64_t{f.right} - f.left;
    const int64_t d = int64_t{f.bottom} - f.top;
    if (c <= 0 || d <= 0)
        return;
    struct TSegment {
        bool horizontal;
        int64_t line;   // the row (horizontal) or column it lies on
        int64_t start;  // its first pixel along that line
        int64_t length;
        int64_t slot;   // the chain position of its first pixel
    };
    // In drawing order: chain 1 (top row, right column), then chain 2 (left column,
    // bottom row). Each corner pixel is the first of its second edge.
    const TSegment segments[4] = {
        {true, f.top, f.left, c, 0},
        {false, f.left + c - 1, f.top, d, c},
        {false, f.left, f.top, d, 0},
        {true, f.top + d - 1, f.left, c, d},
    };
    for (const TSegment& s : segments) {
        const int64_t across = s.horizontal ? s.line - origin.y : s.line - origin.x;
        if (across < 0 || across >= (s.horizontal ? canvas.Height() : canvas.Width()))
            continue;
        const int64_t first = s.start - (s.horizontal ? origin.x : origin.y);
        const int64_t from = std::max<int64_t>(first, 0);
        const int64_t to = std::min<int64_t>(first + s.length, s.horizontal ? canvas.Width() : canvas.Height());
        for (int64_t along = from; along < to; ++along) {
            const uint8_t value = SlotIsWhite(s.slot + along - first, ants) ? 255 : 0;
            uint8_t* px = s.horizontal ? canvas.Pixel(static_cast<int32_t>(along), static_cast<int32_t>(across))
                                       : canvas.Pixel(static_cast<int32_t>(across), static_cast<int32_t>(along));
            px[0] = px[1] = px[2] = value;
        }
    }
}

std::array<TRect, 4> FrameEraseStrips(const TRect& f)
{
    const int32_t a = f.left;
    const int32_t b = f.top;
    const int32_t c = f.Width();
    const int32_t d = f.Height();
    return {TRect{a, b, a + c, b + 1}, TRect{a, b + d - 1, a + c, b + d}, TRect{a, b, a + 1, b + d},
            TRect{a + c - 1, b, a + c, b + d}};
}

} // namespace quillon
