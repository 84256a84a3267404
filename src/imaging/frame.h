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

// The pointer shape over each zone.
enum class TFrameCursor { Arrow, Move, SizeNorthWestSouthEast, SizeNorthEastSouthWest, SizeWestEast, SizeNorthSouth };

TFrameCursor CursorForHitCode(THitCode code);

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

// One dash: a horizontal or vertical run of pixels, both ends included.
struct TDash {
    TPoint from;
    TPoint to;
    bool white = false;
    bool operator==(const TDash&) const = default;
};

// The dashes of the animated frame (display rectangle), in drawing order: the chain along
// the top row then down the right column, and the chain down the left column then along the
// bottom row. Along a chain the corner pixel is counted on both of its edges.
std::vector<TDash> FrameDashes(const TRect& displayFrame, const TAnts& ants);

// Draws dashes onto a canvas whose top-left pixel is display point `origin`; pixels outside
// the canvas are skipped.
void DrawDashes(TBitmap& canvas, TPoint origin, const std::vector<TDash>& dashes);

// What removing the frame repaints: the four one-pixel strips under it (restored from the
// display picture), and the blue border of the whole display drawn again over them.
struct TFrameEraseAreas {
    std::array<TRect, 4> strips;
    TRect displayBorder;
};

TFrameEraseAreas FrameEraseAreas(const TRect& displayFrame, TSize display);

} // namespace quillon
