#pragma once

#include "imaging/bitmap.h"

#include <string>

namespace quillon {

// A rectangle of the screen in screen pixels, Right and Bottom exclusive. Left -1 means
// that no rectangle was chosen.
struct TGrabRect {
    int Left = -1;
    int Top = -1;
    int Right = -1;
    int Bottom = -1;

    bool Chosen() const { return Left != -1; }
    bool operator==(const TGrabRect&) const = default;
};

// The rectangle the user drags over the frozen screen picture, with the rubber band
// drawn into that picture. The grab window forwards its mouse and key events here.
class TGrabSelection {
public:
    // The band is drawn into screen, which must outlive this object.
    explicit TGrabSelection(TBitmap& screen) : screen_(screen) {}

    // A fresh start each time the grab window is shown.
    void Reset();
    void MouseDown(int x, int y);
    void MouseMove(int x, int y);
    // Ends the drag: the band is erased and the rectangle's sides put in order.
    void MouseUp();
    // Nothing chosen.
    void Escape();

    const TGrabRect& GrabRect() const { return rect_; }
    bool Dragging() const { return dragging_; }

private:
    TBitmap& screen_;
    TGrabRect rect_;
    bool dragging_ = false;
};

// Draws the outline of rect (its sides in any order) in XOR with white dots into
// picture, clipped to it. Drawing the same rectangle twice leaves picture as it was.
void DrawRubberBand(TBitmap& picture, const TGrabRect& rect);

// The warning that refuses a chosen rectangle (too narrow, else too low), or empty
// when it may be grabbed.
std::string GrabRectProblem(const TGrabRect& rect);

// The part of screen inside rect (sides in order, inside the picture), unscaled.
TBitmap CopyGrabRect(const TBitmap& screen, const TGrabRect& rect);

// What the desktop portal's screenshot call came to, when it was made.
enum class TPortalOutcome {
    NoPortal,  // no portal on the session bus, or one without the screenshot interface
    Refused,   // the user said no in the portal
    Failed,    // the portal failed, answered with no readable picture, or not in time
    Taken,
};

// Where the grab takes the screen from once the portal has answered: its picture, the X
// server's screen (a program under XWayland without a portal sees the X programs there),
// or nowhere, with problem saying why when the user should be told (nothing for a
// refusal, which the user made in the portal).
struct TScreenSource {
    enum TKind { PortalPicture, XScreen, Nothing };
    TKind kind = Nothing;
    std::string problem;
    bool operator==(const TScreenSource&) const = default;
};
TScreenSource ChooseScreenSource(TPortalOutcome outcome, bool nativeWayland);

} // namespace quillon
