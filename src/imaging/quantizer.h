#pragma once

#include "imaging/bitmap.h"
#include "imaging/palettesearch.h"
#include "imaging/pictureformat.h"

#include <array>
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
TIndexedPicture QuantizeOctree(const TBitmap& picture, int maxColors, TDither dither);

} // namespace quillon
