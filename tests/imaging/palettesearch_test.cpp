#include "imaging/palettesearch.h"

#include "common/error.h"

#include <gtest/gtest.h>

#include <random>

namespace quillon {
namespace {

int SquaredDistance(const TRGB& c, int r, int g, int b)
{
    int dr = r - c[0], dg = g - c[1], db = b - c[2];
    return dr * dr + dg * dg + db * db;
}

std::vector<TRGB> RandomPalette(size_t size, int low, int high, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> channel(low, high);
    std::vector<TRGB> palette(size);
    for (TRGB& c : palette)
        c = {uint8_t(channel(random)), uint8_t(channel(random)), uint8_t(channel(random))};
    return palette;
}

std::vector<TRGB> GreyRamp(int step)
{
    std::vector<TRGB> palette;
    for (int v = 0; v < 256; v += step)
        palette.push_back({uint8_t(v), uint8_t(v), uint8_t(v)});
    return palette;
}

std::vector<TSimdLevel> Levels()
{
    std::vector<TSimdLevel> levels{TSimdLevel::Scalar};
    if (BestSimdLevel() == TSimdLevel::Avx2)
        levels.push_back(TSimdLevel::Avx2);
    return levels;
}

// Every answer must be the truly nearest entry, the lowest index among equally near ones
// (the GIF's bytes depend on it), on palettes whose entries are spread out, packed into one
// small box, repeated, or only at the corners; at every vector level.
TEST(PaletteSearch, ReturnsTheTrulyNearestEntry)
{
    const struct {
        const char* name;
        std::vector<TRGB> palette;
    } cases[] = {
        {"one entry", {{{200, 10, 90}}}},
        {"two entries", {{{0, 0, 0}}, {{255, 255, 255}}}},
        {"corners", {{{0, 0, 0}}, {{255, 0, 0}}, {{0, 255, 0}}, {{0, 0, 255}}, {{255, 255, 0}}, {{255, 255, 255}}}},
        {"8 spread", RandomPalette(8, 0, 255, 1)},
        {"100 spread", RandomPalette(100, 0, 255, 6)},
        {"256 spread", RandomPalette(256, 0, 255, 2)},
        {"256 in one small box", RandomPalette(256, 100, 115, 3)},
        {"repeated entries", RandomPalette(64, 120, 124, 4)},
        {"grey ramp", GreyRamp(1)},
        {"coarse grey ramp", GreyRamp(37)},
    };
    std::mt19937 random(5);
    std::uniform_int_distribution<int> channel(0, 255);
    for (const auto& c : cases)
        for (TSimdLevel level : Levels()) {
            TPaletteSearch search(c.palette, level);
            auto check = [&](int r, int g, int b) {
                int best = INT32_MAX, bestIndex = -1;
                for (size_t i = 0; i < c.palette.size(); ++i)
                    if (SquaredDistance(c.palette[i], r, g, b) < best)
                        best = SquaredDistance(c.palette[i], r, g, b), bestIndex = static_cast<int>(i);
                ASSERT_EQ(search.Nearest(r, g, b), bestIndex)
                    << c.name << " level " << static_cast<int>(level) << " at " << r << "," << g << "," << b;
            };
            for (int r = 0; r < 256; r += 15)
                for (int g = 0; g < 256; g += 15)
                    for (int b = 0; b < 256; b += 15)
                        check(r, g, b);
            for (int n = 0; n < 20000; ++n)
                check(channel(random), channel(random), channel(random));
            for (const TRGB& entry : c.palette) // each entry finds itself or an equal one
                check(entry[0], entry[1], entry[2]);
        }
}

TEST(PaletteSearch, RefusesEmptyAndOversizedPalettes)
{
    EXPECT_THROW(TPaletteSearch(std::vector<TRGB>{}), QuillonError);
    EXPECT_THROW(TPaletteSearch(std::vector<TRGB>(257)), QuillonError);
}

} // namespace
} // namespace quillon
