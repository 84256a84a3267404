#include "codec_fixtures.h"
#include "codec_writers.h"
#include "support/tempdir.h"

#include "common/error.h"
#include "imaging/codecs.h"
#include "imaging/picturecache.h"
#include "imaging/picturefiles.h"
#include "imaging/pictureshow.h"
#include "logodir/logodirobject.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace quillon {
namespace {

TLogoDirObject Node(int width, int height, int fitkind)
{
    TLogoDirObject node(nkLogo, "logo.jpg");
    node.logowidth = width;
    node.logoheight = height;
    node.fitkind = fitkind;
    return node;
}

// The show one step after another: decode, display picture, frame, logo.
struct TSequentialShow {
    TSequentialShow(const std::string& path, TLogoDirObject& node, const TShowSettings& settings)
        : image(LoadPicture(path), node, settings.pane, settings.fitToPane, settings.fill)
    {
        image.BuildDisplayPicture();
        image.PlaceFrameIfMissing();
        image.RenderLogo(logo);
    }
    TSourceImage image;
    TBitmap logo;
};

void ExpectSameShow(const TSourceImage& image, const TBitmap& logo, const TSequentialShow& expected,
                    const std::string& what)
{
    EXPECT_TRUE(image.DisplayPicture() == expected.image.DisplayPicture()) << what;
    EXPECT_TRUE(image.LogoPicture() == expected.image.LogoPicture()) << what;
    EXPECT_TRUE(logo == expected.logo) << what;
    EXPECT_EQ(image.Frame(), expected.image.Frame()) << what;
}

// Sizes that make the resampler read the picture's last rows, rows at a band edge, and a
// picture that fits its pane 1:1.
TEST(ShowPicture, GivesTheSameBytesAsTheStepsOneAfterAnother)
{
    const test::TTempDir dir;
    const TBitmap source = test::MakeTestPicture(1003, 517);
    struct File {
        const char* name;
        std::string data;
    };
    const File files[] = {
        {"baseline.jpg", EncodeJPEG(source, 90)},
        {"progressive.jpg", test::WriteJpeg(640, 480, 3, [](int x, int y, int c) { return uint8_t(x * 3 + y * c); },
                                            [](jpeg_compress_struct& c) { jpeg_simple_progression(&c); })},
        {"picture.png", EncodePNG(test::MakeTestPicture(300, 900))},
    };
    for (const File& file : files) {
        const std::string path = dir.Write(file.name, file.data).string();
        for (bool fit : {false, true})
            for (int fitkind : {0, 2, 3}) {
                const TShowSettings settings{{600, 400}, fit, {true, 0x00336699}};
                TLogoDirObject expectedNode = Node(176, 208, fitkind), node = Node(176, 208, fitkind);
                const TSequentialShow expected(path, expectedNode, settings);
                TBitmap logo;
                const auto image = ShowPicture(path, node, settings, logo);
                ExpectSameShow(*image, logo, expected,
                               std::string(file.name) + (fit ? " fitted" : " 1:1") + ", fit kind " +
                                   std::to_string(fitkind));
            }
    }
}

TEST(ShowPicture, ADamagedFileFailsAndLeavesNoThreadBehind)
{
    const test::TTempDir dir;
    std::string jpeg = EncodeJPEG(test::MakeTestPicture(800, 600), 90);
    const std::string path = dir.Write("cut.jpg", jpeg.substr(0, jpeg.size() / 2)).string();
    TLogoDirObject node = Node(128, 128, 3);
    TBitmap logo;
    for (int round = 0; round < 3; ++round)
        EXPECT_THROW(ShowPicture(path, node, {{600, 400}, true, {}}, logo), QuillonError);
    const std::string missing = (dir.Path() / "missing.jpg").string();
    EXPECT_THROW(ShowPicture(missing, node, {{600, 400}, true, {}}, logo), QuillonError);
}

// The kept picture is used while the file's inode, size and time are those it was decoded
// from: a file overwritten with garbage of the same size and given back its time still
// shows the kept picture (so it was not decoded); once its time changes it is decoded again.
TEST(ShowPicture, KeepsTheDecodedPictureWhileTheFileIsUnchanged)
{
    const test::TTempDir dir;
    const std::string jpeg = EncodeJPEG(test::MakeTestPicture(320, 240), 90);
    const std::string path = dir.Write("logo.jpg", jpeg).string();
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);

    TPictureCache cache;
    TLogoDirObject node = Node(128, 96, 3);
    const TShowSettings settings{{200, 200}, true, {}};
    TBitmap first, second;
    const auto shown = ShowPicture(path, node, settings, first, &cache);
    ASSERT_TRUE(cache.Find(path));

    dir.Write("logo.jpg", std::string(jpeg.size(), 'x'));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const auto again = ShowPicture(path, node, settings, second, &cache);
    EXPECT_TRUE(second == first);
    EXPECT_TRUE(again->DisplayPicture() == shown->DisplayPicture());
    EXPECT_EQ(again->SharedSourcePicture(), shown->SharedSourcePicture()); // the same pixels, not a copy

    const timespec later[2] = {before.st_atim, {before.st_mtim.tv_sec + 5, before.st_mtim.tv_nsec}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
    EXPECT_FALSE(cache.Find(path));
    EXPECT_THROW(ShowPicture(path, node, settings, second, &cache), QuillonError);

    // Another file's picture replaces the kept one.
    const std::string other = dir.Write("other.png", EncodePNG(test::MakeTestPicture(50, 40))).string();
    ShowPicture(other, node, settings, second, &cache);
    EXPECT_TRUE(cache.Find(other));
    EXPECT_FALSE(cache.Find(path));
}

} // namespace
} // namespace quillon
