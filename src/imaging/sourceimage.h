#pragma once

#include "imaging/bitmap.h"
#include "imaging/frame.h"
#include "imaging/geometry.h"
#include "imaging/resampler.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace quillon {

class TLogoDirObject;

// How the part of the logo the picture does not cover is filled (from the options).
struct TFillOptions {
    bool fillemptyarea = false;
    uint32_t emptyareacolor = 0x00FFFFFF; // 0x00BBGGRR
};

// The decoded picture of the selected logo with its work area, display and frame geometry,
// and the rendered logo. The frame lives in the node record and is read and written there.
//
// The display is the work area (scaled down to the pane or 1:1), which is the picture plus
// white bands. Only the picture part is kept as pixels (`DisplayPicture`, placed at
// `DisplayPictureRect`); in the 1:1 case that is the source picture itself, so a tall work
// area of a small logo never costs memory.
class TSourceImage {
public:
    TSourceImage(TBitmap picture, TLogoDirObject& node, TSize pane, bool fitToPane, TFillOptions fill = {});
    // Shares a decoded picture that is kept elsewhere too (the picture of the selected logo
    // outlives the object that shows it), so showing it again copies nothing.
    TSourceImage(std::shared_ptr<const TBitmap> picture, TLogoDirObject& node, TSize pane, bool fitToPane,
                 TFillOptions fill = {});

    const TBitmap& SourcePicture() const { return *source_; }
    const std::shared_ptr<const TBitmap>& SharedSourcePicture() const { return source_; }
    TSize PictureSize() const { return {source_->Width(), source_->Height()}; }
    TSize WorkAreaSize() const;
    TSize PictureOffset() const;

    // Computes the work area and the display and resamples the picture for it when scaled.
    const TBitmap& BuildDisplayPicture(const TResampleOptions& options = {});
    const TDisplayLayout& Display() const { return layout_; }
    const TBitmap& DisplayPicture() const { return layout_.scaled ? display_ : *source_; }
    TRect DisplayPictureRect() const;

    // Display <-> work-area coordinates, truncating.
    TPoint DisplayToWork(TPoint p) const;
    TPoint WorkToDisplay(TPoint p) const;

    TRect FitBounds() const;
    void PlaceInitialFrame();
    // Places the initial frame when the node has none, or when the stored one cannot be
    // right (not inside the work area, or without size: a damaged directory file).
    // Returns true when it placed one.
    bool PlaceFrameIfMissing();
    // The record the frame is read from and written to from now on: a picture shown from
    // another thread was made against a copy of the node's record.
    void Rebind(TLogoDirObject& node) { node_ = &node; }
    TRect Frame() const;                 // work-area coordinates
    void SetFrame(const TRect& frame);
    TRect FrameInPicture() const;
    TRect DisplayFrame() const;          // as drawn: each axis with its own factor
    TRect HitTestFrame() const;          // as hit-tested: one factor for both axes

    // A drag: what the button went down on, and the frame and pointer at that moment.
    struct TDrag {
        THitCode zone = hcOutside;
        TRect startFrame;
        TPoint startPoint;
    };
    TDrag BeginDrag(TPoint pointer) const;
    // Applies the pointer position (display coordinates) to the frame, kept within FitBounds;
    // the frame is written into the node record. Returns the new frame.
    TRect DragFrame(const TDrag& drag, TPoint pointer);

    bool IntersectsPicture(const TRect& rect) const;
    bool FrameCoversPicture() const;
    void ClipToPicture(TRect& source, TRect& dest) const;

    // Renders the logo into `target` (resized to the logo size) with the preview's grey
    // border; refreshes LogoPicture when the frame covers part of the picture.
    void RenderLogo(TBitmap& target, const TResampleOptions& options = {});
    const TBitmap& LogoPicture() const { return logo_; }

    // BuildDisplayPicture and RenderLogo in one sweep down the picture, which a picture
    // kept in memory then leaves once instead of twice.
    void BuildDisplayAndRenderLogo(TBitmap& target, const TResampleOptions& options = {});

    // Source view drawing onto a canvas whose top-left pixel is display point `origin`.
    void CopyDisplay(TBitmap& canvas, TPoint origin) const;
    void DrawWorkAreaBorder(TBitmap& canvas, TPoint origin) const;
    void DrawFrame(TBitmap& canvas, TPoint origin) const;
    void EraseFrame(TBitmap& canvas, TPoint origin) const;
    void DrawSourceView(TBitmap& canvas, TPoint origin) const;

    const TAnts& Ants() const { return ants_; }
    void AdvanceAnts() { ants_.Advance(); }

private:
    void CopyDisplayRect(TBitmap& canvas, TPoint origin, const TRect& rect) const;
    // The halves of the display and the logo around their resampling: each returns the
    // StretchCopy to make, if any, and the logo's end takes LogoPicture and draws the border.
    std::optional<TStretchJob> BeginDisplayPicture();
    std::optional<TStretchJob> BeginLogo(TBitmap& target);
    void EndLogo(TBitmap& target, const std::optional<TStretchJob>& drawn);

    std::shared_ptr<const TBitmap> source_;
    TLogoDirObject* node_;
    TSize pane_;
    bool fitToPane_;
    TFillOptions fill_;
    TDisplayLayout layout_;
    TBitmap display_;
    TBitmap logo_;
    TAnts ants_;
};

// PlaceFrameIfMissing for a picture of `picture` size that is not decoded yet.
bool PlaceFrameIfMissing(TLogoDirObject& node, TSize picture);

// Fills a rectangle of a bitmap (clipped to it) with one colour.
void FillRect(TBitmap& bitmap, const TRect& rect, TRgb color);

// Draws a one-pixel outline along the inside of `rect`, clipped to the bitmap.
void DrawOutline(TBitmap& bitmap, const TRect& rect, TRgb color);

} // namespace quillon
