#pragma once

#include "imaging/bitmap.h"
#include "imaging/frame.h"
#include "imaging/geometry.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillon {

class TDecodeListener;

// A large JPEG's first look: while the whole picture is decoded for the logo, the view
// shows what it needs of it from a decode at reduced scale, which costs a fraction of the
// full one. Below this many pixels the full decode is quick enough on its own.
inline constexpr int64_t kQuickPictureMinPixels = 2'000'000;

// The picture's size as the program shows it (EXIF orientation applied), from the header
// alone; none when the header cannot be read.
std::optional<TSize> UprightJPEGSize(std::string_view file);

// The largest of 8, 4 and 2 whose reduced picture still has at least `need` pixels on
// each axis; 1 when even half the size would show fewer pixels than the view has.
int QuickScaleDenominator(TSize full, TSize need);

// Rectangles of a picture as stored and as shown upright under an EXIF orientation (1..8;
// anything else is 1). Each undoes the other.
TRect UprightRect(const TRect& stored, TSize storedSize, int orientation);
TRect StoredRect(const TRect& upright, TSize uprightSize, int orientation);

// A part of the picture at reduced scale, upright.
struct TQuickPicture {
    TSize full;      // the whole picture, upright, in its own pixels
    TRect covered;   // the part `picture` shows, in those pixels
    TBitmap picture; // that part at reduced scale
};

// The part of the upright picture that lies on screen when the display of `layout` is
// seen from its top-left corner through `visible` display pixels (the scroll box's size).
TRect VisiblePicturePart(const TDisplayLayout& layout, TSize full, TSize visible);

// Decodes `part` of the upright picture (rounded out to whole blocks, and down from the
// top of the file as stored) at the scale that gives `layout`'s display picture a pixel
// for each of its own. Throws what the decoder throws, or QuillonError when cancelled.
TQuickPicture DecodeQuickPicture(std::string_view file, const TDisplayLayout& layout, const TRect& part,
                                 const TDecodeListener* cancel = nullptr);

// The source view until the full picture is in: laid out exactly as it will be (the same
// display, picture place and frame), with the quick picture stretched over its place and
// white wherever the quick picture does not reach.
class TQuickView {
public:
    TQuickView(TQuickPicture quick, const TDisplayLayout& layout, const TRect& workFrame);

    const TDisplayLayout& Display() const { return layout_; }
    const TQuickPicture& Quick() const { return quick_; }
    // Draws onto a canvas whose top-left pixel is display point `origin`.
    void DrawSourceView(TBitmap& canvas, TPoint origin) const;

private:
    TQuickPicture quick_;
    TDisplayLayout layout_;
    TRect displayFrame_;
};

} // namespace quillon
