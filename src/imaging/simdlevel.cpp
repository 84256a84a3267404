#include "imaging/simdlevel.h"

namespace quillon {

TSimdLevel BestSimdLevel()
{
#if defined(__x86_64__)
    static const TSimdLevel level = __builtin_cpu_supports("avx2") ? TSimdLevel::Avx2 : TSimdLevel::Sse2;
    return level;
#else
    return TSimdLevel::Scalar;
#endif
}

} // namespace quillon
