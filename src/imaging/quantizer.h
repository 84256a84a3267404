#pragma once

#include "imaging/bitmap.h"
#include "imaging/palettesearch.h"
#include "imaging/pictureformat.h"

#include <array>
#include <cstdint>
#include <functional>
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
// few enough leaves remain; each leaf's mean colour is a palette entry. Lloyd steps then
// move every entry to the mean of the colours nearest to it (one for 256 colours, up to 16
// for a small palette, the first ones on coarser cells). With Floyd-Steinberg the
// quantisation error of each pixel is spread to its neighbours (serpentine order). The
// rows are dithered in bands, each starting without the error of the row above it: two,
// or from 2^17 pixels on four, two on each of two threads.
// Every vector level gives the same indexes.
TIndexedPicture QuantizeOctree(const TBitmap& picture, int maxColors, TDither dither,
                               TSimdLevel level = BestSimdLevel());

// The two steps of QuantizeOctree, for a caller that uses each stretch of rows on the
// thread that mapped it. OctreePalette chooses the palette and allocates the indexes.
TIndexedPicture OctreePalette(const TBitmap& picture, int maxColors, TSimdLevel level = BestSimdLevel());

// Told on the thread that mapped them that stretch 0 or 1, rows [top, bottom), is final.
using TStretchDone = std::function<void(int stretch, int top, int bottom)>;

// Maps the picture onto indexed.palette into indexed.indexes, in one stretch of rows, or
// in two on two threads for a large picture.
void MapToPalette(const TBitmap& picture, TIndexedPicture& indexed, TDither dither,
                  const TStretchDone& stretchDone = {}, TSimdLevel level = BestSimdLevel());

} // namespace quillon
