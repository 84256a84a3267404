#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon {

using TRGB = std::array<uint8_t, 3>;

// Finds the palette entry nearest to a colour by squared distance, exactly. Colour space is
// cut into boxes at three sizes (32, 16 and 8 steps per channel); the first query in a box
// keeps only the entries that can be nearest to some point of it, filtered from the list
// of the enclosing box, so a query compares a handful of entries and building the lists
// stays cheap. A palette of at most 64 entries uses the first two sizes only. Meant for many queries on one palette of 1 to 256 entries.
class TPaletteSearch {
public:
    explicit TPaletteSearch(const std::vector<TRGB>& palette);

    int Nearest(int r, int g, int b)
    {
        const TList& list = lists_[levels_ - 1][Box(levels_ - 1, r, g, b)];
        const TEntry* candidates = list.begin != kUnbuilt ? pool_.data() + list.begin : BuildFor(r, g, b);
        // Distance and index in one key: the minimum needs no unpredictable branch.
        int best = INT32_MAX;
        for (const TEntry* e = candidates, *end = candidates + list.size; e != end; ++e) {
            int dr = r - e->r, dg = g - e->g, db = b - e->b;
            int key = (dr * dr + dg * dg + db * db) << 8 | e->index;
            best = key < best ? key : best;
        }
        return best & 0xFF;
    }

private:
    static constexpr int kLevels = 3;
    // A small palette leaves a handful of entries in each 16-step box already; a third
    // level would cost more to build than it saves.
    static constexpr size_t kFewEntries = 64;
    static constexpr uint32_t kUnbuilt = UINT32_MAX;

    // The colour beside the index: a query reads one small record per candidate.
    struct TEntry {
        uint8_t r, g, b, index;
    };
    struct TList {
        uint32_t begin = kUnbuilt;
        uint32_t size = 0;
    };

    // Boxes of 32 >> level steps: 2^(3 + level) per channel.
    static size_t Box(int level, int r, int g, int b)
    {
        int shift = 5 - level, bits = 3 + level;
        return static_cast<size_t>((r >> shift) << (2 * bits) | (g >> shift) << bits | (b >> shift));
    }

    const TEntry* BuildFor(int r, int g, int b);
    void Build(TList& list, const TEntry* from, uint32_t count, int level, int r, int g, int b);

    int levels_ = kLevels;
    std::vector<TEntry> all_;
    std::vector<TEntry> pool_; // every built list, one after another
    std::vector<TList> lists_[kLevels];
};

} // namespace quillon
