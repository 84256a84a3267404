#include "codec_fixtures.h"

#include "common/error.h"
#include "imaging/codecs.h"
#include "imaging/quantizer.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillon {
namespace {

using test::PutLE;

// Four colours whose channels are all 0 or 255, so every mask layout decodes them exactly.
const TRGB kColours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

// Rows top first, one letter A..D per pixel.
const std::vector<std::string> kGrid = {"ABCDA", "DCBAA", "BBDCA"};

TBitmap ExpectedPicture(const std::vector<std::string>& grid)
{
    TBitmap b(static_cast<int>(grid[0].size()), static_cast<int>(grid.size()));
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const TRGB& c = kColours[grid[size_t(y)][size_t(x)] - 'A'];
            std::copy(c.begin(), c.end(), b.Pixel(x, y));
        }
    return b;
}

struct TBmpCase {
    const char* name;
    uint32_t headerSize;
    int bits;
    uint32_t compression;
    bool topDown;
    std::vector<uint32_t> masks; // written for bit fields; also used to pack 16/32-bit pixels
};

std::string Headers(const TBmpCase& c, int width, int height, uint32_t paletteColours, uint32_t dataSize)
{
    std::string info;
    uint32_t extra = (c.headerSize == 40 && c.compression == 3) ? 12 : 0;
    uint32_t entry = c.headerSize == 12 ? 3 : 4;
    uint32_t offset = 14 + c.headerSize + extra + paletteColours * entry;
    std::string file = "BM";
    PutLE(file, offset + dataSize, 4);
    PutLE(file, 0, 4);
    PutLE(file, offset, 4);
    PutLE(file, c.headerSize, 4);
    if (c.headerSize == 12) {
        PutLE(file, uint32_t(width), 2);
        PutLE(file, uint32_t(height), 2);
        PutLE(file, 1, 2);
        PutLE(file, uint32_t(c.bits), 2);
    } else {
        PutLE(file, uint32_t(width), 4);
        PutLE(file, uint32_t(c.topDown ? -height : height), 4);
        PutLE(file, 1, 2);
        PutLE(file, uint32_t(c.bits), 2);
        PutLE(file, c.compression, 4);
        PutLE(file, dataSize, 4);
        PutLE(file, 2835, 4);
        PutLE(file, 2835, 4);
        PutLE(file, paletteColours, 4);
        PutLE(file, 0, 4);
        std::string rest(c.headerSize - 40 + extra, '\0');
        for (size_t i = 0; i < c.masks.size() && c.compression == 3; ++i)
            for (int k = 0; k < 4; ++k)
                rest[i * 4 + size_t(k)] = char((c.masks[i] >> (8 * k)) & 0xFF);
        file += rest;
    }
    for (uint32_t i = 0; i < paletteColours; ++i) {
        const TRGB& colour = kColours[i % 4];
        file += {char(colour[2]), char(colour[1]), char(colour[0])};
        if (entry == 4)
            file += '\0';
    }
    return file;
}

std::string PackRow(const TBmpCase& c, const std::string& row)
{
    std::string out;
    uint32_t bits = 0;
    int used = 0;
    for (char letter : row) {
        int i = letter - 'A';
        const TRGB& colour = kColours[i];
        if (c.bits <= 8) {
            bits = bits << c.bits | uint32_t(i);
            used += c.bits;
            if (used == 8)
                out += char(bits), bits = 0, used = 0;
        } else if (c.bits == 24) {
            out += {char(colour[2]), char(colour[1]), char(colour[0])};
        } else {
            uint32_t pixel = 0;
            for (int k = 0; k < 3; ++k)
                pixel |= colour[size_t(k)] ? c.masks[size_t(k)] : 0;
            PutLE(out, pixel, c.bits / 8);
        }
    }
    if (used)
        out += char(bits << (8 - used));
    out.resize((out.size() + 3) / 4 * 4, '\0');
    return out;
}

std::string BuildBmp(const TBmpCase& c, const std::vector<std::string>& grid)
{
    std::string data;
    int height = int(grid.size());
    for (int r = 0; r < height; ++r)
        data += PackRow(c, grid[size_t(c.topDown ? r : height - 1 - r)]);
    uint32_t colours = c.bits <= 8 ? (c.bits == 1 ? 2 : 4) : 0;
    return Headers(c, int(grid[0].size()), height, colours, uint32_t(data.size())) + data;
}

const std::vector<uint32_t> k555 = {0x7C00, 0x03E0, 0x001F};
const std::vector<uint32_t> k565 = {0xF800, 0x07E0, 0x001F};
const std::vector<uint32_t> kBGRX = {0xFF0000, 0xFF00, 0xFF};
const std::vector<uint32_t> kRGBA = {0xFF, 0xFF00, 0xFF0000};

TEST(CodecBmp, DecodesEveryDepthHeaderAndOrientation)
{
    const TBmpCase cases[] = {
        {"4-bit core header", 12, 4, 0, false, {}},
        {"8-bit core header", 12, 8, 0, false, {}},
        {"4-bit", 40, 4, 0, false, {}},
        {"8-bit top-down", 40, 8, 0, true, {}},
        {"8-bit v5 header", 124, 8, 0, false, {}},
        {"16-bit 5-5-5", 40, 16, 0, false, k555},
        {"16-bit 5-6-5 fields", 40, 16, 3, false, k565},
        {"16-bit fields v3 header", 56, 16, 3, true, k565},
        {"24-bit", 40, 24, 0, false, {}},
        {"24-bit v4 top-down", 108, 24, 0, true, {}},
        {"24-bit core header", 12, 24, 0, false, {}},
        {"32-bit", 40, 32, 0, false, kBGRX},
        {"32-bit RGBA fields v5", 124, 32, 3, false, kRGBA},
        {"32-bit fields v4 top-down", 108, 32, 3, true, kBGRX},
    };
    TBitmap expected = ExpectedPicture(kGrid);
    for (const TBmpCase& c : cases)
        EXPECT_EQ(DecodeBMP(BuildBmp(c, kGrid)), expected) << c.name;

    std::vector<std::string> twoColours = {"ABBABAAAB", "BAABBBABA"}; // 9 pixels: a partly used byte
    EXPECT_EQ(DecodeBMP(BuildBmp({"1-bit", 40, 1, 0, false, {}}, twoColours)), ExpectedPicture(twoColours));
    EXPECT_EQ(DecodeBMP(BuildBmp({"1-bit core", 12, 1, 0, false, {}}, twoColours)), ExpectedPicture(twoColours));
    EXPECT_EQ(DecodeBMP(BuildBmp({"1-bit top-down", 40, 1, 0, true, {}}, twoColours)), ExpectedPicture(twoColours));
}

TEST(CodecBmp, ScalesNarrowFieldsToFullRange)
{
    std::string file = BuildBmp({"16-bit", 40, 16, 0, false, k555}, {"A"});
    // One pixel: red 31 (full), green 16 of 31, blue 1 of 31.
    file[file.size() - 4] = char(16 << 5 | 1);
    file[file.size() - 3] = char(31 << 2 | 16 >> 3);
    TBitmap b = DecodeBMP(file);
    EXPECT_EQ(b.Pixel(0, 0)[0], 255);
    EXPECT_EQ(b.Pixel(0, 0)[1], 132);
    EXPECT_EQ(b.Pixel(0, 0)[2], 8);
}

std::string RleFile(int bits, int width, int height, const std::string& data)
{
    return Headers({"rle", 40, bits, uint32_t(bits == 8 ? 1 : 2), false, {}}, width, height, 4, uint32_t(data.size())) +
           data;
}

TEST(CodecBmp, DecodesRunLengthData)
{
    // Bottom row first. RLE8: a run of 3 B, a literal C D A (odd: padded), end of line;
    // then a delta of (2, 0) and a run of 2 D, end of bitmap. Skipped pixels are colour A.
    std::string rle8 = {3, 1, 0, 3, 2, 3, 0, 0, 0, 0, 0, 2, 2, 0, 2, 3, 0, 1};
    std::string rle8s(rle8.begin(), rle8.end());
    EXPECT_EQ(DecodeBMP(RleFile(8, 6, 2, rle8s)), ExpectedPicture({"AADDAA", "BBBCDA"}));
    // RLE4: a run of 5 alternating B/C, a literal of 3 D A B (two bytes, padded), end of
    // line; then an end of line with nothing drawn; the top row stays colour A.
    std::string rle4 = {5, 0x12, 0, 3, 0x30, 0x10, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(DecodeBMP(RleFile(4, 8, 3, rle4)), ExpectedPicture({"AAAAAAAA", "AAAAAAAA", "BCBCBDAB"}));
}

TEST(CodecBmp, WritesTwentyFourBitBottomUp)
{
    TBitmap picture = ExpectedPicture(kGrid);
    std::string file = EncodeBMP(picture);
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(uint8_t(file[28]), 24);
    EXPECT_EQ(file.size(), 54u + 16u * 3u); // 5 pixels = 15 bytes, padded to 16
    // The first stored row is the bottom one: B, B, D, ... as B, G, R.
    EXPECT_EQ(uint8_t(file[54]), 0);
    EXPECT_EQ(uint8_t(file[55]), 255);
    EXPECT_EQ(DecodeBMP(file), picture);
}

} // namespace
} // namespace quillon
