#include "imaging/bitmap.h"
#include "imaging/geometry.h"
#include "imaging/sourceimage.h"
#include "logodir/logodirobject.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace quillon {
namespace {

TBitmap Solid(int width, int height, TRgb color)
{
    TBitmap picture(width, height);
    FillRect(picture, {0, 0, width, height}, color);
    return picture;
}

TLogoDirObject Logo(int width, int height, uint8_t fitkind = fkBigger, bool keep = true)
{
    TLogoDirObject node(nkLogo, "logo.jpg");
    node.logowidth = width;
    node.logoheight = height;
    node.fitkind = fitkind;
    node.keepproportions = keep;
    return node;
}

TEST(WorkAreaSize, ExtendsThePictureToTheLogoProportions)
{
    EXPECT_EQ(WorkAreaSize({300, 200}, {128, 128}), (TSize{300, 300}));
    EXPECT_EQ(WorkAreaSize({256, 256}, {128, 128}), (TSize{256, 256}));
    EXPECT_EQ(WorkAreaSize({1000, 500}, {128, 128}), (TSize{1000, 1000}));
    EXPECT_EQ(WorkAreaSize({300, 200}, {200, 100}), (TSize{400, 200}));
    EXPECT_EQ(WorkAreaSize({6000, 4000}, {16, 400}), (TSize{6000, 150000}));
}

TEST(PlaceInitialFrame, EachFitKind)
{
    const struct {
        TSize picture, logo;
        uint8_t fitkind;
        TRect frame;
    } cases[] = {
        {{300, 200}, {128, 128}, fkWidth, {0, 0, 300, 300}},
        {{300, 200}, {128, 128}, fkHeight, {50, 50, 250, 250}},
        {{300, 200}, {128, 128}, fkSmaller, {50, 50, 250, 250}},
        {{300, 200}, {128, 128}, fkBigger, {0, 0, 300, 300}},
        {{256, 256}, {128, 128}, fkWidth, {0, 0, 256, 256}},
        {{256, 256}, {128, 128}, fkHeight, {0, 0, 256, 256}},
        {{256, 256}, {128, 128}, fkSmaller, {0, 0, 256, 256}},
        {{256, 256}, {128, 128}, fkBigger, {0, 0, 256, 256}},
        // A wide logo: the work area grows sideways.
        {{300, 200}, {200, 100}, fkWidth, {50, 25, 350, 175}},
        {{300, 200}, {200, 100}, fkHeight, {0, 0, 400, 200}},
        {{300, 200}, {200, 100}, fkSmaller, {50, 25, 350, 175}},
        {{300, 200}, {200, 100}, fkBigger, {0, 0, 400, 200}},
    };
    for (const auto& c : cases) {
        TLogoDirObject node = Logo(c.logo.width, c.logo.height, c.fitkind);
        TSourceImage image(TBitmap(c.picture.width, c.picture.height), node, {800, 600}, false);
        image.PlaceInitialFrame();
        EXPECT_EQ(image.Frame(), c.frame) << c.picture.width << "x" << c.picture.height << " kind " << int(c.fitkind);
        EXPECT_EQ(image.FitBounds(), c.frame);
        EXPECT_EQ(node.framewidth, c.frame.Width());
    }
}

TEST(SourceImage, FrameInPictureCoordinatesUsesThePictureOffset)
{
    TLogoDirObject node = Logo(128, 128);
    TSourceImage image(TBitmap(300, 200), node, {800, 600}, false);
    EXPECT_EQ(image.PictureOffset(), (TSize{0, 50}));
    image.SetFrame({-25 + 0, 50, 225, 250});
    EXPECT_EQ(image.FrameInPicture(), (TRect{-25, 0, 225, 200}));
}

struct LogoCase {
    const char* name;
    bool keep;
    bool fill;
    TRect content;
    TSize logoPicture;
};

class RenderLogo : public ::testing::TestWithParam<LogoCase> {};

void PrintTo(const LogoCase& c, std::ostream* os) { *os << c.name; }

// A 300 x 200 picture in a 300 x 300 work area, the frame over all of it, a 128 x 128 logo.
TEST_P(RenderLogo, ContentBandsAndLogoPicture)
{
    const LogoCase& c = GetParam();
    const TRgb red{200, 10, 10};
    const TRgb fill{1, 2, 3};
    TLogoDirObject node = Logo(128, 128, fkBigger, c.keep);
    TSourceImage image(Solid(300, 200, red), node, {800, 600}, false, {c.fill, 0x00030201});
    image.PlaceInitialFrame();
    TBitmap target;
    image.RenderLogo(target);
    ASSERT_EQ(target.Width(), 128);
    ASSERT_EQ(target.Height(), 128);
    const TRgb band = c.fill ? fill : kWhite;
    for (int y = 1; y < 127; ++y)
        for (int x = 1; x < 127; ++x) {
            const uint8_t* p = target.Pixel(x, y);
            const TRgb want = c.content.Contains(x, y) ? red : band;
            ASSERT_EQ((TRgb{p[0], p[1], p[2]}), want) << x << "," << y;
        }
    for (int i = 0; i < 128; ++i) {
        const uint8_t* edges[] = {target.Pixel(i, 0), target.Pixel(i, 127), target.Pixel(0, i), target.Pixel(127, i)};
        for (const uint8_t* p : edges)
            ASSERT_EQ((TRgb{p[0], p[1], p[2]}), kPreviewBorderColor);
    }
    const TBitmap& logo = image.LogoPicture();
    ASSERT_EQ((TSize{logo.Width(), logo.Height()}), c.logoPicture);
    // Taken before the grey border: its corners are content or band.
    const uint8_t* corner = logo.Pixel(0, 0);
    EXPECT_EQ((TRgb{corner[0], corner[1], corner[2]}), c.fill ? band : red);
}

INSTANTIATE_TEST_SUITE_P(Fill, RenderLogo,
                         ::testing::Values(LogoCase{"Keep", true, false, {0, 21, 128, 107}, {128, 86}},
                                           LogoCase{"KeepFilled", true, true, {0, 21, 128, 107}, {128, 128}},
                                           LogoCase{"Fitted", false, false, {0, 21, 128, 106}, {128, 85}},
                                           LogoCase{"FittedFilled", false, true, {0, 21, 128, 106}, {128, 128}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ClipToPicture, RoundsHalvesToEvenThenCentres)
{
    // fx = 0.5: an overhang of 5 removes 2.5 -> 2 logo pixels, one of 7 removes 3.5 -> 4.
    const struct {
        TRect source;
        TRect clippedSource, dest;
    } cases[] = {
        {{-5, 0, 195, 200}, {0, 0, 195, 200}, {1, 0, 99, 100}},
        {{-7, 0, 193, 200}, {0, 0, 193, 200}, {2, 0, 98, 100}},
    };
    for (const auto& c : cases) {
        TRect s = c.source;
        TRect d{0, 0, 100, 100};
        ClipToPicture(s, d, {200, 200}, true);
        EXPECT_EQ(s, c.clippedSource);
        EXPECT_EQ(d, c.dest);
    }
}

TEST(ClipToPicture, OverhangOnOneSideStillCentresThePicturePart)
{
    TRect s{-60, 0, 240, 300};
    TRect d{0, 0, 100, 100};
    ClipToPicture(s, d, {300, 300}, true);
    EXPECT_EQ(d, (TRect{10, 0, 90, 100}));
    TRect fitted{-60, 0, 240, 300};
    TRect fd{0, 0, 100, 100};
    ClipToPicture(fitted, fd, {300, 300}, false);
    EXPECT_EQ(fitted, (TRect{0, 0, 240, 300}));
    EXPECT_EQ(fd, (TRect{10, 0, 90, 100}));
}

TEST(SourceImage, FrameWithoutPictureLeavesTheLastLogoPicture)
{
    TLogoDirObject node = Logo(128, 128, fkBigger);
    TSourceImage image(Solid(300, 200, {9, 9, 9}), node, {800, 600}, false, {true, 0x00FF0000});
    image.PlaceInitialFrame();
    TBitmap target;
    image.RenderLogo(target);
    const TBitmap before = image.LogoPicture();
    const TRect outside[] = {{0, 0, 40, 50}, {100, 250, 140, 300}, {-1, 0, 0, 100}};
    for (const TRect& frame : outside) {
        image.SetFrame(frame);
        EXPECT_FALSE(image.FrameCoversPicture());
        image.RenderLogo(target);
        EXPECT_TRUE(image.LogoPicture() == before);
        const uint8_t* p = target.Pixel(64, 64);
        EXPECT_EQ((TRgb{p[0], p[1], p[2]}), (TRgb{0, 0, 255}));
    }
    image.SetFrame({0, 49, 40, 51});
    EXPECT_TRUE(image.FrameCoversPicture());
}

TEST(SourceImage, FitToPaneScalesTheWorkAreaByOneFactor)
{
    TLogoDirObject node = Logo(128, 128);
    TSourceImage image(Solid(1000, 500, {50, 60, 70}), node, {600, 400}, true);
    const TBitmap& shown = image.BuildDisplayPicture();
    EXPECT_EQ(image.Display().display, (TSize{400, 400}));
    EXPECT_EQ(image.DisplayPictureRect(), (TRect{0, 100, 400, 300}));
    EXPECT_EQ((TSize{shown.Width(), shown.Height()}), (TSize{400, 200}));
    const uint8_t* p = shown.Pixel(200, 100);
    EXPECT_EQ((TRgb{p[0], p[1], p[2]}), (TRgb{50, 60, 70}));
    EXPECT_EQ(image.DisplayToWork({100, 150}), (TPoint{250, 375}));
    EXPECT_EQ(image.WorkToDisplay({250, 375}), (TPoint{100, 150}));
    image.PlaceInitialFrame();
    EXPECT_EQ(image.DisplayFrame(), (TRect{0, 0, 400, 400}));
}

TEST(SourceImage, PaneThatHoldsTheWorkAreaShowsItOneToOne)
{
    TLogoDirObject node = Logo(128, 128);
    TSourceImage image(Solid(300, 200, kBlack), node, {800, 600}, true);
    const TBitmap& shown = image.BuildDisplayPicture();
    EXPECT_FALSE(image.Display().scaled);
    EXPECT_EQ(image.Display().display, (TSize{300, 300}));
    EXPECT_EQ(image.DisplayPictureRect(), (TRect{0, 50, 300, 250}));
    EXPECT_EQ(shown.Data(), image.SourcePicture().Data());
}

TEST(SourceImage, TallWorkAreaKeepsOnlyThePictureAsPixels)
{
    // A 16 x 400 logo makes the work area 25 times taller than the picture.
    TLogoDirObject node = Logo(16, 400);
    TSourceImage image(Solid(600, 400, kBlack), node, {800, 600}, false);
    const TBitmap& shown = image.BuildDisplayPicture();
    EXPECT_EQ(image.Display().display, (TSize{600, 15000}));
    EXPECT_EQ(image.DisplayPictureRect(), (TRect{0, 7300, 600, 7700}));
    EXPECT_EQ(shown.Data(), image.SourcePicture().Data());
    TLogoDirObject fitted = Logo(16, 400);
    TSourceImage scaled(Solid(600, 400, kBlack), fitted, {800, 600}, true);
    EXPECT_EQ(scaled.BuildDisplayPicture().SizeInBytes(), size_t{24} * 16 * 3);
    EXPECT_EQ(scaled.Display().display, (TSize{24, 600}));
}

TEST(SourceImage, EraseFrameRestoresTheViewUnderTheFrame)
{
    TLogoDirObject node = Logo(128, 128);
    TBitmap picture(60, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            picture.Pixel(x, y)[1] = static_cast<uint8_t>(x * 4 + y);
    TSourceImage image(std::move(picture), node, {800, 600}, false);
    image.BuildDisplayPicture();
    image.SetFrame({0, 5, 30, 40});
    TBitmap plain(60, 60);
    image.CopyDisplay(plain, {0, 0});
    image.DrawWorkAreaBorder(plain, {0, 0});
    // The frame lies on the blue border at the left: erasing must draw the border again.
    TBitmap canvas(60, 60);
    image.DrawSourceView(canvas, {0, 0});
    EXPECT_FALSE(canvas == plain);
    image.EraseFrame(canvas, {0, 0});
    EXPECT_TRUE(canvas == plain);
    const uint8_t* band = plain.Pixel(30, 3);
    EXPECT_EQ((TRgb{band[0], band[1], band[2]}), kWhite);
    const uint8_t* border = plain.Pixel(0, 30);
    EXPECT_EQ((TRgb{border[0], border[1], border[2]}), kWorkAreaBorderColor);
}

} // namespace
} // namespace quillon

namespace quillon {
namespace {

TEST(SourceImage, DragFromTheScaledViewWritesTheNodeFrame)
{
    // 1000 x 1000 work area shown 400 x 400: one display pixel is 2.5 work pixels.
    TLogoDirObject node = Logo(128, 128, fkBigger, true);
    TSourceImage image(TBitmap(1000, 500), node, {600, 400}, true);
    image.BuildDisplayPicture();
    image.SetFrame({250, 250, 750, 750});
    const TSourceImage::TDrag move = image.BeginDrag({150, 150});
    EXPECT_EQ(move.zone, hcInside);
    EXPECT_EQ(image.DragFrame(move, {170, 130}), (TRect{300, 200, 800, 700}));
    EXPECT_EQ(node.frameleft, 300);
    EXPECT_EQ(node.framewidth, 500);
    // Still measured from button-down, and stopped at the work area's edge.
    EXPECT_EQ(image.DragFrame(move, {500, 150}), (TRect{500, 250, 1000, 750}));
    image.SetFrame({250, 250, 750, 750});
    const TSourceImage::TDrag corner = image.BeginDrag({301, 301});
    EXPECT_EQ(corner.zone, hcBottomRight);
    // Only the horizontal offset shrinks the frame; the unchanged vertical one gives the larger frame.
    EXPECT_EQ(image.DragFrame(corner, {291, 301}), (TRect{250, 250, 750, 750}));
    EXPECT_EQ(image.DragFrame(corner, {291, 291}), (TRect{250, 250, 725, 725}));
    EXPECT_EQ(image.BeginDrag({10, 10}).zone, hcOutside);
}

TEST(SourceImage, PlacesAFrameWhenTheStoredOneIsMissingOrImpossible)
{
    const struct {
        int32_t left, top, width, height;
        bool placed;
    } cases[] = {
        {-1, -1, -1, -1, true},         // never placed
        {10, 20, 100, 100, false},      // a frame the user made
        {0, 0, 300, 300, false},        // the whole work area
        {250, 0, 100, 100, true},       // past the right edge
        {0, -5, 100, 100, true},        // above the work area
        {10, 10, 0, 100, true},         // without width
        {10, 10, INT32_MAX, 100, true}, // would overflow
    };
    for (const auto& c : cases) {
        TLogoDirObject node = Logo(128, 128, fkSmaller);
        node.frameleft = c.left;
        node.frametop = c.top;
        node.framewidth = c.width;
        node.frameheight = c.height;
        TSourceImage image(TBitmap(300, 200), node, {800, 600}, false);
        EXPECT_EQ(image.PlaceFrameIfMissing(), c.placed) << c.left << "," << c.top << " " << c.width;
        if (c.placed)
            EXPECT_EQ(image.Frame(), (TRect{50, 50, 250, 250}));
        else
            EXPECT_EQ(image.Frame(), (TRect{c.left, c.top, c.left + c.width, c.top + c.height}));
    }
}

TEST(WorkAreaSize, SurvivesALogoSizeWithoutExtent)
{
    EXPECT_EQ(WorkAreaSize({300, 200}, {0, 128}), (TSize{300, 38400}));
}

} // namespace
} // namespace quillon
