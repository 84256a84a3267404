#include "codec_fixtures.h"

#include "common/error.h"
#include "imaging/codecs.h"
#include "imaging/picturefiles.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::CountColours;
using test::MakeTestPicture;
using test::Psnr;

TEST(CodecRoundTrip, LosslessFormatsGiveBackEveryByte)
{
    // Odd widths exercise the BMP row padding.
    for (int width : {1, 17, 64}) {
        TBitmap picture = MakeTestPicture(width, 23);
        EXPECT_EQ(DecodeBMP(EncodeBMP(picture)), picture) << width;
        EXPECT_EQ(DecodePNG(EncodePNG(picture)), picture) << width;
    }
}

TEST(CodecRoundTrip, JpegStaysCloseAndQualityMatters)
{
    TBitmap picture = MakeTestPicture(96, 64);
    std::string best = EncodeJPEG(picture, 100);
    std::string worst = EncodeJPEG(picture, 10);
    TBitmap decoded = DecodeJPEG(best);
    ASSERT_EQ(decoded.Width(), 96);
    ASSERT_EQ(decoded.Height(), 64);
    EXPECT_GT(Psnr(picture, decoded), 30.0); // chroma is subsampled: the sharp blue edge costs
    EXPECT_GT(Psnr(picture, DecodeJPEG(worst)), 20.0);
    EXPECT_LT(worst.size(), best.size());
    EXPECT_EQ(EncodeJPEG(picture, 1), worst); // below the range counts as 10
}

TEST(CodecRoundTrip, GifHasAtMostTwoToTheDepthColours)
{
    TBitmap picture = MakeTestPicture(120, 80);
    double previous = 0;
    for (int bits = 3; bits <= 8; ++bits) {
        for (TDither dither : {TDither::None, TDither::FloydSteinberg}) {
            TBitmap decoded = DecodeGIF(EncodeGIF(picture, TGIFSettings{bits, dither}));
            ASSERT_EQ(decoded.Width(), 120);
            ASSERT_EQ(decoded.Height(), 80);
            EXPECT_LE(CountColours(decoded), size_t{1} << bits) << bits;
            if (dither == TDither::FloydSteinberg) {
                double psnr = Psnr(picture, decoded);
                EXPECT_GE(psnr, previous - 0.5) << "more colours must not look worse, bits " << bits;
                previous = psnr;
            }
        }
    }
    EXPECT_GT(previous, 30.0);
}

TEST(CodecRoundTrip, GifOfFewColoursKeepsThemExactly)
{
    TBitmap picture(10, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x) {
            uint8_t* p = picture.Pixel(x, y);
            p[0] = x < 5 ? 10 : 200;
            p[1] = y < 3 ? 30 : 90;
            p[2] = 77;
        }
    EXPECT_EQ(DecodeGIF(EncodeGIF(picture, DefaultGIFSettings())), picture);
    EXPECT_EQ(DecodeGIF(EncodeGIF(picture, TGIFSettings{3, TDither::FloydSteinberg})), picture);
}

TEST(CodecRoundTrip, GifDefaultsAreEightBitsWithDiffusion)
{
    TGIFSettings defaults = DefaultGIFSettings();
    EXPECT_EQ(defaults.bitsPerPixel, 8);
    EXPECT_EQ(defaults.dither, TDither::FloydSteinberg);
}

TEST(CodecRoundTrip, EmptyPicturesAreRefused)
{
    TBitmap empty;
    EXPECT_THROW(EncodeBMP(empty), QuillonError);
    EXPECT_THROW(EncodePNG(empty), QuillonError);
    EXPECT_THROW(EncodeJPEG(empty, 90), QuillonError);
    EXPECT_THROW(EncodeGIF(empty, DefaultGIFSettings()), QuillonError);
}

// The decoder follows the extension in any case; anything unknown is read as a bitmap.
TEST(CodecRoundTrip, FilesAreDecodedByTheirExtension)
{
    test::TTempDir dir;
    TBitmap picture = MakeTestPicture(20, 18);
    struct {
        const char* name;
        TPictureFormat format;
    } cases[] = {{"a.Jpeg", pfJPEG}, {"b.JPG", pfJPEG}, {"c.gif", pfGIF}, {"d.PnG", pfPNG},
                 {"e.bmp", pfBMP},   {"f.tif", pfBMP},  {"noext", pfBMP}};
    for (const auto& c : cases) {
        std::string path = (dir.Path() / c.name).string();
        SavePicture(path, picture, c.format);
        TBitmap loaded = LoadPicture(path);
        EXPECT_EQ(loaded.Width(), 20) << c.name;
        EXPECT_GT(Psnr(picture, loaded), 25.0) << c.name;
    }
    // The wrong decoder refuses rather than showing noise.
    std::string png = (dir.Path() / "png-inside.jpg").string();
    SavePicture(png, picture, pfPNG);
    EXPECT_THROW(LoadPicture(png), QuillonError);
    EXPECT_THROW(LoadPicture((dir.Path() / "missing.png").string()), QuillonError);
}

TEST(CodecRoundTrip, FailedSaveLeavesTheOldFile)
{
    test::TTempDir dir;
    std::string path = (dir.Path() / "keep.png").string();
    SavePicture(path, MakeTestPicture(20, 20), pfPNG);
    std::string before = dir.Read("keep.png");
    EXPECT_THROW(SavePicture(path, TBitmap(), pfPNG), QuillonError);
    EXPECT_EQ(dir.Read("keep.png"), before);
}

} // namespace
} // namespace quillon
