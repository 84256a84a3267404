#include "codec_fixtures.h"
#include "codec_writers.h"

#include "imaging/codecs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace quillon {
namespace {

using test::WriteGif;
using test::WriteJpeg;
using test::WritePng;

void ExpectNear(const uint8_t* p, int r, int g, int b, int tolerance, const char* what)
{
    EXPECT_NEAR(p[0], r, tolerance) << what;
    EXPECT_NEAR(p[1], g, tolerance) << what;
    EXPECT_NEAR(p[2], b, tolerance) << what;
}

TEST(CodecJpeg, GreyAndProgressiveFilesBecomeRgb)
{
    auto grey = [](int x, int, int) { return uint8_t(x * 8); };
    for (bool progressive : {false, true}) {
        std::string file = WriteJpeg(32, 16, 1, grey, [&](jpeg_compress_struct& c) {
            if (progressive)
                jpeg_simple_progression(&c);
        });
        TBitmap b = DecodeJPEG(file);
        ASSERT_EQ(b.Width(), 32);
        ASSERT_EQ(b.Height(), 16);
        ExpectNear(b.Pixel(20, 5), 160, 160, 160, 2, progressive ? "progressive" : "baseline");
    }
}

// Left half red, right half blue, written as ink amounts.
uint8_t Ink(int x, int c, bool inverted)
{
    static const uint8_t red[] = {0, 255, 255, 0}, blue[] = {255, 255, 0, 0};
    uint8_t v = x < 8 ? red[c] : blue[c];
    return inverted ? uint8_t(255 - v) : v;
}

TEST(CodecJpeg, CmykWithAndWithoutAdobeInversion)
{
    std::string adobe = WriteJpeg(16, 8, 4, [](int x, int, int c) { return Ink(x, c, true); });
    std::string plain = WriteJpeg(16, 8, 4, [](int x, int, int c) { return Ink(x, c, false); },
                                  [](jpeg_compress_struct& c) { c.write_Adobe_marker = FALSE; });
    for (const std::string* file : {&adobe, &plain}) {
        TBitmap b = DecodeJPEG(*file);
        const char* what = file == &adobe ? "adobe" : "plain";
        ExpectNear(b.Pixel(2, 3), 255, 0, 0, 3, what);
        ExpectNear(b.Pixel(13, 3), 0, 0, 255, 3, what);
    }
}

TEST(CodecPng, PaletteTransparencyIsFlattenedOntoWhite)
{
    test::TPngLayout spec;
    spec.colorType = PNG_COLOR_TYPE_PALETTE;
    spec.palette = {{0, 0, 0}, {255, 0, 0}, {0, 0, 255}};
    spec.paletteAlpha = {0, 128};
    TBitmap b = DecodePNG(WritePng(3, {{0, 1, 2}}, spec));
    ExpectNear(b.Pixel(0, 0), 255, 255, 255, 0, "transparent");
    ExpectNear(b.Pixel(1, 0), 255, 127, 127, 2, "half red");
    ExpectNear(b.Pixel(2, 0), 0, 0, 255, 0, "opaque");
}

TEST(CodecPng, SixteenBitGreyInterlaced)
{
    test::TPngLayout spec;
    spec.colorType = PNG_COLOR_TYPE_GRAY;
    spec.bitDepth = 16;
    spec.interlaced = true;
    std::vector<std::vector<uint8_t>> rows;
    for (int y = 0; y < 9; ++y) {
        std::vector<uint8_t> row;
        for (int x = 0; x < 9; ++x) {
            uint8_t v = uint8_t(x * 30 + y); // high byte; the low byte is noise below a step
            row.push_back(v);
            row.push_back(0x55);
        }
        rows.push_back(row);
    }
    TBitmap b = DecodePNG(WritePng(9, rows, spec));
    ASSERT_EQ(b.Width(), 9);
    ASSERT_EQ(b.Height(), 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x)
            ExpectNear(b.Pixel(x, y), x * 30 + y, x * 30 + y, x * 30 + y, 1, "grey");
}

TEST(CodecPng, GreyWithAlpha)
{
    test::TPngLayout spec;
    spec.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    TBitmap b = DecodePNG(WritePng(2, {{0, 255, 0, 0}}, spec));
    ExpectNear(b.Pixel(0, 0), 0, 0, 0, 0, "opaque black");
    ExpectNear(b.Pixel(1, 0), 255, 255, 255, 0, "transparent");
}

const std::vector<GifColorType> kGifColours = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};

TEST(CodecGif, FrameIsPlacedOnItsScreenAndClipped)
{
    // A 4 x 3 frame at (3, 1) on a 5 x 3 screen: two columns and one row fall off.
    test::TGifFrame frame{3, 1, 4, 3, false, -1, {1, 2, 3, 1, 2, 3, 1, 2, 3, 3, 3, 3}};
    TBitmap b = DecodeGIF(WriteGif(5, 3, kGifColours, frame));
    ASSERT_EQ(b.Width(), 5);
    ASSERT_EQ(b.Height(), 3);
    ExpectNear(b.Pixel(0, 0), 255, 255, 255, 0, "outside the frame");
    ExpectNear(b.Pixel(2, 2), 255, 255, 255, 0, "left of the frame");
    ExpectNear(b.Pixel(3, 1), 255, 0, 0, 0, "frame corner");
    ExpectNear(b.Pixel(4, 1), 0, 255, 0, 0, "frame row 0");
    ExpectNear(b.Pixel(3, 2), 0, 255, 0, 0, "frame row 1");
}

TEST(CodecGif, InterlacedRowsAndTransparency)
{
    test::TGifFrame frame{0, 0, 2, 9, true, 0, {}};
    for (int y = 0; y < 9; ++y)
        frame.indexes.insert(frame.indexes.end(), {uint8_t(y % 4), uint8_t(y % 3 + 1)});
    TBitmap b = DecodeGIF(WriteGif(2, 9, kGifColours, frame));
    for (int y = 0; y < 9; ++y) {
        int i = y % 4;
        const GifColorType& c = kGifColours[size_t(i)];
        if (i == 0)
            ExpectNear(b.Pixel(0, y), 255, 255, 255, 0, "transparent");
        else
            ExpectNear(b.Pixel(0, y), c.Red, c.Green, c.Blue, 0, "interlaced row");
        const GifColorType& d = kGifColours[size_t(y % 3 + 1)];
        ExpectNear(b.Pixel(1, y), d.Red, d.Green, d.Blue, 0, "interlaced row");
    }
}

// Frames large enough that their first rows are held as indexes until the screen is
// allocated, and the rest drawn straight into it: every layout comes out pixel for pixel
// as the frame says.
TEST(CodecGif, LargeFramesComeOutWhole)
{
    std::vector<GifColorType> colours;
    for (int i = 0; i < 256; ++i)
        colours.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    struct {
        const char* name;
        int screenWidth, screenHeight;
        test::TGifFrame frame;
    } cases[] = {
        {"frame fills the screen", 640, 480, {0, 0, 640, 480, false, -1, {}}},
        {"interlaced, transparent", 640, 481, {0, 0, 640, 481, true, 5, {}}},
        {"small frame on a large screen", 900, 700, {100, 50, 300, 203, false, 7, {}}},
        {"interlaced frame past the screen's corner", 500, 400, {200, 150, 401, 307, true, -1, {}}},
    };
    std::mt19937 random(11);
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TGifFrame& frame = c.frame;
        frame.indexes.resize(size_t(frame.width) * size_t(frame.height));
        for (uint8_t& index : frame.indexes)
            index = uint8_t(random() % 64 == 0 ? 5 : random());
        TBitmap expected(c.screenWidth, c.screenHeight);
        std::fill_n(expected.Data(), expected.SizeInBytes(), uint8_t{255});
        for (int y = 0; y < frame.height && frame.top + y < c.screenHeight; ++y)
            for (int x = 0; x < frame.width && frame.left + x < c.screenWidth; ++x) {
                const int index = frame.indexes[size_t(y) * size_t(frame.width) + size_t(x)];
                if (index == frame.transparent)
                    continue;
                const GifColorType& colour = colours[size_t(index)];
                uint8_t* p = expected.Pixel(frame.left + x, frame.top + y);
                p[0] = colour.Red, p[1] = colour.Green, p[2] = colour.Blue;
            }
        EXPECT_TRUE(DecodeGIF(WriteGif(c.screenWidth, c.screenHeight, colours, frame)) == expected);
    }
}

} // namespace
} // namespace quillon
