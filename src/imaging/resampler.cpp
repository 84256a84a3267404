#include "imaging/resampler.h"

#include "imaging/bitmap.h"
#include "imaging/resampler_weights.h"

#include "common/workpool.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace quillon {

using namespace resampling;

namespace {

// Below this many source bytes a second thread costs more than it saves.
constexpr size_t kBytesPerThread = 1 << 18;

int ThreadCount(const TResampleOptions& options, size_t work)
{
    if (options.threads > 0)
        return options.threads;
    const int threads = std::max(static_cast<int>(std::thread::hardware_concurrency()), 1);
    return static_cast<int>(std::clamp<size_t>(work / kBytesPerThread, 1, static_cast<size_t>(threads)));
}

// The weights and packed plans of one axis. A frame moved during a drag keeps its size, so
// the same axes come back render after render; a few are kept per thread.
struct TAxis {
    TAxisWeights weights;
    THorizontalPlan plan; // for the level it was asked for, horizontal axes only
    TSimdLevel planLevel = TSimdLevel::Scalar;
};

std::shared_ptr<const TAxis> Axis(int32_t sourceExtent, int32_t targetExtent, bool horizontal, TSimdLevel level)
{
    struct TEntry {
        int32_t n, m;
        bool horizontal;
        TSimdLevel level;
        std::shared_ptr<const TAxis> axis;
    };
    // Windows of extreme reductions run to megabytes; those are not worth keeping.
    constexpr size_t kKeptWeights = size_t{1} << 18;
    constexpr size_t kKept = 4;
    thread_local std::vector<TEntry> kept;
    for (size_t i = 0; i < kept.size(); ++i)
        if (kept[i].n == sourceExtent && kept[i].m == targetExtent && kept[i].horizontal == horizontal
            && kept[i].level == level) {
            std::rotate(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(i),
                        kept.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return kept.front().axis;
        }
    auto axis = std::make_shared<TAxis>();
    axis->weights = ComputeAxisWeights(sourceExtent, targetExtent);
    if (horizontal && axis->weights.narrowWeights) {
        axis->planLevel = level;
        if (level == TSimdLevel::Sse2)
            axis->plan = PlanHorizontalSse2(axis->weights);
        else if (level == TSimdLevel::Avx2)
            axis->plan = PlanHorizontalAvx2(axis->weights);
    }
    if (axis->weights.weights.size() <= kKeptWeights) {
        kept.insert(kept.begin(), {sourceExtent, targetExtent, horizontal, level, axis});
        if (kept.size() > kKept)
            kept.pop_back();
    }
    return axis;
}

// The intermediate pictures between the passes, one per picture resampled together, kept
// by the thread for the next render (a fresh one costs a page fault every 4 KiB, a good part
// of a small logo's render).
constexpr size_t kTogether = 2;

uint8_t* IntermediateBuffer(size_t slot, size_t bytes)
{
    constexpr size_t kKeptBytes = size_t{16} << 20;
    thread_local std::unique_ptr<uint8_t[]> kept[kTogether];
    thread_local size_t keptBytes[kTogether] = {};
    if (bytes > keptBytes[slot] || (keptBytes[slot] > kKeptBytes && bytes <= kKeptBytes)) {
        kept[slot].reset(); // before the new one, so the two never coexist
        kept[slot].reset(new uint8_t[bytes]);
        keptBytes[slot] = bytes;
    }
    return kept[slot].get();
}

class THorizontalPass {
public:
    THorizontalPass(const TBitmap& picture, const TRect& source, const TAxis& axis)
        : picture_(picture), source_(source), w_(axis.weights), level_(axis.planLevel), plan_(axis.plan)
    {
    }

    // Filters `count` (1..kRowsAvx2) picture rows from `y` of the source part into `out`,
    // `out + stride`, ...
    void Rows(int32_t y, int count, std::vector<uint8_t>& spare, uint8_t* out, size_t stride) const
    {
        const uint8_t* rows[kRowsAvx2];
        uint8_t* outs[kRowsAvx2];
        for (int r = 0; r < kRowsAvx2; ++r) {
            const int row = std::min(r, count - 1); // the last row again to fill up
            rows[r] = r < count ? ReadableRow(y + row, spare, r) : rows[row];
            outs[r] = out + static_cast<size_t>(row) * stride;
        }
        switch (level_) {
#if defined(__x86_64__)
        case TSimdLevel::Avx2:
            if (!plan_.segments.empty())
                GridRowsAvx2(rows, w_, plan_, outs);
            else
                HorizontalRowsAvx2(rows, w_, plan_, outs);
            return;
        case TSimdLevel::Sse2:
            for (int r = 0; r < count; ++r)
                HorizontalRowSse2(rows[r], w_, plan_, outs[r]);
            return;
#endif
        default:
            for (int r = 0; r < count; ++r)
                HorizontalRowScalar(rows[r], w_, outs[r]);
        }
    }

private:
    // The vector loads read whole groups of taps; near the end of the picture's memory
    // they are served from a padded copy of the row instead.
    const uint8_t* ReadableRow(int32_t y, std::vector<uint8_t>& spare, int slot) const
    {
        const uint8_t* row = picture_.Pixel(source_.left, source_.top + y);
        if (level_ == TSimdLevel::Scalar)
            return row;
        const uint8_t* end = picture_.Data() + picture_.SizeInBytes();
        const size_t extent = static_cast<size_t>(plan_.readExtent);
        if (static_cast<size_t>(end - row) >= extent)
            return row;
        spare.resize(kRowsAvx2 * extent); // once for all slots: copies handed out stay where they are
        uint8_t* copy = spare.data() + static_cast<size_t>(slot) * extent;
        std::fill(copy, copy + extent, uint8_t{0});
        std::memcpy(copy, row, static_cast<size_t>(end - row));
        return copy;
    }

    const TBitmap& picture_;
    TRect source_;
    const TAxisWeights& w_;
    TSimdLevel level_;
    const THorizontalPlan& plan_;
};

void VerticalRow(TSimdLevel level, const uint8_t* first, size_t stride, const TAxisWeights& w, size_t at, uint8_t* out,
                 size_t bytes)
{
    const int32_t taps = w.length[at];
#if defined(__x86_64__)
    if (level != TSimdLevel::Scalar) {
        const TVerticalTaps v{w.narrow.data() + w.offset[at], taps, w.divisor[at], w.floatDivisionExact, w.exactTaps};
        if (level == TSimdLevel::Avx2)
            return VerticalRowAvx2(first, stride, v, out, bytes);
        return VerticalRowSse2(first, stride, v, out, bytes);
    }
#endif
    VerticalRowScalar(first, stride, w.weights.data() + w.offset[at], taps, w.divisor[at], out, bytes);
}

// One resampling of a part of the picture into a target, between its two passes.
struct TJobPlan {
    TStretchJob job;
    TRect source;
    std::shared_ptr<const TAxis> axisX, axisY;
    int32_t rowFirst = 0, rows = 0; // source-part rows the vertical pass reads
    size_t stride = 0;
    uint8_t* intermediate = nullptr;
    std::optional<THorizontalPass> horizontal;
};

bool Plan(const TBitmap& picture, const TStretchJob& job, TSimdLevel level, size_t slot, TJobPlan& plan)
{
    plan.job = job;
    plan.source = Intersect(job.source, {0, 0, picture.Width(), picture.Height()});
    if (plan.source.IsEmpty() || job.dest.IsEmpty())
        return false;
    const int32_t tw = job.dest.Width();
    const int32_t th = job.dest.Height();
    plan.axisX = Axis(plan.source.Width(), tw, true, level);
    plan.axisY = Axis(plan.source.Height(), th, false, level);
    const TAxisWeights& wy = plan.axisY->weights;
    // Only the rows the vertical pass reads go through the horizontal pass.
    int32_t rowFirst = plan.source.Height();
    int32_t rowLast = 0;
    for (int32_t y = 0; y < th; ++y) {
        rowFirst = std::min(rowFirst, wy.start[static_cast<size_t>(y)]);
        rowLast = std::max(rowLast, wy.start[static_cast<size_t>(y)] + wy.length[static_cast<size_t>(y)] - 1);
    }
    plan.rowFirst = rowFirst;
    plan.rows = rowLast - rowFirst + 1;
    // Rows padded to whole vectors; the padding is filtered along and never copied out.
    plan.stride = (static_cast<size_t>(tw) * 3 + 31) / 32 * 32;
    plan.intermediate = IntermediateBuffer(slot, plan.stride * static_cast<size_t>(plan.rows));
    plan.horizontal.emplace(picture, plan.source, *plan.axisX);
    return true;
}

// Filters the intermediate rows [begin, end) of one plan.
void HorizontalRows(const TBitmap& picture, const TJobPlan& plan, int32_t begin, int32_t end,
                    const TResampleOptions& options, std::vector<uint8_t>& spare)
{
    const int32_t tw = plan.job.dest.Width();
    for (int32_t r = begin; r < end; r += kRowsAvx2) {
        const int count = std::min(kRowsAvx2, end - r);
        // The vector loads of a row's last taps reach into the next row (weighted 0), so
        // that one must be final too.
        if (options.waitForRow)
            (*options.waitForRow)(std::min(plan.source.top + plan.rowFirst + r + count, picture.Height() - 1));
        plan.horizontal->Rows(plan.rowFirst + r, count, spare, plan.intermediate + static_cast<size_t>(r) * plan.stride,
                              plan.stride);
    }
    // The kept buffer holds whatever the last render left in the padding.
    for (int32_t r = begin; r < end; ++r)
        std::memset(plan.intermediate + static_cast<size_t>(r) * plan.stride + static_cast<size_t>(tw) * 3, 0,
                    plan.stride - static_cast<size_t>(tw) * 3);
}

void VerticalPass(const TJobPlan& plan, TSimdLevel level, const TResampleOptions& options)
{
    const TAxisWeights& wy = plan.axisY->weights;
    const TRect& dest = plan.job.dest;
    TBitmap& target = *plan.job.target;
    const int32_t th = dest.Height();
    const TSimdLevel vertical = wy.narrowWeights ? level : TSimdLevel::Scalar;
    const int32_t left = std::max(dest.left, 0);
    const int32_t right = std::min(dest.right, target.Width());
    const size_t outputWork = plan.stride * static_cast<size_t>(th) * static_cast<size_t>(wy.maxLength);
    TWorkPool::Shared().For(th, ThreadCount(options, outputWork), 4, [&](int32_t begin, int32_t end) {
        std::vector<uint8_t> out(plan.stride);
        for (int32_t y = begin; y < end; ++y) {
            const int32_t ty = dest.top + y;
            if (ty < 0 || ty >= target.Height() || left >= right)
                continue;
            const size_t at = static_cast<size_t>(y);
            VerticalRow(vertical, plan.intermediate + static_cast<size_t>(wy.start[at] - plan.rowFirst) * plan.stride,
                        plan.stride, wy, at, out.data(), plan.stride);
            std::memcpy(target.Pixel(left, ty), out.data() + static_cast<size_t>(left - dest.left) * 3,
                        static_cast<size_t>(right - left) * 3);
        }
    });
}

} // namespace

void StretchCopyTogether(const TBitmap& picture, const std::vector<TStretchJob>& jobs, const TResampleOptions& options)
{
    if (jobs.size() > kTogether)
        throw std::invalid_argument("StretchCopyTogether: too many pictures at once");
    // Never more than the processor has, whatever the caller asked for.
    const TSimdLevel level = std::min(options.level, BestSimdLevel());
    TJobPlan plans[kTogether];
    size_t count = 0;
    int32_t top = INT32_MAX, bottom = INT32_MIN; // picture rows any horizontal pass reads
    size_t work = 0;
    for (const TStretchJob& job : jobs)
        if (Plan(picture, job, level, count, plans[count])) {
            const TJobPlan& plan = plans[count++];
            top = std::min(top, plan.source.top + plan.rowFirst);
            bottom = std::max(bottom, plan.source.top + plan.rowFirst + plan.rows);
            work += static_cast<size_t>(plan.source.Width()) * 3 * static_cast<size_t>(plan.rows);
        }
    if (count == 0)
        return;
    // One sweep down the picture: each band of rows is filtered for every picture while it
    // is in the cache, so a picture in memory is read once however many are made from it.
    // Batches are a multiple of the rows filtered at once, so those stay together.
    TWorkPool::Shared().For(bottom - top, ThreadCount(options, work), 4 * kRowsAvx2, [&](int32_t begin, int32_t end) {
        std::vector<uint8_t> spare;
        for (size_t n = 0; n < count; ++n) {
            const TJobPlan& plan = plans[n];
            const int32_t first = plan.source.top + plan.rowFirst - top; // in the sweep's rows
            const int32_t from = std::max(begin, first), to = std::min(end, first + plan.rows);
            if (from < to)
                HorizontalRows(picture, plan, from - first, to - first, options, spare);
        }
    });
    for (size_t n = 0; n < count; ++n)
        VerticalPass(plans[n], level, options);
}

void StretchCopy(const TBitmap& picture, TBitmap& target, const TRect& dest, const TRect& source,
                 const TResampleOptions& options)
{
    StretchCopyTogether(picture, {{&target, dest, source}}, options);
}

} // namespace quillon
