#include "imaging/sourceimage.h"

#include "logodir/logodirobject.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace quillon {

namespace {

TRect Offset(const TRect& r, int32_t dx, int32_t dy) { return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

} // namespace

void FillRect(TBitmap& bitmap, const TRect& rect, TRgb color)
{
    const TRect r = Intersect(rect, {0, 0, bitmap.Width(), bitmap.Height()});
    if (r.IsEmpty())
        return;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        uint8_t* p = bitmap.Pixel(r.left, y);
        for (int32_t x = r.left; x < r.right; ++x, p += 3) {
            p[0] = color.r;
            p[1] = color.g;
            p[2] = color.b;
        }
    }
}

void DrawOutline(TBitmap& bitmap, const TRect& r, TRgb color)
{
    if (r.IsEmpty())
        return;
    FillRect(bitmap, {r.left, r.top, r.right, r.top + 1}, color);
    FillRect(bitmap, {r.left, r.bottom - 1, r.right, r.bottom}, color);
    FillRect(bitmap, {r.left, r.top, r.left + 1, r.bottom}, color);
    FillRect(bitmap, {r.right - 1, r.top, r.right, r.bottom}, color);
}

TSourceImage::TSourceImage(TBitmap picture, TLogoDirObject& node, TSize pane, bool fitToPane, TFillOptions fill)
    : TSourceImage(std::make_shared<const TBitmap>(std::move(picture)), node, pane, fitToPane, fill)
{
}

TSourceImage::TSourceImage(std::shared_ptr<const TBitmap> picture, TLogoDirObject& node, TSize pane, bool fitToPane,
                           TFillOptions fill)
    : source_(picture ? std::move(picture) : std::make_shared<const TBitmap>()), node_(&node), pane_(pane),
      fitToPane_(fitToPane), fill_(fill)
{
    layout_ = ComputeDisplayLayout(PictureSize(), WorkAreaSize(), pane_, fitToPane_);
}

TSize TSourceImage::WorkAreaSize() const
{
    return quillon::WorkAreaSize(PictureSize(), {node_->logowidth, node_->logoheight});
}

TSize TSourceImage::PictureOffset() const { return quillon::PictureOffset(PictureSize(), WorkAreaSize()); }

std::optional<TStretchJob> TSourceImage::BeginDisplayPicture()
{
    layout_ = ComputeDisplayLayout(PictureSize(), WorkAreaSize(), pane_, fitToPane_);
    display_ = TBitmap();
    if (!layout_.scaled)
        return std::nullopt;
    display_.Resize(layout_.displayPicture.width, layout_.displayPicture.height);
    return TStretchJob{&display_, {0, 0, display_.Width(), display_.Height()},
                       {0, 0, source_->Width(), source_->Height()}};
}

const TBitmap& TSourceImage::BuildDisplayPicture(const TResampleOptions& options)
{
    if (const std::optional<TStretchJob> job = BeginDisplayPicture())
        StretchCopy(*source_, *job->target, job->dest, job->source, options);
    return DisplayPicture();
}

TRect TSourceImage::DisplayPictureRect() const
{
    return {layout_.pictureLeft, layout_.pictureTop, layout_.pictureLeft + layout_.displayPicture.width,
            layout_.pictureTop + layout_.displayPicture.height};
}

TPoint TSourceImage::DisplayToWork(TPoint p) const
{
    return {quillon::DisplayToWork(p.x, layout_.work.width, layout_.display.width),
            quillon::DisplayToWork(p.y, layout_.work.height, layout_.display.height)};
}

TPoint TSourceImage::WorkToDisplay(TPoint p) const
{
    return {quillon::WorkToDisplay(p.x, layout_.work.width, layout_.display.width),
            quillon::WorkToDisplay(p.y, layout_.work.height, layout_.display.height)};
}

TRect TSourceImage::FitBounds() const { return quillon::FitBounds(PictureSize(), WorkAreaSize(), node_->fitkind); }

void TSourceImage::PlaceInitialFrame() { SetFrame(FitBounds()); }

namespace {

TRect FrameOf(const TLogoDirObject& node)
{
    // Whatever a directory file holds, the far edges must not overflow.
    auto edge = [](int32_t start, int32_t extent) {
        return static_cast<int32_t>(std::clamp<int64_t>(int64_t{start} + extent, INT32_MIN, INT32_MAX));
    };
    return {node.frameleft, node.frametop, edge(node.frameleft, node.framewidth), edge(node.frametop, node.frameheight)};
}

void SetFrameOf(TLogoDirObject& node, const TRect& frame)
{
    node.frameleft = frame.left;
    node.frametop = frame.top;
    node.framewidth = frame.Width();
    node.frameheight = frame.Height();
}

} // namespace

bool PlaceFrameIfMissing(TLogoDirObject& node, TSize picture)
{
    const TSize work = quillon::WorkAreaSize(picture, {node.logowidth, node.logoheight});
    const TRect frame = FrameOf(node);
    const bool usable = node.HasFrame() && node.framewidth > 0 && node.frameheight > 0 && frame.left >= 0
                        && frame.top >= 0 && frame.right <= work.width && frame.bottom <= work.height;
    if (usable)
        return false;
    SetFrameOf(node, quillon::FitBounds(picture, work, node.fitkind));
    return true;
}

bool TSourceImage::PlaceFrameIfMissing() { return quillon::PlaceFrameIfMissing(*node_, PictureSize()); }

TRect TSourceImage::Frame() const { return FrameOf(*node_); }

void TSourceImage::SetFrame(const TRect& frame) { SetFrameOf(*node_, frame); }

TRect TSourceImage::FrameInPicture() const
{
    const TSize offset = PictureOffset();
    return Offset(Frame(), -offset.width, -offset.height);
}

TRect TSourceImage::DisplayFrame() const { return WorkToDisplayRect(Frame(), layout_.work, layout_.display); }

TRect TSourceImage::HitTestFrame() const
{
    return quillon::HitTestFrame(Frame(), layout_.work, layout_.display, fitToPane_);
}

TSourceImage::TDrag TSourceImage::BeginDrag(TPoint pointer) const
{
    const TRect hit = HitTestFrame();
    return {HitCode(hit, pointer.x, pointer.y), Frame(), pointer};
}

TRect TSourceImage::DragFrame(const TDrag& drag, TPoint pointer)
{
    if (drag.zone == hcOutside)
        return Frame();
    // Every move starts again from the frame at button-down, so rounding never accumulates.
    const TPoint offset = DragOffsetToWork(drag.zone, {pointer.x - drag.startPoint.x, pointer.y - drag.startPoint.y},
                                           layout_.work, layout_.display);
    const TRect frame =
        ApplyDrag(drag.zone, drag.startFrame, offset, FitBounds(), layout_.work, node_->keepproportions);
    SetFrame(frame);
    return frame;
}

bool TSourceImage::IntersectsPicture(const TRect& rect) const { return quillon::IntersectsPicture(rect, PictureSize()); }

bool TSourceImage::FrameCoversPicture() const { return IntersectsPicture(FrameInPicture()); }

void TSourceImage::ClipToPicture(TRect& source, TRect& dest) const
{
    quillon::ClipToPicture(source, dest, PictureSize(), node_->keepproportions);
}

std::optional<TStretchJob> TSourceImage::BeginLogo(TBitmap& target)
{
    if (target.Width() != node_->logowidth || target.Height() != node_->logoheight)
        target.Resize(node_->logowidth, node_->logoheight);
    const TRect whole{0, 0, target.Width(), target.Height()};
    FillRect(target, whole, fill_.fillemptyarea ? RgbFromColorRef(fill_.emptyareacolor) : kWhite);
    TRect source = FrameInPicture();
    if (!IntersectsPicture(source))
        return std::nullopt;
    TRect dest = whole;
    ClipToPicture(source, dest);
    return TStretchJob{&target, dest, source};
}

void TSourceImage::EndLogo(TBitmap& target, const std::optional<TStretchJob>& drawn)
{
    const TRect whole{0, 0, target.Width(), target.Height()};
    if (drawn) {
        const TRect kept = fill_.fillemptyarea ? whole : Intersect(drawn->dest, whole);
        logo_.Resize(std::max(kept.Width(), 0), std::max(kept.Height(), 0));
        for (int32_t y = 0; y < logo_.Height(); ++y)
            std::memcpy(logo_.Row(y), target.Pixel(kept.left, kept.top + y), logo_.Stride());
    }
    // The border belongs to the preview only; LogoPicture was taken without it.
    DrawOutline(target, whole, kPreviewBorderColor);
}

void TSourceImage::RenderLogo(TBitmap& target, const TResampleOptions& options)
{
    const std::optional<TStretchJob> job = BeginLogo(target);
    if (job)
        StretchCopy(*source_, target, job->dest, job->source, options);
    EndLogo(target, job);
}

void TSourceImage::BuildDisplayAndRenderLogo(TBitmap& target, const TResampleOptions& options)
{
    std::vector<TStretchJob> jobs;
    if (const std::optional<TStretchJob> display = BeginDisplayPicture())
        jobs.push_back(*display);
    const std::optional<TStretchJob> logo = BeginLogo(target);
    if (logo)
        jobs.push_back(*logo);
    StretchCopyTogether(*source_, jobs, options);
    EndLogo(target, logo);
}

void TSourceImage::CopyDisplayRect(TBitmap& canvas, TPoint origin, const TRect& rect) const
{
    const TRect inDisplay = Intersect(rect, {0, 0, layout_.display.width, layout_.display.height});
    const TRect area = Intersect(inDisplay, Offset({0, 0, canvas.Width(), canvas.Height()}, origin.x, origin.y));
    if (area.IsEmpty())
        return;
    FillRect(canvas, Offset(area, -origin.x, -origin.y), kWhite);
    const TRect pictureRect = DisplayPictureRect();
    const TRect shown = Intersect(area, pictureRect);
    const TBitmap& picture = DisplayPicture();
    for (int32_t y = shown.top; y < shown.bottom && !shown.IsEmpty(); ++y)
        std::memcpy(canvas.Pixel(shown.left - origin.x, y - origin.y),
                    picture.Pixel(shown.left - pictureRect.left, y - pictureRect.top),
                    static_cast<size_t>(shown.Width()) * 3);
}

void TSourceImage::CopyDisplay(TBitmap& canvas, TPoint origin) const
{
    CopyDisplayRect(canvas, origin, {0, 0, layout_.display.width, layout_.display.height});
}

void TSourceImage::DrawWorkAreaBorder(TBitmap& canvas, TPoint origin) const
{
    DrawOutline(canvas, {-origin.x, -origin.y, layout_.display.width - origin.x, layout_.display.height - origin.y},
                kWorkAreaBorderColor);
}

void TSourceImage::DrawFrame(TBitmap& canvas, TPoint origin) const
{
    DrawFrameAnts(canvas, origin, DisplayFrame(), ants_);
}

void TSourceImage::EraseFrame(TBitmap& canvas, TPoint origin) const
{
    for (const TRect& strip : FrameEraseStrips(DisplayFrame()))
        CopyDisplayRect(canvas, origin, strip);
    DrawWorkAreaBorder(canvas, origin);
}

void TSourceImage::DrawSourceView(TBitmap& canvas, TPoint origin) const
{
    CopyDisplay(canvas, origin);
    DrawWorkAreaBorder(canvas, origin);
    DrawFrame(canvas, origin);
}

} // namespace quillon
