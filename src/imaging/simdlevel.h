#pragma once

namespace quillon {

// Which vector instructions the imaging kernels may use. Every level gives the same bytes.
enum class TSimdLevel { Scalar, Sse2, Avx2 };

// The best level this processor supports.
TSimdLevel BestSimdLevel();

} // namespace quillon
