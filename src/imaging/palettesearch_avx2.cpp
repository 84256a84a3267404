// Chosen at run time on processors that have AVX2; only these functions are compiled for it.
#include "imaging/palettesearch.h"

#if defined(__x86_64__)

#include <array>

namespace quillon {

namespace {

// How far each channel lies outside [0, extent], and how far the farther edge is.
__attribute__((target("avx2"))) inline __m256i Outside(__m256i d, __m256i extent)
{
    const __m256i zero = _mm256_setzero_si256();
    return _mm256_add_epi16(_mm256_max_epi16(_mm256_sub_epi16(zero, d), zero),
                            _mm256_max_epi16(_mm256_sub_epi16(d, extent), zero));
}

__attribute__((target("avx2"))) inline __m256i Farthest(__m256i d, __m256i extent)
{
    return _mm256_max_epi16(d, _mm256_sub_epi16(extent, d));
}

} // namespace

__attribute__((target("avx2"))) uint32_t TPaletteSearch::KeepAvx2(const TBlock* blocks, uint32_t size, int r0, int g0,
                                                                  int b0, int extent, TKept& kept)
{
    // For each mask of kept lanes, the lanes to gather to the front, in order.
    static constexpr auto kGather = [] {
        std::array<uint64_t, 256> gather{};
        for (unsigned mask = 0; mask < 256; ++mask) {
            unsigned to = 0;
            for (unsigned lane = 0; lane < 8; ++lane)
                if (mask >> lane & 1)
                    gather[mask] |= uint64_t{lane} << (8 * to++);
        }
        return gather;
    }();
    const __m256i cornerRG = _mm256_set1_epi32(r0 | g0 << 16);
    const __m256i cornerB0 = _mm256_set1_epi32(b0);
    const __m256i span = _mm256_set1_epi16(static_cast<int16_t>(extent));
    const __m256i blueOnly = _mm256_set1_epi32(0xFFFF);
    const uint32_t count = (size + kBlock - 1) / kBlock;
    // The filling lanes repeat the first entry: they change no bound.
    __m256i bound = _mm256_set1_epi32(INT32_MAX);
    for (uint32_t n = 0; n < count; ++n) {
        const __m256i dRG = _mm256_sub_epi16(LoadAvx2(blocks[n].rg), cornerRG);
        // The zero beside blue is no channel: its farther edge must not count.
        const __m256i dB0 =
            _mm256_and_si256(Farthest(_mm256_sub_epi16(LoadAvx2(blocks[n].b0), cornerB0), span), blueOnly);
        bound = _mm256_min_epi32(bound, SquaredSumAvx2(Farthest(dRG, span), dB0));
    }
    const __m256i above = _mm256_broadcastd_epi32(LeastLaneAvx2(bound));
    uint32_t keptCount = 0;
    for (uint32_t n = 0; n < count; ++n) {
        const __m256i rg = LoadAvx2(blocks[n].rg), b0v = LoadAvx2(blocks[n].b0);
        const __m256i least = SquaredSumAvx2(Outside(_mm256_sub_epi16(rg, cornerRG), span),
                                             Outside(_mm256_sub_epi16(b0v, cornerB0), span));
        const uint32_t real = n + 1 < count || size % kBlock == 0 ? 0xFF : (1u << (size % kBlock)) - 1;
        const uint32_t mask =
            ~static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(least, above)))) & real;
        const __m256i gather = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<int64_t>(kGather[mask])));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(kept.rg + keptCount), _mm256_permutevar8x32_epi32(rg, gather));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(kept.b0 + keptCount), _mm256_permutevar8x32_epi32(b0v, gather));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(kept.index + keptCount),
                            _mm256_permutevar8x32_epi32(LoadAvx2(blocks[n].index), gather));
        keptCount += static_cast<uint32_t>(__builtin_popcount(mask));
    }
    return keptCount;
}

} // namespace quillon

#endif
