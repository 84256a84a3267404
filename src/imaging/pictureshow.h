#pragma once

#include "imaging/bitmap.h"
#include "imaging/geometry.h"
#include "imaging/sourceimage.h"

#include <atomic>
#include <memory>
#include <string>

namespace quillon {

class TLogoDirObject;
class TPictureCache;

struct TShowSettings {
    TSize pane;
    bool fitToPane = false;
    TFillOptions fill;
};

// Shows the picture of a logo: decodes the file (or takes it from `cache`, which then keeps
// it), builds the display picture, places a frame where the node has none that fits, and
// renders the logo into `logo`. The display picture and the logo are resampled on other
// threads while the decoder is still delivering rows, so the whole show costs little more
// than the decode. Every byte is the same as building them one after another.
// Throws what the decoder throws; the node's frame may then have been placed already.
// Setting `cancel` (from any thread) ends a decode under way with an error.
std::unique_ptr<TSourceImage> ShowPicture(const std::string& path, TLogoDirObject& node, const TShowSettings& settings,
                                          TBitmap& logo, TPictureCache* cache = nullptr,
                                          const std::atomic<bool>* cancel = nullptr);

} // namespace quillon
