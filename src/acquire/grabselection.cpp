#include "acquire/grabselection.h"

#include "acquire/acquiremessages.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace quillon {

namespace {

// The smallest side a grabbed picture may have, in pixels.
constexpr int kMinGrabSide = 16;

} // namespace

void TGrabSelection::Reset()
{
    rect_ = TGrabRect();
    dragging_ = false;
}

void TGrabSelection::MouseDown(int x, int y)
{
    if (screen_.Empty())
        return;
    // The window covers the picture exactly; a point beyond it (another monitor while
    // the mouse is captured) counts as its nearest edge, so the copy stays inside.
    x = std::clamp(x, 0, screen_.Width() - 1);
    y = std::clamp(y, 0, screen_.Height() - 1);
    rect_ = {x, y, x + 1, y + 1};
    dragging_ = true;
    DrawRubberBand(screen_, rect_);
}

void TGrabSelection::MouseMove(int x, int y)
{
    if (!dragging_)
        return;
    DrawRubberBand(screen_, rect_);
    rect_.Right = std::clamp(x, 0, screen_.Width() - 1) + 1;
    rect_.Bottom = std::clamp(y, 0, screen_.Height() - 1) + 1;
    DrawRubberBand(screen_, rect_);
}

void TGrabSelection::MouseUp()
{
    if (!dragging_)
        return;  // a release without a press on the picture chooses nothing
    DrawRubberBand(screen_, rect_);
    dragging_ = false;
    // Only the sides are swapped, not adjusted: a rectangle dragged up and to the left
    // loses the pressed pixel's row and column.
    if (rect_.Right < rect_.Left)
        std::swap(rect_.Left, rect_.Right);
    if (rect_.Bottom < rect_.Top)
        std::swap(rect_.Top, rect_.Bottom);
}

void TGrabSelection::Escape()
{
    if (dragging_)
        DrawRubberBand(screen_, rect_);
    Reset();
}

void DrawRubberBand(TBitmap& picture, const TGrabRect& rect)
{
    if (!rect.Chosen())
        return;
    const int x0 = std::min(rect.Left, rect.Right), x1 = std::max(rect.Left, rect.Right) - 1;
    const int y0 = std::min(rect.Top, rect.Bottom), y1 = std::max(rect.Top, rect.Bottom) - 1;
    if (x1 < x0 || y1 < y0)
        return;
    // Each outline pixel is flipped exactly once per drawing, so a second drawing undoes
    // the first; every other pixel along the outline makes the dots.
    auto flip = [&picture](int x, int y) {
        if (x < 0 || y < 0 || x >= picture.Width() || y >= picture.Height() || (x + y) % 2 != 0)
            return;
        uint8_t* p = picture.Pixel(x, y);
        p[0] ^= 0xFF;
        p[1] ^= 0xFF;
        p[2] ^= 0xFF;
    };
    for (int x = x0; x <= x1; ++x) {
        flip(x, y0);
        if (y1 != y0)
            flip(x, y1);
    }
    for (int y = y0 + 1; y < y1; ++y) {
        flip(x0, y);
        if (x1 != x0)
            flip(x1, y);
    }
}

std::string GrabRectProblem(const TGrabRect& rect)
{
    if (std::abs(rect.Right - rect.Left) < kMinGrabSide)
        return kMsgGrabWidthTooSmall;
    if (std::abs(rect.Bottom - rect.Top) < kMinGrabSide)
        return kMsgGrabHeightTooSmall;
    return {};
}

TBitmap CopyGrabRect(const TBitmap& screen, const TGrabRect& rect)
{
    const int left = std::clamp(rect.Left, 0, screen.Width()), right = std::clamp(rect.Right, left, screen.Width());
    const int top = std::clamp(rect.Top, 0, screen.Height()), bottom = std::clamp(rect.Bottom, top, screen.Height());
    TBitmap part;
    part.ResizeForOverwrite(right - left, bottom - top);
    for (int y = 0; y < part.Height(); ++y)
        std::copy_n(screen.Pixel(left, top + y), part.Stride(), part.Row(y));
    return part;
}

TScreenSource ChooseScreenSource(TPortalOutcome outcome, bool nativeWayland)
{
    switch (outcome) {
    case TPortalOutcome::Taken:
        return {TScreenSource::PortalPicture, {}};
    case TPortalOutcome::Refused:
        return {TScreenSource::Nothing, {}};
    case TPortalOutcome::Failed:
        // A broken portal is not papered over with the X screen: under XWayland that
        // would grab a screen without the Wayland programs on it.
        return {TScreenSource::Nothing, kMsgGrabPortalFailed};
    case TPortalOutcome::NoPortal:
        break;
    }
    if (nativeWayland)
        return {TScreenSource::Nothing, kMsgGrabNoPortal};
    return {TScreenSource::XScreen, {}};
}

} // namespace quillon
