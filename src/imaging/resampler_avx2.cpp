// Chosen at run time on processors that have AVX2. Only the two kernels are compiled for
// AVX2 (function attributes): a file-wide target would also compile the library templates
// instantiated here for AVX2, and the linker may pick those copies for the whole program.
#include "imaging/resampler_weights.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <algorithm>
#include <cstring>

namespace quillon::resampling {

namespace {

// 4 taps per step: the 16 bytes from the first tap hold pixels 0..3; each 128-bit lane
// spreads two of them into (R0, R1, G0, G1, B0, B1, 0, 0) so pmaddwd sums two taps a channel.
constexpr int32_t kGroup = 4;

} // namespace

THorizontalPlan PlanHorizontalAvx2(const TAxisWeights& w)
{
    THorizontalPlan plan;
    for (int32_t i = 0; i < w.targetExtent; ++i) {
        const int32_t length = w.length[static_cast<size_t>(i)];
        const int16_t* weights = w.weights.data() + w.offset[static_cast<size_t>(i)];
        const int32_t groups = (length + kGroup - 1) / kGroup;
        auto tap = [&](int32_t t) { return t < length ? weights[t] : int16_t{0}; };
        plan.packedOffset.push_back(static_cast<int32_t>(plan.packed.size()));
        plan.groups.push_back(groups);
        for (int32_t g = 0; g < groups; ++g) {
            for (int32_t lane = 0; lane < 2; ++lane) {
                const int32_t t = g * kGroup + 2 * lane;
                for (int c = 0; c < 3; ++c) {
                    plan.packed.push_back(tap(t));
                    plan.packed.push_back(tap(t + 1));
                }
                plan.packed.push_back(0);
                plan.packed.push_back(0);
            }
        }
        const int32_t extent = 3 * w.start[static_cast<size_t>(i)] + 3 * kGroup * (groups - 1) + 16;
        plan.readExtent = std::max(plan.readExtent, extent);
    }
    return plan;
}

__attribute__((target("avx2"))) void HorizontalRowsAvx2(const uint8_t* sourceA, const uint8_t* sourceB,
                                                         const TAxisWeights& w, const THorizontalPlan& plan,
                                                         uint8_t* outA, uint8_t* outB)
{
    const __m256i spread = _mm256_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1, //
                                            6, -1, 9, -1, 7, -1, 10, -1, 8, -1, 11, -1, -1, -1, -1, -1);
    for (int32_t i = 0; i < w.targetExtent; ++i, outA += 3, outB += 3) {
        const size_t at = static_cast<size_t>(i);
        const size_t first = static_cast<size_t>(w.start[at]) * 3;
        const uint8_t* a = sourceA + first;
        const uint8_t* b = sourceB + first;
        const __m256i* wv = reinterpret_cast<const __m256i*>(plan.packed.data() + plan.packedOffset[at]);
        __m256i accA = _mm256_setzero_si256();
        __m256i accB = _mm256_setzero_si256();
        for (int32_t g = 0; g < plan.groups[at]; ++g, a += 12, b += 12, ++wv) {
            // Both rows share the weights of this output position.
            const __m256i weights = _mm256_loadu_si256(wv);
            const __m256i pa = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)));
            const __m256i pb = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b)));
            accA = _mm256_add_epi32(accA, _mm256_madd_epi16(_mm256_shuffle_epi8(pa, spread), weights));
            accB = _mm256_add_epi32(accB, _mm256_madd_epi16(_mm256_shuffle_epi8(pb, spread), weights));
        }
        const __m128i sumA = _mm_add_epi32(_mm256_castsi256_si128(accA), _mm256_extracti128_si256(accA, 1));
        const __m128i sumB = _mm_add_epi32(_mm256_castsi256_si128(accB), _mm256_extracti128_si256(accB, 1));
        const __m256i q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(_mm256_set_m128i(sumB, sumA)),
                                                            _mm256_set1_ps(static_cast<float>(w.divisor[at]))));
        const __m256i words = _mm256_packs_epi32(q, q);
        const __m256i bytes = _mm256_packus_epi16(words, words);
        const uint32_t rgbA = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_castsi256_si128(bytes)));
        const uint32_t rgbB = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(bytes, 1)));
        std::memcpy(outA, &rgbA, 3);
        std::memcpy(outB, &rgbB, 3);
    }
}

__attribute__((target("avx2"))) void VerticalRowAvx2(const uint8_t* first, size_t stride, const int16_t* weights,
                                                      int32_t taps, int32_t divisor, uint8_t* out, size_t bytes)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256 div = _mm256_set1_ps(static_cast<float>(divisor));
    for (size_t x = 0; x < bytes; x += 32) {
        __m256i acc[4] = {zero, zero, zero, zero};
        const uint8_t* p = first + x;
        for (int32_t k = 0; k < taps; k += 2, p += 2 * stride) {
            const bool pair = k + 1 < taps;
            const int32_t w1 = pair ? weights[k + 1] : 0;
            const __m256i wv = _mm256_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(w1) << 16)
                                                                      | static_cast<uint16_t>(weights[k])));
            const __m256i ra = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            const __m256i rb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pair ? p + stride : p));
            const __m256i alo = _mm256_unpacklo_epi8(ra, zero);
            const __m256i ahi = _mm256_unpackhi_epi8(ra, zero);
            const __m256i blo = _mm256_unpacklo_epi8(rb, zero);
            const __m256i bhi = _mm256_unpackhi_epi8(rb, zero);
            acc[0] = _mm256_add_epi32(acc[0], _mm256_madd_epi16(_mm256_unpacklo_epi16(alo, blo), wv));
            acc[1] = _mm256_add_epi32(acc[1], _mm256_madd_epi16(_mm256_unpackhi_epi16(alo, blo), wv));
            acc[2] = _mm256_add_epi32(acc[2], _mm256_madd_epi16(_mm256_unpacklo_epi16(ahi, bhi), wv));
            acc[3] = _mm256_add_epi32(acc[3], _mm256_madd_epi16(_mm256_unpackhi_epi16(ahi, bhi), wv));
        }
        __m256i q[4];
        for (int i = 0; i < 4; ++i)
            q[i] = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(acc[i]), div));
        // Unpacking and packing both work within 128-bit lanes, so the bytes come back in order.
        const __m256i packed =
            _mm256_packus_epi16(_mm256_packs_epi32(q[0], q[1]), _mm256_packs_epi32(q[2], q[3]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), packed);
    }
}

} // namespace quillon::resampling

#endif
