// The baseline vector path: SSE2 is part of every x86-64 processor.
#include "imaging/resampler_weights.h"

#if defined(__x86_64__)

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

namespace quillon::resampling {

namespace {

// 16 taps = 48 bytes per step. Bytes q and q + 24 always belong to the same channel, so
// interleaving them lets pmaddwd add two taps without mixing channels.
constexpr int32_t kGroup = 16;

} // namespace

THorizontalPlan PlanHorizontalSse2(const TAxisWeights& w)
{
    THorizontalPlan plan;
    for (int32_t i = 0; i < w.targetExtent; ++i) {
        const int32_t length = w.length[static_cast<size_t>(i)];
        const int16_t* weights = w.narrow.data() + w.offset[static_cast<size_t>(i)];
        const int32_t groups = (length + kGroup - 1) / kGroup;
        auto tap = [&](int32_t t) { return t < length ? weights[t] : int16_t{0}; };
        plan.packedOffset.push_back(static_cast<int32_t>(plan.packed.size()));
        plan.groups.push_back(groups);
        for (int32_t g = 0; g < groups; ++g) {
            for (int32_t q = 0; q < 24; ++q) {
                plan.packed.push_back(tap(g * kGroup + q / 3));
                plan.packed.push_back(tap(g * kGroup + (q + 24) / 3));
            }
        }
        const int32_t extent = 3 * w.start[static_cast<size_t>(i)] + 3 * kGroup * groups;
        plan.readExtent = std::max(plan.readExtent, extent);
    }
    plan.blockGroups = std::max(w.exactTaps / kGroup, 1);
    return plan;
}

void HorizontalRowSse2(const uint8_t* source, const TAxisWeights& w, const THorizontalPlan& plan, uint8_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    for (int32_t i = 0; i < w.targetExtent; ++i) {
        const size_t at = static_cast<size_t>(i);
        const uint8_t* p = source + static_cast<size_t>(w.start[at]) * 3;
        const __m128i* wv = reinterpret_cast<const __m128i*>(plan.packed.data() + plan.packedOffset[at]);
        int64_t sum[3] = {0, 0, 0};
        for (int32_t begin = 0; begin < plan.groups[at]; begin += plan.blockGroups) {
            const int32_t end = std::min(plan.groups[at], begin + plan.blockGroups);
            __m128i acc[6] = {zero, zero, zero, zero, zero, zero};
            for (int32_t g = begin; g < end; ++g, p += 48, wv += 6) {
                const __m128i l0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                const __m128i l1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
                const __m128i l2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
                const __m128i a[3] = {_mm_unpacklo_epi8(l0, zero), _mm_unpackhi_epi8(l0, zero),
                                      _mm_unpacklo_epi8(l1, zero)};
                const __m128i b[3] = {_mm_unpackhi_epi8(l1, zero), _mm_unpacklo_epi8(l2, zero),
                                      _mm_unpackhi_epi8(l2, zero)};
                for (int m = 0; m < 3; ++m) {
                    acc[2 * m] = _mm_add_epi32(
                        acc[2 * m], _mm_madd_epi16(_mm_unpacklo_epi16(a[m], b[m]), _mm_loadu_si128(wv + 2 * m)));
                    acc[2 * m + 1] = _mm_add_epi32(acc[2 * m + 1], _mm_madd_epi16(_mm_unpackhi_epi16(a[m], b[m]),
                                                                                  _mm_loadu_si128(wv + 2 * m + 1)));
                }
            }
            int32_t lanes[24];
            std::memcpy(lanes, acc, sizeof lanes);
            int32_t block[3] = {0, 0, 0};
            for (int q = 0; q < 24; ++q)
                block[q % 3] += lanes[q];
            for (int c = 0; c < 3; ++c)
                sum[c] += block[c];
        }
        if (w.floatDivisionExact) {
            const float divisor = static_cast<float>(w.divisor[at]);
            for (int c = 0; c < 3; ++c)
                out[c] = ClampToByte(static_cast<int32_t>(static_cast<float>(sum[c]) / divisor));
        } else {
            DivideLong(sum, w.divisor[at], out, 3);
        }
        out += 3;
    }
}

namespace {

// Sums `count` taps (even, or the last ones) of 16 bytes into four vectors of 32-bit lanes.
inline void VerticalBlockSse2(const uint8_t* p, size_t stride, const int16_t* weights, int32_t count, __m128i acc[4])
{
    const __m128i zero = _mm_setzero_si128();
    for (int32_t k = 0; k < count; k += 2, p += 2 * stride) {
        const bool pair = k + 1 < count;
        const int32_t w1 = pair ? weights[k + 1] : 0;
        const __m128i wv = _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(w1) << 16)
                                                               | static_cast<uint16_t>(weights[k])));
        const __m128i ra = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i rb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pair ? p + stride : p));
        const __m128i alo = _mm_unpacklo_epi8(ra, zero);
        const __m128i ahi = _mm_unpackhi_epi8(ra, zero);
        const __m128i blo = _mm_unpacklo_epi8(rb, zero);
        const __m128i bhi = _mm_unpackhi_epi8(rb, zero);
        acc[0] = _mm_add_epi32(acc[0], _mm_madd_epi16(_mm_unpacklo_epi16(alo, blo), wv));
        acc[1] = _mm_add_epi32(acc[1], _mm_madd_epi16(_mm_unpackhi_epi16(alo, blo), wv));
        acc[2] = _mm_add_epi32(acc[2], _mm_madd_epi16(_mm_unpacklo_epi16(ahi, bhi), wv));
        acc[3] = _mm_add_epi32(acc[3], _mm_madd_epi16(_mm_unpackhi_epi16(ahi, bhi), wv));
    }
}

} // namespace

void VerticalRowSse2(const uint8_t* first, size_t stride, const TVerticalTaps& taps, uint8_t* out, size_t bytes)
{
    const __m128i zero = _mm_setzero_si128();
    if (taps.floatDivisionExact) {
        const __m128 div = _mm_set1_ps(static_cast<float>(taps.divisor));
        for (size_t x = 0; x < bytes; x += 16) {
            __m128i acc[4] = {zero, zero, zero, zero};
            VerticalBlockSse2(first + x, stride, taps.weights, taps.taps, acc);
            __m128i q[4];
            for (int i = 0; i < 4; ++i)
                q[i] = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(acc[i]), div));
            const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), packed);
        }
        return;
    }
    // Blocks of taps a 32-bit lane sums exactly, added up in 64 bits.
    const int32_t block = std::max(taps.exactTaps & ~1, 2);
    for (size_t x = 0; x < bytes; x += 16) {
        int64_t sums[16] = {};
        for (int32_t k = 0; k < taps.taps; k += block) {
            __m128i acc[4] = {zero, zero, zero, zero};
            VerticalBlockSse2(first + x + static_cast<size_t>(k) * stride, stride, taps.weights + k,
                              std::min(block, taps.taps - k), acc);
            int32_t lanes[16];
            std::memcpy(lanes, acc, sizeof lanes);
            for (int i = 0; i < 16; ++i)
                sums[i] += lanes[i];
        }
        DivideLong(sums, taps.divisor, out + x, 16);
    }
}

} // namespace quillon::resampling

#endif
