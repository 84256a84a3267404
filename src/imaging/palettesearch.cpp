#include "imaging/palettesearch.h"

#include "common/error.h"

#include <algorithm>
#include <cstring>

namespace quillon {

namespace {

int Square(int v) { return v * v; }

// How far a channel value d steps from the box's low edge lies outside [0, extent].
int Outside(int d, int extent) { return std::max(-d, 0) + std::max(d - extent, 0); }

// How far the box's farther edge is from it.
int Farthest(int d, int extent) { return std::max(d, extent - d); }

} // namespace

TPaletteSearch::TPaletteSearch(const std::vector<TRGB>& palette, TSimdLevel level)
{
    if (palette.empty() || palette.size() > 256)
        throw QuillonError("A palette must have 1 to 256 colours");
#if defined(__x86_64__)
    vector_ = level == TSimdLevel::Avx2 && BestSimdLevel() == TSimdLevel::Avx2;
#else
    (void)level;
#endif
    for (int l = 0; l < kLevels; ++l)
        lists_[l].resize(size_t{1} << (3 * (3 + l)));
    pool_.reserve(1 << 13);
    const uint32_t size = static_cast<uint32_t>(palette.size());
    whole_ = {0, size};
    for (uint32_t n = 0; n < size; n += kBlock) {
        TBlock& block = pool_.emplace_back();
        for (uint32_t lane = 0; lane < kBlock; ++lane) {
            const uint32_t i = n + lane < size ? n + lane : 0;
            block.rg[2 * lane] = palette[i][0];
            block.rg[2 * lane + 1] = palette[i][1];
            block.b0[2 * lane] = palette[i][2];
            block.b0[2 * lane + 1] = 0;
            block.index[lane] = static_cast<int32_t>(i);
        }
    }
}

int TPaletteSearch::NearestScalar(const TBlock* blocks, uint32_t size, int r, int g, int b)
{
    // Distance and index in one key: the minimum needs no unpredictable branch.
    int best = INT32_MAX;
    for (uint32_t n = 0; n < size; ++n) {
        const TBlock& block = blocks[n / kBlock];
        const uint32_t lane = n % kBlock;
        const int dr = r - block.rg[2 * lane], dg = g - block.rg[2 * lane + 1], db = b - block.b0[2 * lane];
        const int key = (dr * dr + dg * dg + db * db) << 8 | block.index[lane];
        best = key < best ? key : best;
    }
    return best & 0xFF;
}

const TPaletteSearch::TList& TPaletteSearch::BuildFor(int r, int g, int b)
{
    TList from = whole_;
    TList* list = nullptr;
    for (int level = 0; level < kLevels; ++level) {
        list = &lists_[level][Box(level, r, g, b)];
        if (list->begin == kUnbuilt)
            Build(*list, from, level, r, g, b);
        from = *list;
    }
    return *list;
}

// Keeps the entries whose closest distance to the box is within the smallest farthest
// distance of any entry: no point of the box can have another entry as its nearest.
uint32_t TPaletteSearch::KeepScalar(const TBlock* blocks, uint32_t size, int r0, int g0, int b0, int extent,
                                    TKept& kept)
{
    int32_t least[256];
    int32_t bound = INT32_MAX;
    for (uint32_t n = 0; n < size; ++n) {
        const TBlock& block = blocks[n / kBlock];
        const uint32_t lane = n % kBlock;
        const int dr = block.rg[2 * lane] - r0, dg = block.rg[2 * lane + 1] - g0, db = block.b0[2 * lane] - b0;
        least[n] = Square(Outside(dr, extent)) + Square(Outside(dg, extent)) + Square(Outside(db, extent));
        bound =
            std::min(bound, Square(Farthest(dr, extent)) + Square(Farthest(dg, extent)) + Square(Farthest(db, extent)));
    }
    uint32_t count = 0;
    for (uint32_t n = 0; n < size; ++n) {
        const TBlock& block = blocks[n / kBlock];
        const uint32_t lane = n % kBlock;
        std::memcpy(&kept.rg[count], &block.rg[2 * lane], sizeof(int32_t));
        std::memcpy(&kept.b0[count], &block.b0[2 * lane], sizeof(int32_t));
        kept.index[count] = block.index[lane];
        count += least[n] <= bound;
    }
    return count;
}

void TPaletteSearch::Build(TList& list, TList from, int level, int r, int g, int b)
{
    const int extent = (32 >> level) - 1, mask = ~extent;
    // Kept aside first: the blocks lie in the pool, which the append can move.
    TKept kept;
    const TBlock* blocks = pool_.data() + from.begin;
#if defined(__x86_64__)
    if (vector_) {
        Append(list, kept, KeepAvx2(blocks, from.size, r & mask, g & mask, b & mask, extent, kept));
        return;
    }
#endif
    Append(list, kept, KeepScalar(blocks, from.size, r & mask, g & mask, b & mask, extent, kept));
}

void TPaletteSearch::Append(TList& list, const TKept& kept, uint32_t size)
{
    list.begin = static_cast<uint32_t>(pool_.size());
    list.size = size;
    for (uint32_t n = 0; n < size; n += kBlock) {
        TBlock& block = pool_.emplace_back();
        for (uint32_t lane = 0; lane < kBlock; ++lane) {
            const uint32_t from = n + lane < size ? n + lane : 0;
            std::memcpy(&block.rg[2 * lane], &kept.rg[from], sizeof(int32_t));
            std::memcpy(&block.b0[2 * lane], &kept.b0[from], sizeof(int32_t));
            block.index[lane] = kept.index[from];
        }
    }
}

} // namespace quillon
