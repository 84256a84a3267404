#pragma once

#include "imaging/bitmap.h"
#include "imaging/palettesearch.h"
#include "imaging/pictureformat.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace quillon {

// A picture as palette indexes, one byte per pixel, rows top first without padding.
struct TIndexedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> indexes;
    std::vector<TRGB> palette; // at most the requested number of colours
};

// Reduces the picture to an optimal palette of at most maxColors (2..256) colours with an
// octree: every colour is counted in a tree of 6 levels (64 steps per channel), then the
// subtrees whose merge adds the least squared error are folded into their parents until
// few enough leaves remain; each leaf's mean colour is a palette entry. One Lloyd step then
// moves every entry to the mean of the colours nearest to it. With Floyd-Steinberg the
// quantisation error of each pixel is spread to its neighbours (serpentine order); from
// 2^17 pixels on, the upper and lower halves of the rows are dithered apart (on two
// threads), the lower half starting without the error of the row above it.
// Every vector level gives the same indexes.
TIndexedPicture QuantizeOctree(const TBitmap& picture, int maxColors, TDither dither,
                               TSimdLevel level = BestSimdLevel());

// The two steps of QuantizeOctree, for a caller that uses the rows while the rest are
// still being mapped. OctreePalette chooses the palette and allocates the indexes.
TIndexedPicture OctreePalette(const TBitmap& picture, int maxColors, TSimdLevel level = BestSimdLevel());

// Tells a reader on another thread which rows of indexes are final. The rows are mapped
// in up to two bands; a band's rows become final from its top down.
class TRowsReady {
public:
    // Blocks until rows [0, rows) are final; false when mapping failed before that.
    bool WaitFor(int rows);

    // For the mapper.
    void Start(int bandSplit) { bandSplit_ = bandSplit; }
    void RowsDone(int band, int rows);
    void Fail();

private:
    int bandSplit_ = 0;
    std::atomic<int> bandRows_[2] = {0, 0};
    std::atomic<int> ready_{0}; // -1 once mapping failed
};

// Maps the picture onto indexed.palette into indexed.indexes, telling ready (if given) as
// rows become final.
void MapToPalette(const TBitmap& picture, TIndexedPicture& indexed, TDither dither, TRowsReady* ready = nullptr,
                  TSimdLevel level = BestSimdLevel());

} // namespace quillon
