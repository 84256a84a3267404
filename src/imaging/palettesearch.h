#pragma once

#include "imaging/simdlevel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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
        const TList& list = ListFor(r, g, b);
        const TBlock* blocks = pool_.data() + list.begin;
#if defined(__x86_64__)
        if (vector_)
            return ScanAvx2(blocks, (list.size + kBlock - 1) / kBlock, r, g, b);
#endif
        return NearestScalar(blocks, list.size, r, g, b);
    }

#if defined(__x86_64__)
    // Nearest for a caller compiled for AVX2 itself, which takes the whole search in line:
    // calling it out of line makes the caller set its vector registers aside for every
    // pixel. Only on a search made for AVX2.
    __attribute__((target("avx2"))) int NearestInAvx2(int r, int g, int b)
    {
        const TList& list = ListFor(r, g, b);
        return ScanAvx2(pool_.data() + list.begin, (list.size + kBlock - 1) / kBlock, r, g, b);
    }
#endif

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

    const TList& ListFor(int r, int g, int b)
    {
        if (whole_.size <= kBruteForce)
            return whole_;
        const TList& list = lists_[kLevels - 1][Box(kLevels - 1, r, g, b)];
        return list.begin != kUnbuilt ? list : BuildFor(r, g, b);
    }

    static int NearestScalar(const TBlock* blocks, uint32_t size, int r, int g, int b);
#if defined(__x86_64__)
    __attribute__((target("avx2"))) static __m256i LoadAvx2(const void* p)
    {
        return _mm256_load_si256(static_cast<const __m256i*>(p));
    }

    // (red, green) and (blue, 0) differences in 16-bit lanes, multiplied and added: each
    // entry's squared distance in a 32-bit lane.
    __attribute__((target("avx2"))) static __m256i SquaredSumAvx2(__m256i rg, __m256i b0)
    {
        return _mm256_add_epi32(_mm256_madd_epi16(rg, rg), _mm256_madd_epi16(b0, b0));
    }

    // The least of the eight 32-bit lanes, in every lane of the result.
    __attribute__((target("avx2"))) static __m128i LeastLaneAvx2(__m256i v)
    {
        __m128i m = _mm_min_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        m = _mm_min_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
        return _mm_min_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
    }

    // With the index in the low byte of each distance, the least is the nearest entry and
    // the lowest index among equally near ones.
    __attribute__((target("avx2"))) static int ScanAvx2(const TBlock* blocks, uint32_t count, int r, int g, int b)
    {
        const __m256i rg = _mm256_set1_epi32(r | g << 16);
        const __m256i b0 = _mm256_set1_epi32(b);
        __m256i best = _mm256_set1_epi32(INT32_MAX);
        for (const TBlock *block = blocks, *end = blocks + count; block != end; ++block) {
            const __m256i distance = SquaredSumAvx2(_mm256_sub_epi16(LoadAvx2(block->rg), rg),
                                                    _mm256_sub_epi16(LoadAvx2(block->b0), b0));
            best = _mm256_min_epi32(best, _mm256_or_si256(_mm256_slli_epi32(distance, 8), LoadAvx2(block->index)));
        }
        return _mm_cvtsi128_si32(LeastLaneAvx2(best)) & 0xFF;
    }
#endif
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
