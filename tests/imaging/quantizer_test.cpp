#include "imaging/quantizer.h"

#include "codec_fixtures.h"
#include "imaging/codecs.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

namespace quillon {
namespace {

TBitmap FromPalette(const TIndexedPicture& indexed)
{
    TBitmap b(indexed.width, indexed.height);
    for (size_t i = 0; i < indexed.indexes.size(); ++i)
        std::copy_n(indexed.palette[indexed.indexes[i]].data(), 3, b.Data() + i * 3);
    return b;
}

// The GIF writer compresses rows while others are still being mapped, on both sides of
// the band split: what it wrote must be the finished mapping, row for row.
TEST(Quantizer, GifHoldsTheFinishedMappingOfEveryRow)
{
    for (TDither dither : {TDither::FloydSteinberg, TDither::None}) {
        for (int size : {40, 400}) { // one band, and two
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

TEST(Quantizer, RowsReadyCountsTheTopBandFirst)
{
    TRowsReady ready;
    ready.Start(4);
    ready.RowsDone(1, 3); // the lower band is ahead: no row of it counts yet
    ready.RowsDone(0, 2);
    std::thread waiter([&] { EXPECT_TRUE(ready.WaitFor(7)); });
    ready.RowsDone(0, 4);
    waiter.join();
}

TEST(Quantizer, RowsReadyReleasesWaitersWhenMappingFails)
{
    TRowsReady ready;
    ready.Start(10);
    std::thread waiter([&] { EXPECT_FALSE(ready.WaitFor(5)); });
    ready.RowsDone(0, 2);
    ready.Fail();
    waiter.join();
    ready.RowsDone(0, 6); // a late report does not undo the failure
    EXPECT_FALSE(ready.WaitFor(1));
}

} // namespace
} // namespace quillon
