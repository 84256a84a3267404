#include "imaging/bitmap.h"
#include "imaging/resampler.h"
#include "imaging/resampler_weights.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon {
namespace {

// ---- A slow reference written straight from the definition of the filter -----------------

double Mitchell(double x)
{
    const double B = 1.0 / 3.0;
    const double C = 1.0 / 3.0;
    x = std::fabs(x);
    if (x < 1.0)
        return ((12.0 - 9.0 * B - 6.0 * C) * x * x * x + (-18.0 + 12.0 * B + 6.0 * C) * x * x + (6.0 - 2.0 * B))
               / 6.0;
    if (x < 2.0)
        return ((-B - 6.0 * C) * x * x * x + (6.0 * B + 30.0 * C) * x * x + (-12.0 * B - 48.0 * C) * x
                + (8.0 * B + 24.0 * C))
               / 6.0;
    return 0.0;
}

struct Contributor {
    int index;
    int weight;
};

// Contributors of target position i, zero weights dropped. An index that mirroring
// still leaves outside the extent (filters wider than the picture) is held at the edge.
std::vector<Contributor> Contributors(int i, int n, int m)
{
    const double scale = (n == 1 || m == 1) ? double(m) / n : double(m - 1) / (n - 1);
    const double c = i / scale;
    const double radius = scale >= 1 ? 2.0 : 2.0 / scale;
    auto filter = [&](int j) { return scale >= 1 ? Mitchell(c - j) : Mitchell((c - j) * scale) * scale; };
    // Where every weight would round to 0, the weights are taken relative to the largest one.
    double peak = 0;
    for (int j = (int)std::floor(c - radius); j <= (int)std::ceil(c + radius); ++j)
        peak = std::max(peak, filter(j));
    const double unit = peak > 0 && std::nearbyint(peak * 256) == 0 ? 256 / peak : 256;
    std::vector<Contributor> list;
    for (int j = (int)std::floor(c - radius); j <= (int)std::ceil(c + radius); ++j) {
        const double f = filter(j);
        const int weight = (int)std::nearbyint(f * unit);
        if (weight == 0)
            continue;
        int k = j < 0 ? -j : (j >= n ? 2 * n - 1 - j : j);
        k = k < 0 ? 0 : (k >= n ? n - 1 : k);
        list.push_back({k, weight});
    }
    return list;
}

uint8_t Channel(const std::vector<Contributor>& list, auto value)
{
    int64_t sum = 0, weights = 0;
    for (const Contributor& c : list) {
        sum += int64_t{c.weight} * value(c.index);
        weights += c.weight;
    }
    const int64_t v = sum / (weights != 0 ? weights : 256);
    return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

TBitmap Reference(const TBitmap& picture, TRect s, int tw, int th)
{
    const int sw = s.Width(), sh = s.Height();
    TBitmap crop(sw, sh);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw * 3; ++x)
            crop.Row(y)[x] = picture.Pixel(s.left, s.top + y)[x];
    TBitmap across(tw, sh);
    for (int i = 0; i < tw; ++i) {
        const auto list = Contributors(i, sw, tw);
        for (int y = 0; y < sh; ++y)
            for (int ch = 0; ch < 3; ++ch)
                across.Pixel(i, y)[ch] = Channel(list, [&](int k) { return crop.Pixel(k, y)[ch]; });
    }
    TBitmap result(tw, th);
    for (int i = 0; i < th; ++i) {
        const auto list = Contributors(i, sh, th);
        for (int x = 0; x < tw; ++x)
            for (int ch = 0; ch < 3; ++ch)
                result.Pixel(x, i)[ch] = Channel(list, [&](int k) { return across.Pixel(x, k)[ch]; });
    }
    return result;
}

// ---- Fixtures -------------------------------------------------------------------------------

// Smooth gradients, noise and hard black/white edges, so the filter overshoots and clamps.
TBitmap TestPicture(int width, int height, uint32_t seed)
{
    TBitmap picture(width, height);
    uint32_t state = seed;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            uint8_t* p = picture.Pixel(x, y);
            p[0] = (uint8_t)(x * 255 / std::max(width - 1, 1));
            p[1] = ((x / 3 + y / 2) % 2) ? 255 : 0;
            p[2] = (uint8_t)(state >> 24);
        }
    return picture;
}

// The same numbers on every run, so a failing round can be replayed.
class TSequence {
public:
    explicit TSequence(uint32_t seed) : state_(seed) {}
    int Next(int limit)
    {
        state_ = state_ * 1103515245u + 12345u;
        return int((state_ >> 8) % uint32_t(limit));
    }
    // A part of the 97 x 61 test picture, at least a pixel each way.
    TRect Crop()
    {
        const int left = Next(96), top = Next(60);
        return TRect{left, top, left + 1 + Next(97 - left), top + 1 + Next(61 - top)};
    }

private:
    uint32_t state_;
};

std::vector<TSimdLevel> Levels()
{
    std::vector<TSimdLevel> levels{TSimdLevel::Scalar};
    if (BestSimdLevel() != TSimdLevel::Scalar)
        levels.push_back(TSimdLevel::Sse2);
    if (BestSimdLevel() == TSimdLevel::Avx2)
        levels.push_back(TSimdLevel::Avx2);
    return levels;
}

struct ResampleCase {
    const char* name;
    int pictureWidth, pictureHeight;
    TRect source;
    int targetWidth, targetHeight;
};

void PrintTo(const ResampleCase& c, std::ostream* os) { *os << c.name; }

class ResamplerMatchesReference : public ::testing::TestWithParam<ResampleCase> {};

TEST_P(ResamplerMatchesReference, EveryByteAtEveryLevelAndThreadCount)
{
    const ResampleCase& c = GetParam();
    const TBitmap picture = TestPicture(c.pictureWidth, c.pictureHeight, 7);
    const TBitmap expected = Reference(picture, c.source, c.targetWidth, c.targetHeight);
    for (TSimdLevel level : Levels())
        for (int threads : {1, 2}) {
            TBitmap target(c.targetWidth, c.targetHeight);
            StretchCopy(picture, target, {0, 0, c.targetWidth, c.targetHeight}, c.source, {level, threads});
            ASSERT_TRUE(target == expected) << "level " << int(level) << ", threads " << threads;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ResamplerMatchesReference,
    ::testing::Values(ResampleCase{"Enlarge", 7, 5, {0, 0, 7, 5}, 23, 17},
                      ResampleCase{"EnlargeCropAtPictureEnd", 40, 30, {29, 21, 40, 30}, 50, 33},
                      ResampleCase{"SameSize", 9, 9, {0, 0, 9, 9}, 9, 9},
                      ResampleCase{"Reduce", 100, 80, {0, 0, 100, 80}, 13, 9},
                      ResampleCase{"ReduceCropInside", 120, 90, {17, 11, 113, 83}, 31, 22},
                      ResampleCase{"ReduceStrongly", 600, 50, {0, 0, 600, 50}, 7, 3},
                      ResampleCase{"ReduceOneAxisEnlargeOther", 90, 6, {0, 0, 90, 6}, 11, 40},
                      ResampleCase{"OnePixelSource", 5, 5, {2, 2, 3, 3}, 6, 4},
                      ResampleCase{"OnePixelWideSource", 4, 9, {3, 0, 4, 9}, 4, 3},
                      ResampleCase{"OnePixelTallSource", 10, 1, {0, 0, 10, 1}, 3, 2},
                      ResampleCase{"OnePixelTarget", 12, 12, {0, 0, 12, 12}, 1, 1},
                      ResampleCase{"OnePixelWideTarget", 30, 5, {0, 0, 30, 5}, 1, 7},
                      ResampleCase{"TwoPixelSource", 2, 2, {0, 0, 2, 2}, 1, 5},
                      ResampleCase{"LogoFromWidePicture", 700, 300, {3, 0, 697, 300}, 176, 208},
                      // Windows overlapping several deep, started part way into a picture row.
                      ResampleCase{"ReduceWithOverlappingWindows", 2700, 7, {37, 1, 2650, 7}, 9, 5},
                      // Sums past single precision, then past 32 bits, along each axis.
                      ResampleCase{"ReduceBeyondFloatAcross", 12000, 4, {0, 0, 12000, 4}, 16, 3},
                      ResampleCase{"ReduceBeyondFloatDown", 5, 12000, {0, 0, 5, 12000}, 2, 16},
                      ResampleCase{"ReduceBeyond32BitsAcross", 200000, 2, {0, 0, 200000, 2}, 3, 1},
                      ResampleCase{"ReduceBeyond32BitsDown", 2, 200000, {0, 0, 2, 200000}, 1, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StretchCopy, MatchesReferenceOnASweepOfSizesAndCrops)
{
    const TBitmap picture = TestPicture(97, 61, 11);
    TSequence sequence(2024);
    auto next = [&](int limit) { return sequence.Next(limit); };
    for (int round = 0; round < 60; ++round) {
        const TRect source = sequence.Crop();
        const int tw = 1 + next(round % 2 ? 40 : 140), th = 1 + next(round % 3 ? 30 : 90);
        const TBitmap expected = Reference(picture, source, tw, th);
        for (TSimdLevel level : Levels()) {
            TBitmap target(tw, th);
            StretchCopy(picture, target, {0, 0, tw, th}, source, {level, 2});
            ASSERT_TRUE(target == expected) << "round " << round << ", level " << int(level);
        }
    }
}

// Two pictures made in one sweep (the display picture beside the logo) are each exactly what
// the reference gives: rows that overlap, rows far apart, a part outside the picture, a
// destination away from the target's corner; at every level and thread count.
TEST(StretchCopy, TwoTogetherMatchTheReference)
{
    const TBitmap picture = TestPicture(97, 61, 13);
    TSequence sequence(77);
    auto next = [&](int limit) { return sequence.Next(limit); };
    for (int round = 0; round < 40; ++round) {
        struct {
            TRect source;
            int tw, th, dx, dy;
        } parts[2];
        for (auto& part : parts)
            part = {sequence.Crop(), 1 + next(60), 1 + next(50), next(3), next(3)};
        if (round % 5 == 4)
            parts[1].source = {120, 0, 130, 10}; // nothing of the picture: that one is left alone
        for (TSimdLevel level : Levels())
            for (int threads : {1, 2}) {
                TBitmap targets[2], expected[2];
                std::vector<TStretchJob> jobs;
                for (int n = 0; n < 2; ++n) {
                    const auto& part = parts[n];
                    targets[n] = TBitmap(part.tw + 3, part.th + 3);
                    expected[n] = targets[n];
                    jobs.push_back({&targets[n], {part.dx, part.dy, part.dx + part.tw, part.dy + part.th}, part.source});
                    const TRect inPicture = Intersect(part.source, {0, 0, 97, 61});
                    if (inPicture.IsEmpty())
                        continue;
                    const TBitmap reference = Reference(picture, inPicture, part.tw, part.th);
                    for (int y = 0; y < part.th; ++y)
                        std::copy_n(reference.Row(y), part.tw * 3, expected[n].Pixel(part.dx, part.dy + y));
                }
                StretchCopyTogether(picture, jobs, {level, threads});
                for (int n = 0; n < 2; ++n)
                    ASSERT_TRUE(targets[n] == expected[n])
                        << "round " << round << ", picture " << n << ", level " << int(level) << ", threads " << threads;
            }
    }
}

TEST(StretchCopy, ReducingFarEnoughForEveryWeightToRoundToZeroStillShowsThePicture)
{
    // 1200 -> 1 is past the point where round(filter x 256) is 0 for every source pixel.
    TBitmap picture(1200, 2);
    std::fill(picture.Data(), picture.Data() + picture.SizeInBytes(), 180);
    TBitmap target(1, 1);
    StretchCopy(picture, target, {0, 0, 1, 1}, {0, 0, 1200, 2});
    EXPECT_TRUE(target == Reference(picture, {0, 0, 1200, 2}, 1, 1));
    EXPECT_EQ(target.Pixel(0, 0)[0], 180);  // not black

    const TBitmap varied = TestPicture(1200, 2, 1);
    StretchCopy(varied, target, {0, 0, 1, 1}, {0, 0, 1200, 2});
    EXPECT_TRUE(target == Reference(varied, {0, 0, 1200, 2}, 1, 1));
}

// ---- Cases worked out by hand from the rules, independent of any code ------------------------
//
// Filter values (B = C = 1/3): f(0) = 8/9, f(0.25) = 0.78212, f(0.5) = 0.53472, f(0.75) = 0.25608,
// f(1) = 1/18, f(1.25) = -0.0234375, f(1.5) = -0.034722, f(1.75) = -0.014757, f(2) = 0.
//
// 2 -> 3 (scale 2, enlarging; weight = round(256 f(c - j))):
//   c = 0:   j = -1, 0, 1 -> 14, 228, 14; j = -1 mirrors to 1      -> w0 = 228, w1 = 28
//   c = 0.5: j = -1..2 -> -9, 137, 137, -9; -1 -> 1, 2 -> 2n-1-2 = 1 -> w0 = 137, w1 = 119
//   c = 1:   j = 0, 1, 2 -> 14, 228, 14; 2 -> 1                    -> w0 = 14,  w1 = 242
// 5 -> 2 (scale 1/4; weight = round(64 f(|c - j| / 4)): 57, 50, 34, 16, 4, -2, -2, -1 for
// |c - j| = 0..7; f(1.25) x 64 = -1.5 goes to the even -2). Mirroring at 0 and at 2n - 1 = 9,
// indexes still outside held at the edge:
//   c = 0: w = (57, 100, 34 + 34 - 1, 16 + 16 - 2, 4 + 4 - 2 - 2 - 2 - 1) = (57, 100, 67, 30, 1)
//   c = 4: w = (4 - 2 - 2 - 1, 16 + 4 - 2, 34 + 16 - 2, 50 + 34 - 1, 57 + 50) = (-1, 18, 48, 83, 107)
//   both sum to 255.
// A one-pixel axis to one pixel folds 14 + 228 + 14 onto that pixel: it is copied.
struct HandCase {
    const char* name;
    std::vector<std::array<uint8_t, 3>> source;
    std::vector<std::array<uint8_t, 3>> expected;
};

std::vector<HandCase> HandCases()
{
    return {
        // R: 28*255/256 = 27.9, 119*255/256 = 118.5, 242*255/256 = 241.1
        // G: 228*255/256 = 227.1, 137*255/256 = 136.5, 14*255/256 = 13.9
        // B: (228*100 + 28*200)/256 = 110.9, (137*100 + 119*200)/256 = 146.5, (14*100 + 242*200)/256 = 194.5
        {"TwoToThree", {{0, 255, 100}, {255, 0, 200}}, {{27, 227, 110}, {118, 136, 146}, {241, 13, 194}}},
        // R = (10, 20, 30, 40, 250): 6030/255 = 23.6; (-10 + 360 + 1440 + 3320 + 26750)/255 = 124.9
        // G = (255, 0, 0, 0, 0): 57*255/255 = 57; -255/255 = -1, clamped to 0
        // B = (0, 255, 255, 255, 255): 198*255/255 = 198; 256*255/255 = 256, clamped to 255
        {"FiveToTwo",
         {{10, 255, 0}, {20, 0, 255}, {30, 0, 255}, {40, 0, 255}, {250, 0, 255}},
         {{23, 57, 198}, {124, 0, 255}}},
    };
}

TEST(StretchCopy, GivesTheHandComputedBytesAlongEitherAxis)
{
    for (const HandCase& c : HandCases()) {
        const int n = int(c.source.size()), m = int(c.expected.size());
        for (bool vertical : {false, true}) {
            TBitmap picture(vertical ? 1 : n, vertical ? n : 1);
            for (int i = 0; i < n; ++i)
                std::copy(c.source[i].begin(), c.source[i].end(), picture.Pixel(vertical ? 0 : i, vertical ? i : 0));
            for (TSimdLevel level : Levels())
                for (int threads : {1, 2}) {
                    TBitmap target(vertical ? 1 : m, vertical ? m : 1);
                    StretchCopy(picture, target, {0, 0, target.Width(), target.Height()},
                                {0, 0, picture.Width(), picture.Height()}, {level, threads});
                    for (int i = 0; i < m; ++i)
                        for (int ch = 0; ch < 3; ++ch)
                            ASSERT_EQ(target.Pixel(vertical ? 0 : i, vertical ? i : 0)[ch], c.expected[i][ch])
                                << c.name << (vertical ? " vertical" : " horizontal") << ", level " << int(level)
                                << ", threads " << threads << ", pixel " << i << ", channel " << ch;
                }
        }
    }
}

// The kernel of strong reductions, which lays the windows on one grid along the row, with
// AVX-512 where the processor has it and with AVX2 alone: each of its four rows gives the
// bytes of the scalar row. The reductions open one to five windows over a stretch of the
// row, with sums in and past single precision.
TEST(StretchCopy, GridKernelsGiveTheScalarBytes)
{
    using namespace resampling;
    if (BestSimdLevel() != TSimdLevel::Avx2)
        GTEST_SKIP() << "no AVX2 on this processor";
    std::vector<bool> kinds{false};
    if (HasAvx512Vnni())
        kinds.push_back(true);
    const TBitmap picture = TestPicture(20011, kRowsAvx2, 5);
    for (auto [n, m] : {std::pair{6000, 20}, {4100, 9}, {10800, 16}, {20011, 31}}) {
        const TAxisWeights w = ComputeAxisWeights(n, m);
        for (bool wide : kinds) {
            SCOPED_TRACE(std::to_string(n) + " to " + std::to_string(m) + (wide ? ", AVX-512" : ", AVX2"));
            const THorizontalPlan plan = PlanHorizontalAvx2(w, wide);
            ASSERT_FALSE(plan.segments.empty());
            // Each row copied with room for the loads that reach past its end.
            std::vector<std::vector<uint8_t>> rows, outs;
            const uint8_t* sources[kRowsAvx2];
            uint8_t* targets[kRowsAvx2];
            for (int r = 0; r < kRowsAvx2; ++r) {
                rows.emplace_back(picture.Row(r), picture.Row(r) + size_t(n) * 3);
                rows.back().resize(std::max<size_t>(rows.back().size(), size_t(plan.readExtent)) + 16);
                outs.emplace_back(size_t(m) * 3);
                sources[r] = rows.back().data();
                targets[r] = outs.back().data();
            }
            GridRowsAvx2(sources, w, plan, targets);
            for (int r = 0; r < kRowsAvx2; ++r) {
                std::vector<uint8_t> expected(size_t(m) * 3);
                HorizontalRowScalar(sources[r], w, expected.data());
                EXPECT_EQ(outs[size_t(r)], expected) << "row " << r;
            }
        }
    }
}

// A million pixels to 16: each position has a quarter of a million taps with weights up to
// 256, so the weighted sums pass 2^31 long before they are divided. White stays white.
TEST(StretchCopy, ExtremeReductionsSumWithoutOverflow)
{
    constexpr int kLong = 1'000'000;
    for (bool vertical : {false, true}) {
        TBitmap picture(vertical ? 1 : kLong, vertical ? kLong : 1);
        std::fill(picture.Data(), picture.Data() + picture.SizeInBytes(), 255);
        for (TSimdLevel level : Levels())
            for (int threads : {1, 2}) {
                TBitmap target(vertical ? 1 : 16, vertical ? 16 : 1);
                StretchCopy(picture, target, {0, 0, target.Width(), target.Height()},
                            {0, 0, picture.Width(), picture.Height()}, {level, threads});
                for (size_t i = 0; i < target.SizeInBytes(); ++i)
                    ASSERT_EQ(target.Data()[i], 255) << (vertical ? "vertical" : "horizontal") << ", level "
                                                     << int(level) << ", threads " << threads << ", byte " << i;
            }
    }
}

TEST(StretchCopy, DrawsAtTheDestinationAndLeavesTheRestAlone)
{
    const TBitmap picture = TestPicture(40, 30, 3);
    const TBitmap expected = Reference(picture, {5, 5, 35, 25}, 12, 8);
    TBitmap target(20, 20);
    std::fill(target.Data(), target.Data() + target.SizeInBytes(), 77);
    StretchCopy(picture, target, {4, 6, 16, 14}, {5, 5, 35, 25});
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            for (int ch = 0; ch < 3; ++ch) {
                const bool inside = x >= 4 && x < 16 && y >= 6 && y < 14;
                const uint8_t want = inside ? expected.Pixel(x - 4, y - 6)[ch] : 77;
                ASSERT_EQ(target.Pixel(x, y)[ch], want) << x << "," << y;
            }
}

TEST(StretchCopy, SkipsWhatFallsOutsideTheTarget)
{
    const TBitmap picture = TestPicture(30, 30, 5);
    const TBitmap expected = Reference(picture, {0, 0, 30, 30}, 10, 10);
    TBitmap target(6, 6);
    StretchCopy(picture, target, {-4, -3, 6, 7}, {0, 0, 30, 30});
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_EQ(target.Pixel(x, y)[ch], expected.Pixel(x + 4, y + 3)[ch]) << x << "," << y;
}

TEST(StretchCopy, DrawsNothingForEmptyRectangles)
{
    const TBitmap picture = TestPicture(20, 20, 9);
    const TRect empties[][2] = {
        {{0, 0, 10, 10}, {3, 3, 3, 9}},     // source without width
        {{0, 0, 10, 10}, {3, 3, 9, 3}},     // source without height
        {{0, 0, 0, 10}, {0, 0, 20, 20}},    // destination without width
        {{0, 0, 10, 0}, {0, 0, 20, 20}},    // destination without height
        {{0, 0, 10, 10}, {20, 0, 25, 20}},  // source beyond the picture
    };
    for (const auto& [dest, source] : empties) {
        TBitmap target(10, 10);
        std::fill(target.Data(), target.Data() + target.SizeInBytes(), 42);
        const TBitmap before = target;
        StretchCopy(picture, target, dest, source);
        EXPECT_TRUE(target == before);
    }
}

} // namespace
} // namespace quillon
