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
    std::vector<int16_t> weights;
    std::vector<int32_t> divisor; // sum of the weights, 256 when they cancel out
    int32_t maxLength = 0;
    // Every weighted sum of bytes stays below 2^24 in magnitude, so a single-precision
    // division truncates to the same integer as the integer division.
    bool floatDivisionExact = true;
};

double MitchellNetravali(double x);

TAxisWeights ComputeAxisWeights(int32_t sourceExtent, int32_t targetExtent);

inline uint8_t ClampToByte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// One row of the horizontal pass: `source` points at the first pixel of the part, `out`
// receives targetExtent pixels.
void HorizontalRowScalar(const uint8_t* source, const TAxisWeights& w, uint8_t* out);

// One output row of the vertical pass over `bytes` bytes: rows[k] = first + k * stride.
void VerticalRowScalar(const uint8_t* first, size_t stride, const int16_t* weights, int32_t taps,
                       int32_t divisor, uint8_t* out, size_t bytes);

// Packed horizontal weights for one vector width: each window padded to a multiple of
// `group` taps and laid out the way the kernel reads them.
struct THorizontalPlan {
    std::vector<int16_t> packed;
    std::vector<int32_t> packedOffset;
    std::vector<int32_t> groups;
    int32_t readExtent = 0; // bytes read past a row's first part pixel, at most
};

THorizontalPlan PlanHorizontalSse2(const TAxisWeights& w);
void HorizontalRowSse2(const uint8_t* source, const TAxisWeights& w, const THorizontalPlan& plan, uint8_t* out);
void VerticalRowSse2(const uint8_t* first, size_t stride, const int16_t* weights, int32_t taps, int32_t divisor,
                     uint8_t* out, size_t bytes);

THorizontalPlan PlanHorizontalAvx2(const TAxisWeights& w);
// Two rows at once (they share every weight); pass the same row twice for one.
void HorizontalRowsAvx2(const uint8_t* sourceA, const uint8_t* sourceB, const TAxisWeights& w,
                        const THorizontalPlan& plan, uint8_t* outA, uint8_t* outB);
void VerticalRowAvx2(const uint8_t* first, size_t stride, const int16_t* weights, int32_t taps, int32_t divisor,
                     uint8_t* out, size_t bytes);

} // namespace quillon::resampling
