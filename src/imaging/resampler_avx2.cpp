// Chosen at run time on processors that have AVX2. Only the two kernels are compiled for
// AVX2 (function attributes): a file-wide target would also compile the library templates
// instantiated here for AVX2, and the linker may pick those copies for the whole program.
#include "imaging/resampler_weights.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace quillon::resampling {

namespace {

// 4 taps per step: the 16 bytes from the first tap hold pixels 0..3; each 128-bit lane
// spreads two of them into (R0, R1, G0, G1, B0, B1, 0, 0) so pmaddwd sums two taps a channel.
constexpr int32_t kGroup = 4;

// Four rows' sums of one output position, in 32-bit lanes (R, G, B, 0 in each half).
struct TRowSums {
    __m256i a, b, c, d;
};

__attribute__((target("avx2"))) inline __m256i FourTapsAvx2(const uint8_t* q, const __m256i& spread,
                                                              const __m256i& weights)
{
    const __m256i pixels = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)));
    return _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, spread), weights);
}

// The rows share the weights of an output position: one load of them serves four rows.
// (Spelled out row by row: as arrays the accumulators end up in memory.)
__attribute__((target("avx2"))) inline void SumGroupsAvx2(const uint8_t* const p[kRowsAvx2], size_t at,
                                                           const __m256i* wv, int32_t groups, TRowSums& s)
{
    const __m256i spread = _mm256_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1, //
                                            6, -1, 9, -1, 7, -1, 10, -1, 8, -1, 11, -1, -1, -1, -1, -1);
    const uint8_t* p0 = p[0] + at;
    const uint8_t* p1 = p[1] + at;
    const uint8_t* p2 = p[2] + at;
    const uint8_t* p3 = p[3] + at;
    for (int32_t g = 0; g < groups; ++g, p0 += 12, p1 += 12, p2 += 12, p3 += 12, ++wv) {
        const __m256i weights = _mm256_loadu_si256(wv);
        s.a = _mm256_add_epi32(s.a, FourTapsAvx2(p0, spread, weights));
        s.b = _mm256_add_epi32(s.b, FourTapsAvx2(p1, spread, weights));
        s.c = _mm256_add_epi32(s.c, FourTapsAvx2(p2, spread, weights));
        s.d = _mm256_add_epi32(s.d, FourTapsAvx2(p3, spread, weights));
    }
}

// A window whose sums can leave 32 bits: blocks of groups summed in 32-bit lanes, added up
// in 64 bits, divided as integers.
__attribute__((target("avx2"))) void LongPositionAvx2(const uint8_t* const p[kRowsAvx2], size_t at, const __m256i* wv,
                                                       int32_t groups, int32_t blockGroups, int64_t divisor,
                                                       uint8_t* const out[kRowsAvx2], size_t outAt)
{
    int64_t sums[kRowsAvx2][3] = {};
    for (int32_t begin = 0; begin < groups; begin += blockGroups) {
        const int32_t count = std::min(groups - begin, blockGroups);
        TRowSums block{_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
        SumGroupsAvx2(p, at + static_cast<size_t>(begin) * 12, wv + begin, count, block);
        int32_t lanes[kRowsAvx2][8];
        std::memcpy(lanes, &block, sizeof lanes);
        for (int r = 0; r < kRowsAvx2; ++r)
            for (int c = 0; c < 3; ++c)
                sums[r][c] += int64_t{lanes[r][c]} + lanes[r][c + 4];
    }
    for (int r = 0; r < kRowsAvx2; ++r)
        DivideLong(sums[r], divisor, out[r] + outAt, 3);
}

// Divides the sums of two rows and stores their three bytes each.
__attribute__((target("avx2"))) inline void StoreTwoRowsAvx2(const __m256i& sumsA, const __m256i& sumsB,
                                                              const __m256& divisor, uint8_t* outA, uint8_t* outB)
{
    const __m128i a = _mm_add_epi32(_mm256_castsi256_si128(sumsA), _mm256_extracti128_si256(sumsA, 1));
    const __m128i b = _mm_add_epi32(_mm256_castsi256_si128(sumsB), _mm256_extracti128_si256(sumsB, 1));
    const __m256i q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(_mm256_set_m128i(b, a)), divisor));
    const __m256i words = _mm256_packs_epi32(q, q);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    const uint32_t rgbA = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_castsi256_si128(bytes)));
    const uint32_t rgbB = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(bytes, 1)));
    std::memcpy(outA, &rgbA, 3);
    std::memcpy(outB, &rgbB, 3);
}

} // namespace

namespace {

// Windows open over one group at most, for the segment kernel: two rows' sums of each in
// registers, with the spread groups and a weight.
constexpr int32_t kMostOpen = 5;
// Source pixels an output pixel from which the windows are laid on a grid. Measured on a
// 96-megapixel picture: a 16-pixel logo (675 to one) took 0.55 to 0.8 of the time of the
// windows one after the other, a 32-pixel one about as long, and from 64 pixels (170 to
// one) on the grid was slower: its segments grow short, and with two rows at a time each
// weight is loaded for two rows instead of four.
constexpr int32_t kGridReduction = 256;

// Appends one window's weights in groups, laid out the way the kernels read them, after
// `pad` zero taps.
void PackWindow(const int16_t* weights, int32_t length, int32_t pad, int32_t groups, THorizontalPlan& plan)
{
    auto tap = [&](int32_t t) { return t >= pad && t - pad < length ? weights[t - pad] : int16_t{0}; };
    plan.packedOffset.push_back(static_cast<int32_t>(plan.packed.size()));
    for (int32_t g = 0; g < groups; ++g)
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

// The grid layout of the windows, or false where it does not fit: a reduction too weak, a
// window that would need its sums taken in blocks, windows that do not follow each other
// along the row, or too many open at once.
bool PlanGridAvx2(const TAxisWeights& w, THorizontalPlan& plan)
{
    const int32_t n = w.targetExtent;
    if (n < 2 || w.sourceExtent / n < kGridReduction)
        return false;
    plan.blockGroups = std::max(w.exactTaps / kGroup, 1);
    std::vector<int32_t> ends(static_cast<size_t>(n));
    plan.firstGroup.resize(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        const size_t at = static_cast<size_t>(i);
        const int32_t first = w.start[at] / kGroup;
        const int32_t groups = (w.start[at] % kGroup + w.length[at] + kGroup - 1) / kGroup;
        if (groups > plan.blockGroups || (i > 0 && (first < plan.firstGroup[at - 1] || first + groups < ends[at - 1])))
            return false;
        plan.firstGroup[at] = first;
        ends[at] = first + groups;
        plan.groups.push_back(groups);
    }
    std::vector<int32_t> bounds(plan.firstGroup);
    bounds.insert(bounds.end(), ends.begin(), ends.end());
    std::sort(bounds.begin(), bounds.end());
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
    // Starts and ends both follow the windows' order, so the windows open over a segment
    // are those from the first not yet ended to the last begun.
    int32_t ended = 0, begun = 0;
    for (size_t b = 0; b + 1 < bounds.size(); ++b) {
        const int32_t first = bounds[b];
        while (ended < n && ends[static_cast<size_t>(ended)] <= first)
            ++ended;
        while (begun < n && plan.firstGroup[static_cast<size_t>(begun)] <= first)
            ++begun;
        if (begun - ended > kMostOpen)
            return false;
        if (begun > ended)
            plan.segments.push_back({first, bounds[b + 1], ended, begun - ended});
    }
    for (int32_t i = 0; i < n; ++i) {
        const size_t at = static_cast<size_t>(i);
        PackWindow(w.narrow.data() + w.offset[at], w.length[at], w.start[at] % kGroup, plan.groups[at], plan);
        plan.readExtent = std::max(plan.readExtent, 3 * kGroup * (ends[at] - 1) + 16);
    }
    return true;
}

} // namespace

bool HasAvx512Vnni()
{
    static const bool has = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vnni");
    return has;
}

THorizontalPlan PlanHorizontalAvx2(const TAxisWeights& w, bool wide)
{
    THorizontalPlan plan;
    if (PlanGridAvx2(w, plan)) {
        plan.wide = wide;
        return plan;
    }
    plan = {};
    for (int32_t i = 0; i < w.targetExtent; ++i) {
        const int32_t length = w.length[static_cast<size_t>(i)];
        const int32_t groups = (length + kGroup - 1) / kGroup;
        plan.groups.push_back(groups);
        PackWindow(w.narrow.data() + w.offset[static_cast<size_t>(i)], length, 0, groups, plan);
        const int32_t extent = 3 * w.start[static_cast<size_t>(i)] + 3 * kGroup * (groups - 1) + 16;
        plan.readExtent = std::max(plan.readExtent, extent);
    }
    plan.blockGroups = std::max(w.exactTaps / kGroup, 1);
    return plan;
}

namespace {

// The grid kernels spend several windows' multiply-adds on each group of pixels, so they
// walk the rows too slowly for the processor's own prefetching to run ahead: without being
// told, each new cache line of the picture waited for memory, which made a 16-pixel logo
// from 96 megapixels cost 1.6 times a 176-pixel one. This far ahead a line has arrived
// when the kernel gets to it.
constexpr size_t kPrefetchAhead = 1024;

// One segment of two rows: the K open windows' sums (two rows of eight lanes each, one
// after the other from `sums`) go on from where they were.
template <int K>
__attribute__((target("avx2"))) inline void GridSegmentAvx2(const uint8_t* row0, const uint8_t* row1,
                                                             const __m256i* const weights[K], int32_t groups,
                                                             int32_t* sums)
{
    const __m256i spread = _mm256_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1, //
                                            6, -1, 9, -1, 7, -1, 10, -1, 8, -1, 11, -1, -1, -1, -1, -1);
    __m256i a[K], b[K];
#pragma GCC unroll 8
    for (int i = 0; i < K; ++i) {
        a[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + 16 * i));
        b[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + 16 * i + 8));
    }
    // Unrolled twice: the loop's own count and branch would otherwise take a good share of
    // what the processor issues.
#pragma GCC unroll 2
    for (int32_t g = 0; g < groups; ++g) {
        _mm_prefetch(reinterpret_cast<const char*>(row0 + 12 * g) + kPrefetchAhead, _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(row1 + 12 * g) + kPrefetchAhead, _MM_HINT_T0);
        const __m256i x0 =
            _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + 12 * g))), spread);
        const __m256i x1 =
            _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + 12 * g))), spread);
#pragma GCC unroll 8
        for (int i = 0; i < K; ++i) {
            const __m256i wv = _mm256_loadu_si256(weights[i] + g);
            a[i] = _mm256_add_epi32(a[i], _mm256_madd_epi16(x0, wv));
            b[i] = _mm256_add_epi32(b[i], _mm256_madd_epi16(x1, wv));
        }
    }
#pragma GCC unroll 8
    for (int i = 0; i < K; ++i) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + 16 * i), a[i]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + 16 * i + 8), b[i]);
    }
}

// Four pixels of two rows, spread as for the AVX2 kernel, one row a half.
__attribute__((target("avx512f,avx512bw,avx512vnni"))) inline __m512i TwoRowsAvx512(const uint8_t* upper,
                                                                                  const uint8_t* lower,
                                                                                  const __m512i& spread)
{
    // The masked forms: the plain ones start from an undefined register, which GCC 12 warns of.
    const __m512i a = _mm512_maskz_broadcast_i32x4(0x00FF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper)));
    const __m512i both = _mm512_mask_broadcast_i32x4(a, 0xFF00, _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower)));
    return _mm512_shuffle_epi8(both, spread);
}

// The same on AVX-512 with its dot-product instruction, for all four rows: two rows a
// register (the 256-bit layout's two halves), so each weight is loaded once for the four
// and multiplied and added for two rows by one instruction where AVX2 takes four.
template <int K>
__attribute__((target("avx512f,avx512bw,avx512vnni"))) inline void
GridSegmentAvx512(const uint8_t* const rows[kRowsAvx2], const __m256i* const weights[K], int32_t groups,
                  int32_t* sums01, int32_t* sums23)
{
    const __m512i spread = _mm512_maskz_broadcast_i64x4(0xFF, _mm256_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1, //
                                                                   6, -1, 9, -1, 7, -1, 10, -1, 8, -1, 11, -1, -1, -1, -1, -1));
    __m512i c[K], d[K];
#pragma GCC unroll 8
    for (int i = 0; i < K; ++i) {
        c[i] = _mm512_loadu_si512(sums01 + 16 * i);
        d[i] = _mm512_loadu_si512(sums23 + 16 * i);
    }
    const uint8_t* r0 = rows[0];
    const uint8_t* r1 = rows[1];
    const uint8_t* r2 = rows[2];
    const uint8_t* r3 = rows[3];
    for (int32_t g = 0; g < groups; ++g, r0 += 12, r1 += 12, r2 += 12, r3 += 12) {
        for (const uint8_t* row : {r0, r1, r2, r3})
            _mm_prefetch(reinterpret_cast<const char*>(row) + kPrefetchAhead, _MM_HINT_T0);
        const __m512i x = TwoRowsAvx512(r0, r1, spread);
        const __m512i y = TwoRowsAvx512(r2, r3, spread);
#pragma GCC unroll 8
        for (int i = 0; i < K; ++i) {
            const __m512i wv = _mm512_maskz_broadcast_i64x4(0xFF, _mm256_loadu_si256(weights[i] + g));
            c[i] = _mm512_dpwssd_epi32(c[i], x, wv);
            d[i] = _mm512_dpwssd_epi32(d[i], y, wv);
        }
    }
#pragma GCC unroll 8
    for (int i = 0; i < K; ++i) {
        _mm512_storeu_si512(sums01 + 16 * i, c[i]);
        _mm512_storeu_si512(sums23 + 16 * i, d[i]);
    }
}

using TGridSegment512 = void (*)(const uint8_t* const*, const __m256i* const*, int32_t, int32_t*, int32_t*);
constexpr TGridSegment512 kGridSegmentsAvx512[kMostOpen + 1] = {nullptr, GridSegmentAvx512<1>, GridSegmentAvx512<2>,
                                                                GridSegmentAvx512<3>, GridSegmentAvx512<4>,
                                                                GridSegmentAvx512<5>};

using TGridSegment = void (*)(const uint8_t*, const uint8_t*, const __m256i* const*, int32_t, int32_t*);
// By the number of windows open.
constexpr TGridSegment kGridSegments[kMostOpen + 1] = {nullptr, GridSegmentAvx2<1>, GridSegmentAvx2<2>,
                                                       GridSegmentAvx2<3>, GridSegmentAvx2<4>, GridSegmentAvx2<5>};

} // namespace

// Two at a time: four rows would need more registers than there are.
__attribute__((target("avx2"))) void GridRowsAvx2(const uint8_t* const sources[kRowsAvx2], const TAxisWeights& w,
                                                   const THorizontalPlan& plan, uint8_t* const outs[kRowsAvx2])
{
    thread_local std::vector<int32_t> sums;
    const size_t windows = static_cast<size_t>(w.targetExtent);
    constexpr int kPairs = kRowsAvx2 / 2;
    sums.assign(16 * windows * kPairs, 0);
    for (const THorizontalPlan::TSegment& segment : plan.segments) {
        const __m256i* weights[kMostOpen];
        for (int32_t i = 0; i < segment.windows; ++i) {
            const size_t at = static_cast<size_t>(segment.window + i);
            weights[i] = reinterpret_cast<const __m256i*>(plan.packed.data() + plan.packedOffset[at])
                         + (segment.first - plan.firstGroup[at]);
        }
        const int32_t groups = segment.end - segment.first;
        const uint8_t* at[kRowsAvx2];
        for (int r = 0; r < kRowsAvx2; ++r)
            at[r] = sources[r] + 12 * static_cast<size_t>(segment.first);
        int32_t* open[kPairs];
        for (int pair = 0; pair < kPairs; ++pair)
            open[pair] = sums.data() + 16 * (static_cast<size_t>(pair) * windows + static_cast<size_t>(segment.window));
        if (plan.wide) {
            kGridSegmentsAvx512[segment.windows](at, weights, groups, open[0], open[1]);
            continue;
        }
        // The weights of a segment stay in the nearest cache from the first pair to the second.
        for (int pair = 0; pair < kPairs; ++pair)
            kGridSegments[segment.windows](at[2 * pair], at[2 * pair + 1], weights, groups, open[pair]);
    }
    for (int pair = 0; pair < kPairs; ++pair) {
        uint8_t* out0 = outs[2 * pair];
        uint8_t* out1 = outs[2 * pair + 1];
        for (size_t i = 0; i < windows; ++i) {
            const int32_t* lanes = sums.data() + 16 * (static_cast<size_t>(pair) * windows + i);
            if (w.floatDivisionExact) {
                StoreTwoRowsAvx2(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(lanes)),
                                 _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lanes + 8)),
                                 _mm256_set1_ps(static_cast<float>(w.divisor[i])), out0 + 3 * i, out1 + 3 * i);
                continue;
            }
            int64_t rows[2][3];
            for (int r = 0; r < 2; ++r)
                for (int c = 0; c < 3; ++c)
                    rows[r][c] = int64_t{lanes[8 * r + c]} + lanes[8 * r + c + 4];
            DivideLong(rows[0], w.divisor[i], out0 + 3 * i, 3);
            DivideLong(rows[1], w.divisor[i], out1 + 3 * i, 3);
        }
    }
}

__attribute__((target("avx2"))) void HorizontalRowsAvx2(const uint8_t* const sources[kRowsAvx2],
                                                         const TAxisWeights& w, const THorizontalPlan& plan,
                                                         uint8_t* const outs[kRowsAvx2])
{
    for (int32_t i = 0; i < w.targetExtent; ++i) {
        const size_t at = static_cast<size_t>(i);
        const size_t outAt = at * 3;
        const size_t first = static_cast<size_t>(w.start[at]) * 3;
        const __m256i* wv = reinterpret_cast<const __m256i*>(plan.packed.data() + plan.packedOffset[at]);
        if (plan.groups[at] > plan.blockGroups || !w.floatDivisionExact) {
            LongPositionAvx2(sources, first, wv, plan.groups[at], plan.blockGroups, w.divisor[at], outs, outAt);
            continue;
        }
        TRowSums sums{_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
        SumGroupsAvx2(sources, first, wv, plan.groups[at], sums);
        const __m256 divisor = _mm256_set1_ps(static_cast<float>(w.divisor[at]));
        StoreTwoRowsAvx2(sums.a, sums.b, divisor, outs[0] + outAt, outs[1] + outAt);
        StoreTwoRowsAvx2(sums.c, sums.d, divisor, outs[2] + outAt, outs[3] + outAt);
    }
}

namespace {

// Sums `count` taps (even, or the last ones) of 32 bytes into four vectors of 32-bit lanes.
__attribute__((target("avx2"))) inline void VerticalBlockAvx2(const uint8_t* p, size_t stride,
                                                               const int16_t* weights, int32_t count, __m256i acc[4])
{
    const __m256i zero = _mm256_setzero_si256();
    for (int32_t k = 0; k < count; k += 2, p += 2 * stride) {
        const bool pair = k + 1 < count;
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
}

} // namespace

__attribute__((target("avx2"))) void VerticalRowAvx2(const uint8_t* first, size_t stride, const TVerticalTaps& taps,
                                                      uint8_t* out, size_t bytes)
{
    const __m256i zero = _mm256_setzero_si256();
    if (taps.floatDivisionExact) {
        const __m256 div = _mm256_set1_ps(static_cast<float>(taps.divisor));
        for (size_t x = 0; x < bytes; x += 32) {
            __m256i acc[4] = {zero, zero, zero, zero};
            VerticalBlockAvx2(first + x, stride, taps.weights, taps.taps, acc);
            __m256i q[4];
            for (int i = 0; i < 4; ++i)
                q[i] = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(acc[i]), div));
            // Unpacking and packing both work within 128-bit lanes, so the bytes come back in order.
            const __m256i packed =
                _mm256_packus_epi16(_mm256_packs_epi32(q[0], q[1]), _mm256_packs_epi32(q[2], q[3]));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), packed);
        }
        return;
    }
    // Blocks of taps a 32-bit lane sums exactly, added up in 64 bits. Lane j of acc[i] holds
    // byte 4i + j of the low half (j < 4) or byte 16 + 4i + j - 4 of the high half.
    const int32_t block = std::max(taps.exactTaps & ~1, 2);
    for (size_t x = 0; x < bytes; x += 32) {
        int64_t sums[32] = {};
        for (int32_t k = 0; k < taps.taps; k += block) {
            __m256i acc[4] = {zero, zero, zero, zero};
            VerticalBlockAvx2(first + x + static_cast<size_t>(k) * stride, stride, taps.weights + k,
                              std::min(block, taps.taps - k), acc);
            int32_t lanes[4][8];
            std::memcpy(lanes, acc, sizeof lanes);
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 8; ++j)
                    sums[(j < 4 ? 0 : 12) + 4 * i + j] += lanes[i][j];
        }
        DivideLong(sums, taps.divisor, out + x, 32);
    }
}

} // namespace quillon::resampling

#endif
