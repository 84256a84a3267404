#include "imaging/palettesearch.h"

#include "common/error.h"

#include <algorithm>

namespace quillon {

namespace {

int Square(int v) { return v * v; }

// How far a channel value d steps from the box's low edge lies outside [0, extent].
int Outside(int d, int extent) { return std::max(-d, 0) + std::max(d - extent, 0); }

// How far the box's farther edge is from it.
int Farthest(int d, int extent) { return std::max(d, extent - d); }

} // namespace

TPaletteSearch::TPaletteSearch(const std::vector<TRGB>& palette)
{
    if (palette.empty() || palette.size() > 256)
        throw QuillonError("A palette must have 1 to 256 colours");
    for (size_t i = 0; i < palette.size(); ++i) {
        all_.push_back({palette[i][0], palette[i][1], palette[i][2], static_cast<uint8_t>(i)});
    }
    levels_ = palette.size() <= kFewEntries ? kLevels - 1 : kLevels;
    for (int level = 0; level < levels_; ++level)
        lists_[level].resize(size_t{1} << (3 * (3 + level)));
    pool_.reserve(1 << 16);
}

const TPaletteSearch::TEntry* TPaletteSearch::BuildFor(int r, int g, int b)
{
    const TEntry* from = all_.data();
    uint32_t count = static_cast<uint32_t>(all_.size());
    for (int level = 0; level < levels_; ++level) {
        TList& list = lists_[level][Box(level, r, g, b)];
        if (list.begin == kUnbuilt)
            Build(list, from, count, level, r, g, b);
        from = pool_.data() + list.begin;
        count = list.size;
    }
    return from;
}

// Keeps the entries whose closest distance to the box is within the smallest farthest
// distance of any entry: no point of the box can have another entry as its nearest.
void TPaletteSearch::Build(TList& list, const TEntry* from, uint32_t count, int level, int r, int g, int b)
{
    int extent = (32 >> level) - 1, mask = ~extent;
    const int r0 = r & mask, g0 = g & mask, b0 = b & mask;
    int minDistance[256];
    int bound = INT32_MAX;
    for (uint32_t n = 0; n < count; ++n) {
        int dr = from[n].r - r0, dg = from[n].g - g0, db = from[n].b - b0;
        int minD = Square(Outside(dr, extent)) + Square(Outside(dg, extent)) + Square(Outside(db, extent));
        int maxD = Square(Farthest(dr, extent)) + Square(Farthest(dg, extent)) + Square(Farthest(db, extent));
        minDistance[n] = minD;
        bound = std::min(bound, maxD);
    }
    // Kept aside first: from may point into the pool, which the append can move.
    TEntry kept[256];
    uint32_t size = 0;
    for (uint32_t n = 0; n < count; ++n) {
        kept[size] = from[n];
        size += minDistance[n] <= bound;
    }
    list.begin = static_cast<uint32_t>(pool_.size());
    list.size = size;
    pool_.insert(pool_.end(), kept, kept + size);
}

} // namespace quillon
