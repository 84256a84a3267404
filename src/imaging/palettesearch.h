#pragma once

#include "imaging/simdlevel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon {

using TRGB = std::array<uint8_t, 3>;

// Finds the palette entry nearest to a colour by squared distance, exactly; among equally
// near entries the one with the lowest index, so every level and every way of building the
// lists answers alike. Colour space is cut into boxes at two sizes (32 and 16 steps per
// channel); the first query in a box keeps only the entries that can be nearest to some
// point of it, filtered from the list of the enclosing box, so a query compares a few
// blocks of eight entries and building the lists stays cheap. Meant for many queries on
// one palette of 1 to 256 entries.
class TPaletteSearch {
public:
    // Levels below AVX2 search with scalar code.
    explicit TPaletteSearch(const std::vector<TRGB>& palette, TSimdLevel level = BestSimdLevel());

    int Nearest(int r, int g, int b)
    {
        const TList* list = &whole_;
        if (list->size > kBruteForce) {
            list = &lists_[kLevels - 1][Box(kLevels - 1, r, g, b)];
            if (list->begin == kUnbuilt)
                list = &BuildFor(r, g, b);
        }
        const TBlock* blocks = pool_.data() + list->begin;
#if defined(__x86_64__)
        if (vector_)
            return NearestAvx2(blocks, (list->size + kBlock - 1) / kBlock, r, g, b);
#endif
        return NearestScalar(blocks, list->size, r, g, b);
    }

private:
    // A third size of 8-step boxes means eight times the lists to build, for lists that
    // the vector compare walks through barely faster.
    static constexpr int kLevels = 2;
    static constexpr uint32_t kUnbuilt = UINT32_MAX;
    static constexpr uint32_t kBlock = 8;
    // Up to two blocks are compared whole: finding a box's list would cost more.
    static constexpr uint32_t kBruteForce = 2 * kBlock;

    // Eight candidates laid out for 16-bit multiply-adds: (red, green) and (blue, 0) pairs
    // give each entry's squared distance in one 32-bit lane. A list's last block is filled
    // up with its first entry, which changes no minimum.
    struct alignas(32) TBlock {
        int16_t rg[2 * kBlock];
        int16_t b0[2 * kBlock];
        int32_t index[kBlock];
    };
    struct TList {
        uint32_t begin = kUnbuilt; // in blocks
        uint32_t size = 0;         // in entries
    };

    // Boxes of 32 >> level steps: 2^(3 + level) per channel.
    static size_t Box(int level, int r, int g, int b)
    {
        int shift = 5 - level, bits = 3 + level;
        return static_cast<size_t>((r >> shift) << (2 * bits) | (g >> shift) << bits | (b >> shift));
    }

    static int NearestScalar(const TBlock* blocks, uint32_t size, int r, int g, int b);
    static int NearestAvx2(const TBlock* blocks, uint32_t count, int r, int g, int b);
    // The entries of a list being built, in the lanes of a block: (red | green << 16),
    // blue and index, with room for a vector store past the last one.
    struct TKept {
        int32_t rg[256 + kBlock];
        int32_t b0[256 + kBlock];
        int32_t index[256 + kBlock];
    };
    // Copies into `kept` the first `size` entries of `blocks` that can be nearest to a point
    // of the box from (r0, g0, b0) with the given extent; returns how many.
    static uint32_t KeepScalar(const TBlock* blocks, uint32_t size, int r0, int g0, int b0, int extent, TKept& kept);
    static uint32_t KeepAvx2(const TBlock* blocks, uint32_t size, int r0, int g0, int b0, int extent, TKept& kept);

    const TList& BuildFor(int r, int g, int b);
    void Build(TList& list, TList from, int level, int r, int g, int b);
    void Append(TList& list, const TKept& kept, uint32_t size);

    bool vector_ = false;
    std::vector<TBlock> pool_; // every list, one after another
    TList whole_;              // the palette itself, first in the pool
    std::vector<TList> lists_[kLevels];
};

} // namespace quillon
