#include "imaging/quantizer.h"

#include "codec_fixtures.h"
#include "imaging/codecs.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// The speed work on the palette search, the Lloyd steps, the diffusion and the LZW writer
// changed how the GIF is made, not what it holds: these are the files of the straight
// implementation before it (one picture mapped in two bands, one in one), at every depth.
TEST(Quantizer, GifBytesAreThoseOfTheStraightImplementation)
{
    const struct {
        int width, height;
        uint64_t hashes[6]; // depths 3..8
    } cases[] = {
        {400, 400, {0x56f6d7f84acaa266ull, 0xc4f4b5c330da8c4aull, 0x922a39a28d9c9fb1ull, 0x4927f5aca5f1cb97ull,
                    0xa8f8218817da34beull, 0xe9d0fe6c6c5147fcull}},
        {123, 77, {0x594ee3145c458345ull, 0x064fdc3a04e0c0b8ull, 0xdc8aeac9e995e5f5ull, 0x5dac9f9891426d96ull,
                   0xc3515259740e5578ull, 0xe655df0e74a4d625ull}},
    };
    for (const auto& c : cases) {
        const TBitmap picture = NoisyTestPicture(c.width, c.height);
        for (int bits = 3; bits <= 8; ++bits)
            EXPECT_EQ(Fnv1a(EncodeGIF(picture, TGIFSettings{bits, TDither::FloydSteinberg})), c.hashes[bits - 3])
                << c.width << " x " << c.height << " at " << bits << " bits";
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
