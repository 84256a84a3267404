#pragma once

#include "imaging/geometry.h"
#include "imaging/simdlevel.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace quillon {

class TBitmap;

struct TResampleOptions {
    TSimdLevel level = BestSimdLevel();
    int threads = 0; // 0: one per core when the work is big enough to share
    // For a picture still being decoded: called with a picture row before that row is read,
    // it returns once the row is final, or throws to abandon the work.
    const std::function<void(int32_t)>* waitForRow = nullptr;
};

// Resamples the part `source` of `picture` to the size of `dest` and draws it into `target`
// with its top-left corner at dest's (Mitchell-Netravali cubic, B = C = 1/3, radius 2;
// horizontal pass first; integer weights). The source rectangle is limited to the picture,
// pixels falling outside the target are skipped, and nothing is drawn when either rectangle
// is empty.
void StretchCopy(const TBitmap& picture, TBitmap& target, const TRect& dest, const TRect& source,
                 const TResampleOptions& options = {});

// One StretchCopy into each of a job's target.
struct TStretchJob {
    TBitmap* target;
    TRect dest;
    TRect source;
};

// Up to two StretchCopy calls from one picture, byte for byte as if made one after the
// other, in one sweep down the picture: each band of its rows is filtered for both while it
// is in the cache, so a large picture is read from memory once instead of twice.
void StretchCopyTogether(const TBitmap& picture, const std::vector<TStretchJob>& jobs,
                         const TResampleOptions& options = {});

} // namespace quillon
