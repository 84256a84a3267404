#include "codec_fixtures.h"

#include "common/error.h"
#include "common/readfile.h"
#include "imaging/codecs.h"
#include "imaging/picturefiles.h"
#include "imaging/picturemessages.h"
#include "imaging/picturewriters.h"
#include "imaging/transforms.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

// Every pixel different: pixel (x, y) is (x, y, 10 * x + y); sides up to 256.
TBitmap Asymmetric(int w, int h)
{
    TBitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.Pixel(x, y);
            p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(10 * x + y);
        }
    return b;
}

// The source pixel that landed at (x, y), as its (x, y).
std::pair<int, int> Origin(const TBitmap& b, int x, int y)
{
    return {b.Pixel(x, y)[0], b.Pixel(x, y)[1]};
}

TEST(CodecTransforms, MirrorAndRotateMoveEveryPixelWhereTheMapsSay)
{
    // Small, and larger than the tiles the quarter turns walk, with partial tiles at the edges.
    for (auto [w, h] : {std::pair{3, 2}, std::pair{150, 70}}) {
        SCOPED_TRACE(w);
        TBitmap src = Asymmetric(w, h);
        struct {
            const char* name;
            TBitmap result;
            int width, height;
            std::pair<int, int> (*target)(int x, int y, int w, int h);
        } cases[] = {
            {"horizontal", MirrorBitmap(src, TMirrorDirection::Horizontal), w, h,
             [](int x, int y, int w, int) { return std::pair{w - 1 - x, y}; }},
            {"vertical", MirrorBitmap(src, TMirrorDirection::Vertical), w, h,
             [](int x, int y, int, int h) { return std::pair{x, h - 1 - y}; }},
            {"90", RotateBitmap(src, 90), h, w, [](int x, int y, int, int h) { return std::pair{h - 1 - y, x}; }},
            {"180", RotateBitmap(src, 180), w, h,
             [](int x, int y, int w, int h) { return std::pair{w - 1 - x, h - 1 - y}; }},
            {"270", RotateBitmap(src, 270), h, w, [](int x, int y, int w, int) { return std::pair{y, w - 1 - x}; }},
        };
        for (const auto& c : cases) {
            ASSERT_EQ(c.result.Width(), c.width) << c.name;
            ASSERT_EQ(c.result.Height(), c.height) << c.name;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    auto [tx, ty] = c.target(x, y, w, h);
                    ASSERT_EQ(Origin(c.result, tx, ty), std::pair(x, y)) << c.name;
                }
        }
        // The 90-degree turn's top row is the source's left column read from the bottom up.
        TBitmap turned = RotateBitmap(src, 90);
        EXPECT_EQ(Origin(turned, 0, 0), std::pair(0, h - 1));
        EXPECT_EQ(Origin(turned, h - 1, 0), std::pair(0, 0));
        EXPECT_THROW(RotateBitmap(src, 45), QuillonError);
    }
}

TEST(CodecPictureFiles, TurnedBandsAreTheRowsOfTheWholeTurnAndTheTurnedJPEGItsEncoding)
{
    test::TTempDir dir;
    // 150 x 70: neither side a multiple of the writer's 64-row bands.
    const TBitmap src = Asymmetric(150, 70);
    for (int angle : {90, 180, 270}) {
        const TBitmap whole = RotateBitmap(src, angle);
        TBitmap band;
        for (auto [top, count] : {std::pair{0, 1}, {5, 64}, {whole.Height() - 3, 3}}) {
            RotatedRows(src, angle, top, count, band);
            ASSERT_EQ(band.Width(), whole.Width()) << angle;
            ASSERT_EQ(band.Height(), count) << angle;
            for (int r = 0; r < count; ++r)
                ASSERT_TRUE(std::equal(band.Row(r), band.Row(r) + band.Stride(), whole.Row(top + r)))
                    << angle << " row " << top + r;
        }
        const std::string jpg = WriteRotatedFile(dir.AppDir(), "turned", pfJPEG, src, angle);
        EXPECT_EQ(ReadWholeFile(jpg), EncodeJPEG(whole, 100, TJPEGChroma::Full)) << angle;
    }
    TBitmap band;
    EXPECT_THROW(RotatedRows(src, 45, 0, 1, band), QuillonError);
}

TEST(CodecPictureFiles, WritersUseLowerCaseExtensionsAndFullPictures)
{
    test::TTempDir dir;
    std::string folder = dir.AppDir();
    TBitmap picture = test::MakeTestPicture(300, 200);
    EXPECT_EQ(WriteConvertedFile(folder, "photo", 0, picture), folder + "photo.bmp");
    EXPECT_EQ(LoadPicture(folder + "photo.bmp"), picture);
    EXPECT_EQ(WriteConvertedFile(folder, "photo", 3, picture), folder + "photo.png");
    EXPECT_EQ(LoadPicture(folder + "photo.png"), picture);

    std::string jpg = WriteRotatedFile(folder, "PHOTO", 1, picture, 90);
    EXPECT_EQ(jpg, folder + "PHOTO.jpg");
    TBitmap rotated = LoadPicture(jpg);
    EXPECT_EQ(rotated.Width(), 200);
    EXPECT_EQ(rotated.Height(), 300);
    EXPECT_GT(test::Psnr(rotated, RotateBitmap(picture, 90)), 30.0); // written at quality 100

    std::string gif = WriteMirroredFile(folder, "scan", 2, picture, TMirrorDirection::Vertical);
    EXPECT_EQ(gif, folder + "scan.gif");
    TBitmap mirrored = LoadPicture(gif);
    EXPECT_LE(test::CountColours(mirrored), 256u);
    EXPECT_GT(test::Psnr(mirrored, MirrorBitmap(picture, TMirrorDirection::Vertical)), 30.0);

    EXPECT_THROW(WriteConvertedFile(folder, "x", 4, picture), QuillonError);
    EXPECT_THROW(WriteConvertedFile(folder + "missing/", "x", 0, picture), QuillonError);
}

TEST(CodecPictureFiles, TempLogoFileFollowsTheNodeName)
{
    test::TTempDir dir;
    TBitmap logo = test::MakeTestPicture(40, 30);
    TLogoFileSettings settings{90, 3};
    std::string gif = MakeTempLogoFile(dir.AppDir(), "holiday.GIF", logo, settings);
    EXPECT_EQ(gif, dir.AppDir() + "Temp/holiday.GIF");
    EXPECT_LE(test::CountColours(LoadPicture(gif)), 8u);
    // The name's extension decides the format, also when the target says otherwise.
    std::string png = dir.AppDir() + "beach.jpg";
    ASSERT_TRUE(WriteLogoFile(png, "beach.png", logo, settings));
    EXPECT_EQ(DecodePNG(dir.Read("beach.jpg")), logo);
    std::string jpeg = MakeTempLogoFile(dir.AppDir(), "a.JPEG", logo, settings);
    EXPECT_EQ(LoadPicture(jpeg).Width(), 40);
    EXPECT_EQ(MakeTempLogoFile(dir.AppDir(), "notes.txt", logo, settings), "");
    EXPECT_FALSE(dir.Exists("Temp/notes.txt"));
    EXPECT_EQ(MakeTempLogoFile(dir.AppDir(), "../escape.png", logo, settings), "");
    EXPECT_EQ(MakeTempLogoFile(dir.AppDir(), "empty.png", TBitmap(), settings), "");
    // A Temp that is a file, not a folder, writes nothing.
    test::TTempDir other;
    other.Write("Temp", "x");
    EXPECT_EQ(MakeTempLogoFile(other.AppDir(), "a.png", logo, settings), "");
}

TEST(CodecPictureFiles, CheckPictureFileGivesTheMessageToShow)
{
    test::TTempDir dir;
    std::string path = dir.AppDir();
    SavePicture(path + "thin.png", TBitmap(15, 300), pfPNG);
    SavePicture(path + "flat.bmp", TBitmap(300, 15), pfBMP);
    SavePicture(path + "least.gif", TBitmap(16, 16), pfGIF);
    dir.Write("broken.jpg", "\xFF\xD8\xFF\xE0 not really");
    std::string huge = EncodeBMP(TBitmap(1, 1));
    huge[18] = huge[19] = huge[22] = huge[23] = '\x7F'; // 32639 x 32639
    dir.Write("huge.bmp", huge);
    struct {
        const char* name;
        std::string message;
    } cases[] = {{"thin.png", kMsgImageTooSmall},      {"flat.bmp", kMsgImageTooSmall},
                 {"least.gif", ""},                    {"broken.jpg", kMsgErrorLoadingImage},
                 {"missing.png", kMsgErrorLoadingImage}, {"huge.bmp", kMsgImageTooLarge}};
    for (const auto& c : cases)
        EXPECT_EQ(CheckPictureFile(path + c.name), c.message) << c.name;
}

} // namespace
} // namespace quillon
