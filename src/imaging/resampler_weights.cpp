#include "imaging/resampler_weights.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace quillon::resampling {

double MitchellNetravali(double x)
{
    constexpr double B = 1.0 / 3.0;
    constexpr double C = 1.0 / 3.0;
    x = std::fabs(x);
    const double x2 = x * x;
    const double x3 = x2 * x;
    if (x < 1.0)
        return ((12.0 - 9.0 * B - 6.0 * C) * x3 + (-18.0 + 12.0 * B + 6.0 * C) * x2 + (6.0 - 2.0 * B)) / 6.0;
    if (x < 2.0)
        return ((-B - 6.0 * C) * x3 + (6.0 * B + 30.0 * C) * x2 + (-12.0 * B - 48.0 * C) * x + (8.0 * B + 24.0 * C))
               / 6.0;
    return 0.0;
}

namespace {

constexpr double kRadius = 2.0;

// Mirrors an index at the edges. A filter wider than the whole extent can reach past the
// mirror image too; such indexes are held at the nearest edge rather than read out of range.
int32_t MirrorIndex(int64_t j, int32_t n)
{
    if (j < 0)
        j = -j;
    else if (j >= n)
        j = 2 * static_cast<int64_t>(n) - 1 - j;
    return static_cast<int32_t>(std::clamp<int64_t>(j, 0, n - 1));
}

} // namespace

TAxisWeights ComputeAxisWeights(int32_t n, int32_t m)
{
    TAxisWeights w;
    w.sourceExtent = n;
    w.targetExtent = m;
    if (n <= 0 || m <= 0)
        return w;
    const double scale = (n == 1 || m == 1) ? static_cast<double>(m) / n : static_cast<double>(m - 1) / (n - 1);
    const bool reducing = scale < 1.0;
    const double width = reducing ? kRadius / scale : kRadius;
    std::vector<std::pair<int32_t, int32_t>> contributors;
    for (int32_t i = 0; i < m; ++i) {
        const double c = i / scale;
        const int64_t lo = static_cast<int64_t>(std::floor(c - width));
        const int64_t hi = static_cast<int64_t>(std::ceil(c + width));
        // Reducing more than about 455 times makes every weight round to 0, and the pixel
        // would come out black whatever the picture holds. Such a position takes its
        // weights relative to its largest filter value instead; no other position changes.
        double unit = 256.0;
        double peak = 0.0;
        for (int64_t j = lo; j <= hi; ++j) {
            const double d = c - static_cast<double>(j);
            peak = std::max(peak, reducing ? MitchellNetravali(d * scale) * scale : MitchellNetravali(d));
        }
        if (peak > 0.0 && std::nearbyint(peak * 256.0) == 0.0)
            unit = 256.0 / peak;
        contributors.clear();
        int32_t first = n;
        int32_t last = 0;
        for (int64_t j = lo; j <= hi; ++j) {
            const double d = c - static_cast<double>(j);
            const double f = reducing ? MitchellNetravali(d * scale) * scale : MitchellNetravali(d);
            const int32_t weight = static_cast<int32_t>(std::nearbyint(f * unit));
            if (weight == 0)
                continue;
            const int32_t index = MirrorIndex(j, n);
            contributors.emplace_back(index, weight);
            first = std::min(first, index);
            last = std::max(last, index);
        }
        if (contributors.empty())
            first = last = 0;
        const int32_t length = last - first + 1;
        const int32_t offset = static_cast<int32_t>(w.weights.size());
        w.start.push_back(first);
        w.length.push_back(length);
        w.offset.push_back(offset);
        w.weights.resize(w.weights.size() + static_cast<size_t>(length), 0);
        int64_t sum = 0;
        int64_t magnitude = 0;
        for (const auto& [index, weight] : contributors) {
            w.weights[static_cast<size_t>(offset + index - first)] += weight;
            sum += weight;
            magnitude += std::abs(weight);
        }
        w.divisor.push_back(sum != 0 ? sum : 256);
        w.maxLength = std::max(w.maxLength, length);
        if (magnitude * 255 >= (int64_t{1} << 24))
            w.floatDivisionExact = false;
    }
    int32_t largest = 1;
    for (const int32_t weight : w.weights) {
        largest = std::max(largest, std::abs(weight));
        if (weight < INT16_MIN || weight > INT16_MAX)
            w.narrowWeights = false;
    }
    w.exactTaps = static_cast<int32_t>(std::min<int64_t>(INT32_MAX / (int64_t{255} * largest), INT32_MAX));
    if (w.narrowWeights)
        w.narrow.assign(w.weights.begin(), w.weights.end());
    return w;
}

void HorizontalRowScalar(const uint8_t* source, const TAxisWeights& w, uint8_t* out)
{
    for (int32_t i = 0; i < w.targetExtent; ++i) {
        const int32_t* weights = w.weights.data() + w.offset[static_cast<size_t>(i)];
        const uint8_t* p = source + static_cast<size_t>(w.start[static_cast<size_t>(i)]) * 3;
        int64_t r = 0, g = 0, b = 0;
        for (int32_t k = 0; k < w.length[static_cast<size_t>(i)]; ++k, p += 3) {
            const int64_t weight = weights[k];
            r += weight * p[0];
            g += weight * p[1];
            b += weight * p[2];
        }
        const int64_t divisor = w.divisor[static_cast<size_t>(i)];
        out[0] = ClampToByte(r / divisor);
        out[1] = ClampToByte(g / divisor);
        out[2] = ClampToByte(b / divisor);
        out += 3;
    }
}

void VerticalRowScalar(const uint8_t* first, size_t stride, const int32_t* weights, int32_t taps, int64_t divisor,
                       uint8_t* out, size_t bytes)
{
    for (size_t x = 0; x < bytes; ++x) {
        int64_t sum = 0;
        const uint8_t* p = first + x;
        for (int32_t k = 0; k < taps; ++k, p += stride)
            sum += int64_t{weights[k]} * *p;
        out[x] = ClampToByte(sum / divisor);
    }
}

} // namespace quillon::resampling
