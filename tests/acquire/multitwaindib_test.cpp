// Packed bitmaps as a scanner hands them over, built byte by byte, against the pixels
// they stand for.
#include "acquire/multitwaindib.h"

#include "common/error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

using TBytes = std::vector<uint8_t>;
using TRGBRow = std::vector<uint32_t>; // 0xRRGGBB per pixel

void Put16(TBytes& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(TBytes& b, size_t at, uint32_t v)
{
    Put16(b, at, v);
    Put16(b, at + 2, v >> 16);
}

// A 40-byte header, the given colour table (0xRRGGBB entries, stored B, G, R, 0) and the
// rows in stored order, each padded to 4 bytes.
TBytes MakeDIB(int width, int height, int bits, uint32_t used, const std::vector<uint32_t>& table,
               const std::vector<TBytes>& rows)
{
    TBytes b(40, 0);
    Put32(b, 0, 40);
    Put32(b, 4, static_cast<uint32_t>(width));
    Put32(b, 8, static_cast<uint32_t>(height));
    Put16(b, 12, 1);
    Put16(b, 14, static_cast<uint32_t>(bits));
    Put32(b, 32, used);
    for (uint32_t c : table) {
        b.push_back(static_cast<uint8_t>(c));
        b.push_back(static_cast<uint8_t>(c >> 8));
        b.push_back(static_cast<uint8_t>(c >> 16));
        b.push_back(0);
    }
    for (TBytes row : rows) {
        row.resize((row.size() + 3) / 4 * 4, 0);
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

std::vector<uint32_t> Grey256()
{
    std::vector<uint32_t> t;
    for (uint32_t i = 0; i < 256; ++i)
        t.push_back(i << 16 | i << 8 | i);
    return t;
}

std::vector<TRGBRow> Pixels(const TBitmap& b)
{
    std::vector<TRGBRow> rows;
    for (int y = 0; y < b.Height(); ++y) {
        TRGBRow row;
        for (int x = 0; x < b.Width(); ++x) {
            const uint8_t* p = b.Pixel(x, y);
            row.push_back(static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2]);
        }
        rows.push_back(row);
    }
    return rows;
}

struct TDIBCase {
    const char* name;
    TBytes dib;
    std::vector<TRGBRow> expected; // top row first
};

class PackedDIBTest : public ::testing::TestWithParam<TDIBCase> {};

TEST_P(PackedDIBTest, DecodesToTheExpectedPixels)
{
    const TDIBCase& c = GetParam();
    EXPECT_EQ(PackedDIBSize(c.dib.data()), c.dib.size());
    EXPECT_EQ(Pixels(DecodePackedDIB(c.dib.data(), c.dib.size())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, PackedDIBTest,
    ::testing::Values(
        // Rows are stored bottom-up: the first stored row is the bottom one.
        TDIBCase{"OneBit", MakeDIB(3, 2, 1, 0, {0xFF0000, 0x0000FF}, {{0xA0}, {0x40}}),
                 {{0xFF0000, 0x0000FF, 0xFF0000}, {0x0000FF, 0xFF0000, 0x0000FF}}},
        // Colours used = 3: a table of three entries, and the rows right after it.
        TDIBCase{"FourBitsThreeColours", MakeDIB(3, 1, 4, 3, {0x102030, 0x405060, 0x708090}, {{0x12, 0x00}}),
                 {{0x405060, 0x708090, 0x102030}}},
        // Colours used = 0: 2^8 entries. A negative height stores the top row first.
        TDIBCase{"EightBitsTopDown", MakeDIB(2, -2, 8, 0, Grey256(), {{7, 200}, {255, 0}}),
                 {{0x070707, 0xC8C8C8}, {0xFFFFFF, 0x000000}}},
        // Colours used = 2 even at 24 bits: two table entries lie before the rows.
        TDIBCase{"TwentyFourBitsWithTable", MakeDIB(2, 1, 24, 2, {0xDEAD00, 0xBEEF00}, {{1, 2, 3, 4, 5, 6}}),
                 {{0x030201, 0x060504}}},
        TDIBCase{"TwentyFourBitsPadded", MakeDIB(1, 2, 24, 0, {}, {{0x10, 0x20, 0x30}, {0x40, 0x50, 0x60}}),
                 {{0x605040}, {0x302010}}},
        TDIBCase{"ThirtyTwoBits", MakeDIB(2, 1, 32, 0, {}, {{1, 2, 3, 0, 4, 5, 6, 0xFF}}), {{0x030201, 0x060504}}},
        // 16 bits without masks are 5-5-5.
        TDIBCase{"SixteenBits", MakeDIB(2, 1, 16, 0, {}, {{0x00, 0x7C, 0x1F, 0x00}}), {{0xFF0000, 0x0000FF}}}),
    [](const ::testing::TestParamInfo<TDIBCase>& info) { return std::string(info.param.name); });

struct TBadCase {
    const char* name;
    TBytes dib;
    size_t size; // handed to the decoder (0: the whole block); it may be shorter than the header says
    const char* reason;
};

TBytes WithField32(TBytes b, size_t at, uint32_t v)
{
    Put32(b, at, v);
    return b;
}
TBytes WithField16(TBytes b, size_t at, uint32_t v)
{
    Put16(b, at, v);
    return b;
}

const TBytes kGood = MakeDIB(2, 2, 24, 0, {}, {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}});

class PackedDIBRefusalTest : public ::testing::TestWithParam<TBadCase> {};

TEST_P(PackedDIBRefusalTest, RefusesWithAClearMessage)
{
    const TBadCase& c = GetParam();
    try {
        DecodePackedDIB(c.dib.data(), c.size ? c.size : c.dib.size());
        FAIL() << "accepted";
    } catch (const QuillonError& e) {
        std::string text = e.what();
        EXPECT_TRUE(text.starts_with("The scanned picture cannot be read: ")) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PackedDIBRefusalTest,
    ::testing::Values(
        TBadCase{"HeaderCutShort", kGood, 30, "header is cut short"},
        TBadCase{"PixelsCutShort", kGood, kGood.size() - 1, "pixels are cut short"},
        TBadCase{"CoreHeader", WithField32(kGood, 0, 12), 0, "not a bitmap information header"},
        TBadCase{"HugeHeaderSize", WithField32(kGood, 0, 0x7FFFFFFF), 0, "not a bitmap information header"},
        TBadCase{"SevenBits", WithField16(kGood, 14, 7), 0, "7 bits per pixel"},
        TBadCase{"RunLengthCoded", WithField32(kGood, 16, 1), 0, "compressed"},
        TBadCase{"ZeroWidth", WithField32(kGood, 4, 0), 0, "no pixels"},
        TBadCase{"NegativeWidth", WithField32(kGood, 4, 0xFFFFFFFE), 0, "no pixels"},
        TBadCase{"AbsurdSize", WithField32(WithField32(kGood, 4, 1 << 30), 8, 1 << 30), 0, "too large"},
        // More than 256 colours used at 8 bits: no table at all, so an index has no colour.
        TBadCase{"EightBitsWithoutTable", MakeDIB(2, 1, 8, 300, {}, {{0, 1}}), 0, "truncated"}),
    [](const ::testing::TestParamInfo<TBadCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace quillon
