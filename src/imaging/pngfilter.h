#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon::png {

// Filters one row of RGB bytes as libpng does by default: each of the five filters is
// scored by the sum of its bytes taken as signed, and the smallest wins (the earlier on a
// tie). `above` is the row before, zeros for the first; `scratch` holds 4 * bytes. out
// receives the filter type, then the filtered bytes. No two of the buffers overlap.
void FilterRow(const uint8_t* row, const uint8_t* above, size_t bytes, uint8_t* scratch, uint8_t* out);

} // namespace quillon::png
