#include "imaging/quantizer.h"

#include "codec_fixtures.h"
#include "imaging/codecs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace quillon {
namespace {

TBitmap FromPalette(const TIndexedPicture& indexed)
{
    TBitmap b(indexed.width, indexed.height);
    for (size_t i = 0; i < indexed.indexes.size(); ++i)
        std::copy_n(indexed.palette[indexed.indexes[i]].data(), 3, b.Data() + i * 3);
    return b;
}

// Each stretch of rows is compressed as soon as it is mapped, on its own thread: the file
// must hold the finished mapping, row for row, across the joins.
TEST(Quantizer, GifHoldsTheFinishedMappingOfEveryRow)
{
    for (TDither dither : {TDither::FloydSteinberg, TDither::None}) {
        for (int size : {40, 400}) { // one stretch, and two
            const TBitmap picture = test::MakeTestPicture(size, size);
            TBitmap expected = FromPalette(QuantizeOctree(picture, 256, dither));
            EXPECT_EQ(DecodeGIF(EncodeGIF(picture, TGIFSettings{8, dither})), expected) << size;
        }
    }
}

// The vector kernels (the palette search, the error diffusion) must give the scalar code's
// indexes, on a smooth picture and on noise that drives the diffused error to the clamps.
TEST(Quantizer, EveryVectorLevelGivesTheSameIndexes)
{
    TBitmap noise(67, 41);
    std::mt19937 random(3);
    for (size_t i = 0; i < noise.SizeInBytes(); ++i)
        noise.Data()[i] = static_cast<uint8_t>(random() % 3 == 0 ? 255 : random() % 2 == 0 ? 0 : random() % 256);
    const TBitmap pictures[] = {test::MakeTestPicture(130, 97), noise};
    std::vector<TSimdLevel> levels{TSimdLevel::Sse2};
    if (BestSimdLevel() == TSimdLevel::Avx2)
        levels.push_back(TSimdLevel::Avx2);
    for (const TBitmap& picture : pictures)
        for (int colours : {2, 8, 256})
            for (TDither dither : {TDither::FloydSteinberg, TDither::None}) {
                const TIndexedPicture scalar = QuantizeOctree(picture, colours, dither, TSimdLevel::Scalar);
                for (TSimdLevel level : levels) {
                    const TIndexedPicture vector = QuantizeOctree(picture, colours, dither, level);
                    EXPECT_EQ(vector.palette, scalar.palette) << colours;
                    EXPECT_EQ(vector.indexes, scalar.indexes) << colours << " level " << static_cast<int>(level);
                }
            }
}

// A colour cell of more pixels than a short count holds, in a picture counted on two
// threads. Each cell's mean lies near a rounding edge: a run of 21845 pixels of the bulk
// colour lost moves the first one over it, such a run counted twice the second.
TEST(Quantizer, CellsOfManyPixelsAreCountedWhole)
{
    TBitmap picture(400, 400);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x) {
            // In each half of the rows, the last 15% of the left cell's pixels and the last
            // 17% of the right one's are of the other colour.
            const bool left = x < 200;
            const bool minority = y % 200 >= (left ? 170 : 166);
            const TRGB colour = left ? (minority ? TRGB{3, 3, 3} : TRGB{0, 1, 2})
                                     : (minority ? TRGB{131, 131, 131} : TRGB{128, 129, 130});
            std::copy_n(colour.data(), 3, picture.Pixel(x, y));
        }
    // Exact means: (0.45, 1.3, 2.15) and (128.51, 129.34, 130.17).
    EXPECT_EQ(OctreePalette(picture, 4).palette, (std::vector<TRGB>{{0, 1, 2}, {129, 129, 130}}));
}

uint64_t Fnv1a(const std::string& bytes)
{
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

TBitmap NoisyTestPicture(int width, int height)
{
    TBitmap b = test::MakeTestPicture(width, height);
    uint32_t state = 1;
    for (size_t i = 0; i < b.SizeInBytes(); ++i) {
        state = state * 1664525u + 1013904223u;
        b.Data()[i] = static_cast<uint8_t>(std::clamp(b.Data()[i] + static_cast<int>(state >> 28) - 8, 0, 255));
    }
    return b;
}

// The files at every depth, of one picture mapped in two stretches and one in one. Speed
// work on the palette, the search, the diffusion and the LZW stretches changes how a GIF is
// made, not what it holds; a change of what it holds changes these on purpose.
TEST(Quantizer, GifBytesAreThoseOfTheStraightImplementation)
{
    const struct {
        int width, height;
        uint64_t hashes[6]; // depths 3..8
    } cases[] = {
        {400, 400, {0xefdb2a905f38c1fbull, 0x3858d38ec25cc1d5ull, 0xd10907a69f1e93d4ull, 0xe1c534cdf442c1c3ull,
                    0x5f84ad38bb41e447ull, 0xf72403728863db17ull}},
        {123, 77, {0xe054d4db768bd2bfull, 0x08fa0928d8d2b825ull, 0xffb828cb4f240534ull, 0x6f3809dc341a8d4cull,
                   0xa3118d660268e98eull, 0x740ea099bbf1b4e2ull}},
    };
    for (const auto& c : cases) {
        const TBitmap picture = NoisyTestPicture(c.width, c.height);
        for (int bits = 3; bits <= 8; ++bits)
            EXPECT_EQ(Fnv1a(EncodeGIF(picture, TGIFSettings{bits, TDither::FloydSteinberg})), c.hashes[bits - 3])
                << c.width << " x " << c.height << " at " << bits << " bits";
    }
}

// Floyd-Steinberg as the books write it, on rows [top, bottom) as a picture of their own:
// serpentine from the left, 15/16 of the error passed on (in 256ths), the nearest entry by
// a search of the whole palette, the lowest index among equally near ones.
std::vector<uint8_t> StraightDither(const TBitmap& picture, int top, int bottom, const std::vector<TRGB>& palette)
{
    const int width = picture.Width(), rows = bottom - top;
    std::vector<int> error(static_cast<size_t>(rows + 1) * static_cast<size_t>(width + 2) * 3);
    auto at = [&](int r, int x, int k) -> int& {
        return error[(static_cast<size_t>(r) * static_cast<size_t>(width + 2) + static_cast<size_t>(x + 1)) * 3 +
                     static_cast<size_t>(k)];
    };
    std::vector<uint8_t> out(static_cast<size_t>(rows) * static_cast<size_t>(width));
    for (int r = 0; r < rows; ++r) {
        const int step = r % 2 == 0 ? 1 : -1;
        for (int i = 0; i < width; ++i) {
            const int x = step > 0 ? i : width - 1 - i;
            int wanted[3];
            for (int k = 0; k < 3; ++k)
                wanted[k] = std::clamp(picture.Pixel(x, top + r)[k] + ((at(r, x, k) + 128) >> 8), 0, 255);
            size_t best = 0;
            int bestDistance = INT32_MAX;
            for (size_t j = 0; j < palette.size(); ++j) {
                int distance = 0;
                for (int k = 0; k < 3; ++k)
                    distance += (wanted[k] - palette[j][k]) * (wanted[k] - palette[j][k]);
                if (distance < bestDistance)
                    best = j, bestDistance = distance;
            }
            out[static_cast<size_t>(r) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                static_cast<uint8_t>(best);
            for (int k = 0; k < 3; ++k) {
                const int e = (wanted[k] - palette[best][k]) * 15;
                at(r, x + step, k) += e * 7;
                at(r + 1, x - step, k) += e * 3;
                at(r + 1, x, k) += e * 5;
                at(r + 1, x + step, k) += e;
            }
        }
    }
    return out;
}

// The rows are dithered in bands that each start afresh (two, or two in each half of a
// picture of 2^17 pixels and more): each band must hold what the straight dithering of
// its rows alone gives, at every vector level.
TEST(Quantizer, EachBandIsDitheredAsAPictureOfItsOwn)
{
    const struct {
        int width, height;
        std::vector<int> cuts; // where the bands begin, and the height
    } cases[] = {
        {57, 9, {0, 5, 9}},
        {40, 1, {0, 1}},
        {401, 327, {0, 82, 163, 245, 327}}, // 131127 pixels: two halves of two bands
    };
    std::vector<TSimdLevel> levels{TSimdLevel::Scalar, TSimdLevel::Sse2};
    if (BestSimdLevel() == TSimdLevel::Avx2)
        levels.push_back(TSimdLevel::Avx2);
    for (const auto& c : cases) {
        const TBitmap picture = NoisyTestPicture(c.width, c.height);
        for (int colours : {8, 256})
            for (TSimdLevel level : levels) {
                const TIndexedPicture indexed = QuantizeOctree(picture, colours, TDither::FloydSteinberg, level);
                for (size_t n = 0; n + 1 < c.cuts.size(); ++n) {
                    const auto begin = indexed.indexes.begin() + c.cuts[n] * c.width;
                    const auto end = indexed.indexes.begin() + c.cuts[n + 1] * c.width;
                    EXPECT_EQ(std::vector<uint8_t>(begin, end),
                              StraightDither(picture, c.cuts[n], c.cuts[n + 1], indexed.palette))
                        << c.width << " x " << c.height << ", band " << n << ", " << colours << " colours, level "
                        << static_cast<int>(level);
                }
            }
    }
}

} // namespace
} // namespace quillon
