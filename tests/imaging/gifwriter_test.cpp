#include "imaging/gifwriter.h"

#include "imaging/codecs.h"

#include <gtest/gtest.h>

#include <gif_lib.h>

#include <memory>
#include <random>

namespace quillon {
namespace {

int Append(GifFileType* gif, const GifByteType* buffer, int length)
{
    static_cast<std::string*>(gif->UserData)
        ->append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(length));
    return length;
}

// What giflib writes for the same indexes and palette.
std::string GiflibFile(const std::vector<uint8_t>& indexes, int width, int height, int bits,
                       const std::vector<TRGB>& palette)
{
    std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> map(GifMakeMapObject(1 << bits, nullptr),
                                                                   GifFreeMapObject);
    for (int i = 0; i < (1 << bits); ++i) {
        const TRGB c = static_cast<size_t>(i) < palette.size() ? palette[static_cast<size_t>(i)] : TRGB{};
        map->Colors[i] = GifColorType{c[0], c[1], c[2]};
    }
    std::string file;
    int error = 0;
    GifFileType* gif = EGifOpen(&file, Append, &error);
    EXPECT_NE(gif, nullptr);
    EXPECT_EQ(EGifPutScreenDesc(gif, width, height, bits, 0, map.get()), GIF_OK);
    EXPECT_EQ(EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr), GIF_OK);
    std::vector<uint8_t> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        std::copy_n(indexes.begin() + static_cast<std::ptrdiff_t>(y) * width, width, row.begin());
        EXPECT_EQ(EGifPutLine(gif, row.data(), width), GIF_OK);
    }
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    return file;
}

// The writer must give giflib's bytes: noise that fills the string table again and again
// (table resets at every depth), long runs of one index (long strings, codes growing to
// 12 bits), a ramp, a single pixel; fed a row at a time and in odd stretches.
TEST(GifWriter, WritesWhatGiflibWrites)
{
    std::mt19937 random(9);
    for (int bits = 3; bits <= 8; ++bits) {
        const int colours = 1 << bits;
        std::vector<TRGB> palette(static_cast<size_t>(colours - 1)); // one entry short: black fills up
        for (TRGB& c : palette)
            c = {uint8_t(random()), uint8_t(random()), uint8_t(random())};
        const struct {
            const char* name;
            int width, height;
            std::function<int(int, int)> index;
        } cases[] = {
            {"noise", 301, 203, [&](int, int) { return static_cast<int>(random() % static_cast<unsigned>(colours)); }},
            {"runs", 640, 90, [&](int x, int y) { return (x / 97 + y / 30) % colours; }},
            {"ramp", 256, 64, [&](int x, int y) { return (x + y) % colours; }},
            {"one pixel", 1, 1, [&](int, int) { return colours - 1; }},
        };
        for (const auto& c : cases) {
            std::vector<uint8_t> indexes;
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x)
                    indexes.push_back(static_cast<uint8_t>(c.index(x, y)));
            const std::string expected = GiflibFile(indexes, c.width, c.height, bits, palette);
            for (size_t stretch : {static_cast<size_t>(c.width), size_t{7}}) {
                std::string file;
                TGifWriter writer(file, c.width, c.height, bits, palette);
                std::vector<TLzwStretch> lzw(1, TLzwStretch(bits));
                for (size_t at = 0; at < indexes.size(); at += stretch)
                    lzw[0].Put(indexes.data() + at, std::min(stretch, indexes.size() - at));
                writer.Finish(lzw);
                ASSERT_EQ(file, expected) << c.name << " at " << bits << " bits, stretches of " << stretch;
            }
        }
    }
}

// Stretches compressed apart and joined must read back as the picture: each starts after a
// clear code as wide as the codes before it, wherever the one before left the code size
// (one pixel, mid-table, just past a table reset, a run of long strings).
TEST(GifWriter, JoinedStretchesReadBackAsThePicture)
{
    std::mt19937 random(4);
    for (int bits : {1, 3, 8}) {
        const int colours = 1 << bits;
        std::vector<TRGB> palette;
        for (int i = 0; i < colours; ++i)
            palette.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
        const int width = 173, height = 120;
        std::vector<uint8_t> indexes;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                indexes.push_back(static_cast<uint8_t>(y < 60 ? random() % static_cast<unsigned>(colours)
                                                              : (x / 40 + y / 20) % colours));
        TBitmap expected(width, height);
        for (size_t i = 0; i < indexes.size(); ++i)
            std::copy_n(palette[indexes[i]].data(), 3, expected.Data() + i * 3);
        for (const std::vector<size_t>& cuts : std::vector<std::vector<size_t>>{
                 {0, 1, indexes.size()}, {0, 3999, 4000, indexes.size()}, {0, 60 * width, indexes.size()},
                 {0, 101, 5555, 12000, indexes.size() - 1, indexes.size()}}) {
            std::vector<TLzwStretch> lzw;
            for (size_t n = 0; n + 1 < cuts.size(); ++n) {
                lzw.emplace_back(bits);
                lzw.back().Put(indexes.data() + cuts[n], cuts[n + 1] - cuts[n]);
            }
            std::string file;
            TGifWriter(file, width, height, bits, palette).Finish(lzw);
            EXPECT_EQ(DecodeGIF(file), expected) << bits << " bits, " << cuts.size() - 1 << " stretches";
        }
    }
}

} // namespace
} // namespace quillon
