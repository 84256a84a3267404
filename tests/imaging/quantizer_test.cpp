#include "imaging/quantizer.h"

#include "codec_fixtures.h"
#include "imaging/codecs.h"

#include <gtest/gtest.h>

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
