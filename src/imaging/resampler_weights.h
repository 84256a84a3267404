#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon::resampling {

// Filter weights of one axis, computed once per output position. Contributors are merged
// by source index into a dense window (mirroring can fold two onto one pixel; zero weights
// add nothing), which keeps every sum exactly what the contributor list gives.
struct TAxisWeights {
    int32_t sourceExtent = 0;
    int32_t targetExtent = 0;
    std::vector<int32_t> start;   // first source index of each window
    std::vector<int32_t> length;  // window length
    std::vector<int32_t> offset;  // where each window's weights begin in `weights`
    std::vector<int32_t> weights;
    std::vector<int64_t> divisor; // sum of the weights, 256 when they cancel out
    int32_t maxLength = 0;
    // Every weighted sum of bytes stays below 2^24 in magnitude, so a single-precision
    // division truncates to the same integer as the integer division. Otherwise the vector
    // kernels sum in 64 bits and divide as integers.
    bool floatDivisionExact = true;
    // The vector kernels multiply 16-bit weights. Indexes held at an edge by a filter wider
    // than the whole extent can pile up a weight beyond that; such an axis is done in scalar.
    bool narrowWeights = true;
    std::vector<int16_t> narrow; // `weights` as 16 bits, when narrowWeights
    // How many consecutive taps a 32-bit lane can sum without overflowing, whatever the bytes.
    int32_t exactTaps = 0;
};

double MitchellNetravali(double x);

TAxisWeights ComputeAxisWeights(int32_t sourceExtent, int32_t targetExtent);

inline uint8_t ClampToByte(int64_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// One row of the horizontal pass: `source` points at the first pixel of the part, `out`
// receives targetExtent pixels.
void HorizontalRowScalar(const uint8_t* source, const TAxisWeights& w, uint8_t* out);

// One output row of the vertical pass over `bytes` bytes: rows[k] = first + k * stride.
void VerticalRowScalar(const uint8_t* first, size_t stride, const int32_t* weights, int32_t taps,
                       int64_t divisor, uint8_t* out, size_t bytes);

// What a vertical vector kernel needs to know of one output row.
struct TVerticalTaps {
    const int16_t* weights;
    int32_t taps;
    int64_t divisor;
    bool floatDivisionExact;
    int32_t exactTaps;
};

// Packed horizontal weights for one vector width: each window padded to a multiple of
// `group` taps and laid out the way the kernel reads them.
struct THorizontalPlan {
    std::vector<int16_t> packed;
    std::vector<int32_t> packedOffset;
    std::vector<int32_t> groups;
    int32_t readExtent = 0;  // bytes read past a row's first part pixel, at most
    int32_t blockGroups = 0; // groups summed in 32 bits before they are added up in 64
    // A strong reduction's windows overlap several deep. The AVX2 kernel then lays them
    // out on one grid of groups along the row, each starting on a whole group (zero
    // weights before its first tap), and walks the row once: each group of pixels is spread
    // once for all the windows open over it. A stretch of groups over which the same
    // windows are open is a segment. Empty: windows one after the other.
    struct TSegment {
        int32_t first, end; // groups [first, end) of the row
        int32_t window;     // the first of the windows open over it
        int32_t windows;    // how many
    };
    std::vector<TSegment> segments;
    std::vector<int32_t> firstGroup; // of each window on the grid, with segments
    // The grid's four rows go through AVX-512's dot products (HasAvx512Vnni), with the same
    // sums as AVX2's.
    bool wide = false;
};

// Whether the processor has AVX-512 with its byte shuffles and dot products (BW, VNNI).
bool HasAvx512Vnni();

THorizontalPlan PlanHorizontalSse2(const TAxisWeights& w);
void HorizontalRowSse2(const uint8_t* source, const TAxisWeights& w, const THorizontalPlan& plan, uint8_t* out);
void VerticalRowSse2(const uint8_t* first, size_t stride, const TVerticalTaps& taps, uint8_t* out, size_t bytes);

// wide: the grid kernel may use AVX-512 (only where HasAvx512Vnni()).
THorizontalPlan PlanHorizontalAvx2(const TAxisWeights& w, bool wide = HasAvx512Vnni());
// Four rows at once (they share every weight); repeat a row to fill up fewer.
constexpr int kRowsAvx2 = 4;
void HorizontalRowsAvx2(const uint8_t* const sources[kRowsAvx2], const TAxisWeights& w, const THorizontalPlan& plan,
                        uint8_t* const outs[kRowsAvx2]);
void VerticalRowAvx2(const uint8_t* first, size_t stride, const TVerticalTaps& taps, uint8_t* out, size_t bytes);
// The same as HorizontalRowsAvx2 for a plan in the grid layout (with segments).
void GridRowsAvx2(const uint8_t* const sources[kRowsAvx2], const TAxisWeights& w, const THorizontalPlan& plan,
                  uint8_t* const outs[kRowsAvx2]);

// Divides 64-bit channel sums exactly (truncating) and clamps them into bytes.
inline void DivideLong(const int64_t* sums, int64_t divisor, uint8_t* out, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = ClampToByte(sums[i] / divisor);
}

} // namespace quillon::resampling
