#pragma once

#include "imaging/geometry.h"

#include <array>
#include <vector>

namespace quillon {

class TBitmap;

// Where the pointer is relative to the selection frame; the values are the drag kinds.
enum THitCode : int {
    hcOutside = 0,
    hcInside = 1,
    hcTopLeft = 2,
    hcTopRight = 3,
    hcBottomLeft = 4,
    hcBottomRight = 5,
    hcLeft = 6,
    hcTop = 7,
    hcRight = 8,
    hcBottom = 9,
};

inline constexpr int32_t kEdgeTolerance = 2;
inline constexpr int32_t kCornerSize = 8;
inline constexpr int32_t kMinFrameSize = 16;

// The frame used for hit tests: with fit-to-pane on, all four coordinates are scaled by
// display width / work width (one factor, so the zones stay put when the axes round apart).
TRect HitTestFrame(const TRect& workFrame, TSize work, TSize display, bool fitToPane);

// Hit code of a display point against a display frame.
THitCode HitCode(const TRect& displayFrame, int32_t x, int32_t y);

struct TPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const TPoint&) const = default;
};

// Pointer offset since button-down, display pixels -> work-area pixels, with the
// factor each drag kind uses.
TPoint DragOffsetToWork(THitCode zone, TPoint offset, TSize work, TSize display);

// The frame after dragging `zone` of `start` by `offset` (work-area pixels), kept inside
// `bounds` and at least kMinFrameSize in each direction. Zone hcOutside returns `start`.
TRect ApplyDrag(THitCode zone, const TRect& start, TPoint offset, const TRect& bounds, TSize work,
                bool keepproportions);

// Marching-ants state: the first dash is `phase` pixels (1..4) long and white or black.
struct TAnts {
    int32_t phase = 1;
    bool white = false;

    // Moves the pattern one pixel away from the top-left corner; repeats every 8 steps.
    void Advance();
    bool operator==(const TAnts&) const = default;
};

// Draws the animated frame (display rectangle) onto a canvas whose top-left pixel is
// display point `origin`. Two chains of dashes start at the top-left pixel: along the top
// row then down the right column, and down the left column then along the bottom row;
// along a chain the corner pixel is counted on both of its edges, and where the chains
// meet the later one is on top. Only pixels inside the canvas are visited, so the cost
// follows the part on screen, not the size of the frame.
void DrawFrameAnts(TBitmap& canvas, TPoint origin, const TRect& displayFrame, const TAnts& ants);

// What removing the frame repaints: the four one-pixel strips under it, restored from the
// display picture (the blue border of the whole display is drawn again over them).
std::array<TRect, 4> FrameEraseStrips(const TRect& displayFrame);

} // namespace quillon
