// The PNG writer: files every reader takes back pixel for pixel, about as small as
// libpng's own writer makes them, with progress told on the caller's thread.
#include "codec_fixtures.h"

#include "imaging/codecs.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <random>
#include <thread>
#include <vector>

namespace quillon {
namespace {

// Gradients, a soft shape, texture and noise, as a photograph has.
TBitmap PhotoLike(int width, int height, unsigned seed)
{
    TBitmap b(width, height);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            const double texture = 12 * std::sin(x * 0.3 + std::sin(y * 0.05) * 4) * std::sin(y * 0.2);
            const double channels[3] = {90 + 120 * u + texture, 60 + 100 * v + 25 * std::sin(u * 7 + v * 3),
                                        160 - 90 * v + 30 * std::cos(u * 11) - texture};
            for (int c = 0; c < 3; ++c)
                b.Pixel(x, y)[c] = uint8_t(std::clamp(channels[c] + noise(random), 0.0, 255.0));
        }
    return b;
}

TBitmap Noise(int width, int height, unsigned seed)
{
    TBitmap b(width, height);
    std::mt19937 random(seed);
    for (size_t i = 0; i < b.SizeInBytes(); ++i)
        b.Data()[i] = uint8_t(random());
    return b;
}

// What libpng's simplified writer makes of the picture (zlib's default level).
std::string LibpngFile(const TBitmap& picture)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(picture.Width());
    image.height = png_uint_32(picture.Height());
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    std::string file(size, '\0');
    EXPECT_TRUE(png_image_write_to_memory(&image, file.data(), &size, 0, picture.Data(), png_int_32(picture.Stride()),
                                          nullptr));
    file.resize(size);
    return file;
}

// Shapes that reach every filter and edge: single pixels, rows of one, two and three
// bytes' worth, flat colour (no filter beats none), rows repeating the one above (up),
// smooth gradients, noise no filter helps, and sizes that go to both cores and fill
// several IDAT chunks.
TEST(CodecPngWriter, EveryPictureComesBackPixelForPixel)
{
    TBitmap flat(37, 21);
    std::fill_n(flat.Data(), flat.SizeInBytes(), uint8_t{0});
    TBitmap stripes(64, 40);
    for (int y = 0; y < stripes.Height(); ++y)
        for (int x = 0; x < stripes.Width(); ++x)
            stripes.Pixel(x, y)[x % 3] = uint8_t(x * 37);
    const struct {
        const char* name;
        TBitmap picture;
    } cases[] = {
        {"one pixel", Noise(1, 1, 1)},
        {"one column", Noise(1, 9, 2)},
        {"one row", Noise(13, 1, 3)},
        {"two pixels wide", test::MakeTestPicture(2, 17)},
        {"flat", flat},
        {"vertical stripes", stripes},
        {"gradients", test::MakeTestPicture(301, 203)},
        {"photo on both cores", PhotoLike(900, 700, 4)},
        {"noise over several chunks", Noise(1000, 700, 5)},
    };
    for (const auto& c : cases) {
        const std::string file = EncodePNG(c.picture);
        EXPECT_TRUE(DecodePNG(file) == c.picture) << c.name;
    }
}

TEST(CodecPngWriter, FilesAreAboutAsSmallAsLibpngMakesThem)
{
    for (const TBitmap& picture : {PhotoLike(640, 480, 6), test::MakeTestPicture(640, 480)}) {
        const double ours = double(EncodePNG(picture).size());
        const double libpng = double(LibpngFile(picture).size());
        EXPECT_LE(ours, libpng * 1.05) << picture.Width() << " x " << picture.Height();
    }
}

TEST(CodecPngWriter, TellsItsProgressOnTheCallersThread)
{
    for (const TBitmap& picture : {Noise(20, 10, 7), PhotoLike(1600, 1000, 8)}) {
        std::vector<double> told;
        bool elsewhere = false;
        const std::thread::id caller = std::this_thread::get_id();
        const std::string file = EncodePNG(picture, [&](double done) {
            told.push_back(done);
            elsewhere = elsewhere || std::this_thread::get_id() != caller;
        });
        ASSERT_GE(told.size(), 2u);
        EXPECT_EQ(told.front(), 0.0);
        EXPECT_EQ(told.back(), 1.0);
        EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
        EXPECT_FALSE(elsewhere);
        EXPECT_TRUE(DecodePNG(file) == picture);
    }
}

} // namespace
} // namespace quillon
