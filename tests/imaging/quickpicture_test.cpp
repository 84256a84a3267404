#include "codec_fixtures.h"
#include "codec_writers.h"
#include "support/tempdir.h"

#include "common/error.h"
#include "imaging/codecs.h"
#include "imaging/exiforientation.h"
#include "imaging/picturefiles.h"
#include "imaging/pictureshow.h"
#include "imaging/quickpicture.h"
#include "imaging/resampler.h"
#include "imaging/sourceimage.h"
#include "logodir/logodirobject.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quillon {
namespace {

// Smooth like a photo: a reduced decode is compared with a scaled-down full one, and hard
// edges would measure the two filters rather than the decode.
TBitmap Smooth(int width, int height)
{
    TBitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = b.Pixel(x, y);
            p[0] = static_cast<uint8_t>(128 + 100 * std::sin(x / 37.0));
            p[1] = static_cast<uint8_t>(128 + 100 * std::cos(y / 23.0));
            p[2] = static_cast<uint8_t>((x + y) * 255 / (width + height));
        }
    return b;
}

// A JPEG whose EXIF orientation asks for `orientation` (big-endian TIFF, one entry).
std::string TurnedJpeg(const TBitmap& picture, int orientation)
{
    const std::string tiff{"MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 19};
    const std::string body = std::string("Exif\0\0", 6) + tiff + static_cast<char>(orientation) + std::string(7, '\0');
    const std::string segment =
        std::string{'\xFF', '\xE1', static_cast<char>((body.size() + 2) >> 8), static_cast<char>(body.size() + 2)} +
        body;
    const std::string jpeg = EncodeJPEG(picture, 92);
    return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

TBitmap Crop(const TBitmap& b, const TRect& r)
{
    TBitmap out(r.Width(), r.Height());
    for (int y = 0; y < r.Height(); ++y)
        std::copy_n(b.Pixel(r.left, r.top + y), out.Stride(), out.Row(y));
    return out;
}

TEST(QuickPicture, ReducedDecodeHasTheScaledSizeAndLooksLikeTheFullOneScaledDown)
{
    // Sizes that are no multiple of any block.
    const std::string file = EncodeJPEG(Smooth(1001, 667), 92);
    const TBitmap full = DecodeJPEG(file);
    for (int d : {1, 2, 4, 8}) {
        TJPEGPart part{d, 0, 1001, 667};
        const TBitmap reduced = DecodeJPEGPart(file, part);
        ASSERT_EQ(reduced.Width(), (1001 + d - 1) / d) << d;
        ASSERT_EQ(reduced.Height(), (667 + d - 1) / d) << d;
        EXPECT_EQ(part.right, 1001);
        EXPECT_EQ(part.bottom, 667);
        if (d == 1) {
            EXPECT_EQ(reduced, full);
            continue;
        }
        TBitmap down(reduced.Width(), reduced.Height());
        StretchCopy(full, down, {0, 0, down.Width(), down.Height()}, {0, 0, 1001, 667});
        EXPECT_GT(Psnr(down, reduced), 30) << "1/" << d;
    }
    TJPEGPart odd{3, 0, 10, 10};
    EXPECT_THROW(DecodeJPEGPart(file, odd), QuillonError);
}

TEST(QuickPicture, APartIsThePartOfTheWholeDecodeAndNoRowMore)
{
    const int w = 1001, h = 667;
    const std::string file = EncodeJPEG(Smooth(w, h), 92);
    for (const TJPEGPart asked : {TJPEGPart{1, 300, 500, 100}, TJPEGPart{2, 0, w, 241}, TJPEGPart{4, 517, w, h},
                                  TJPEGPart{8, 16, 40, 9}}) {
        const int d = asked.denominator;
        TJPEGPart part = asked;
        const TBitmap got = DecodeJPEGPart(file, part);
        const std::string what = "1/" + std::to_string(d) + " from " + std::to_string(asked.left);
        EXPECT_LE(part.left, asked.left) << what;
        EXPECT_GE(part.right, asked.right) << what;
        EXPECT_EQ(part.left % d, 0) << what;
        EXPECT_EQ(part.bottom, std::min((asked.bottom + d - 1) / d * d, h)) << what;
        TJPEGPart whole{d, 0, w, h};
        const TBitmap all = DecodeJPEGPart(file, whole);
        ASSERT_EQ(got.Height(), (part.bottom + d - 1) / d) << what;
        const TRect inAll{part.left / d, 0, part.left / d + got.Width(), got.Height()};
        ASSERT_LE(inAll.right, all.Width()) << what;
        EXPECT_GT(Psnr(Crop(all, inAll), got), 45) << what;
    }
    TJPEGPart none{2, 0, w, 0};
    EXPECT_TRUE(DecodeJPEGPart(file, none).Empty());

    // The data past the part is never read: a file cut short still gives its top.
    const std::string cut = file.substr(0, file.size() * 2 / 3);
    EXPECT_THROW(DecodeJPEG(cut), QuillonError);
    TJPEGPart top{8, 0, w, h / 4};
    EXPECT_EQ(DecodeJPEGPart(cut, top).Height(), (h / 4 + 7) / 8);
}

TEST(QuickPicture, ScaleIsTheSmallestThatStillCoversTheView)
{
    struct Case {
        TSize full, need;
        int denominator;
    };
    for (const Case& c : {Case{{6000, 4000}, {700, 466}, 8}, Case{{6000, 4000}, {751, 466}, 4},
                          Case{{6001, 4000}, {751, 466}, 8}, Case{{6000, 4000}, {1501, 10}, 2},
                          Case{{6000, 4000}, {3001, 2000}, 1}, Case{{6000, 4000}, {6000, 4000}, 1},
                          Case{{4000, 6000}, {500, 750}, 8}})
        EXPECT_EQ(QuickScaleDenominator(c.full, c.need), c.denominator)
            << c.full.width << "x" << c.full.height << " for " << c.need.width << "x" << c.need.height;
}

TEST(QuickPicture, OrientedRectanglesAreWhereTheTurnedPictureHasThem)
{
    const TSize stored{7, 5};
    for (int o = 1; o <= 8; ++o)
        for (const TRect& r : {TRect{0, 0, 7, 5}, TRect{1, 2, 4, 3}, TRect{5, 0, 7, 4}, TRect{0, 4, 1, 5}}) {
            TBitmap marked(stored.width, stored.height);
            FillRect(marked, r, kWhite);
            const TBitmap turned = ApplyExifOrientation(marked, o);
            TRect box{turned.Width(), turned.Height(), 0, 0};
            for (int y = 0; y < turned.Height(); ++y)
                for (int x = 0; x < turned.Width(); ++x)
                    if (turned.Pixel(x, y)[0])
                        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                               std::max(box.bottom, y + 1)};
            const TRect upright = UprightRect(r, stored, o);
            EXPECT_EQ(upright, box) << "orientation " << o;
            EXPECT_EQ(StoredRect(upright, {turned.Width(), turned.Height()}, o), r) << "orientation " << o;
        }
}

TEST(QuickPicture, VisiblePartFollowsTheDisplay)
{
    // A 1000 x 500 picture, a 128 x 128 logo: the work area is 1000 x 1000.
    const TSize picture{1000, 500}, work{1000, 1000};
    // Fitted into a 600 x 400 pane it is shown whole.
    const TDisplayLayout fitted = ComputeDisplayLayout(picture, work, {600, 400}, true);
    EXPECT_EQ(VisiblePicturePart(fitted, picture, {600, 400}), (TRect{0, 0, 1000, 500}));
    // At its own size the pane shows the band above it and its first 150 rows.
    const TDisplayLayout own = ComputeDisplayLayout(picture, work, {600, 400}, false);
    EXPECT_EQ(VisiblePicturePart(own, picture, {600, 400}), (TRect{0, 0, 600, 150}));
    EXPECT_TRUE(VisiblePicturePart(own, picture, {600, 250}).IsEmpty());
}

TEST(QuickPicture, ATurnedPhotoComesUprightWholeOrInPart)
{
    const std::string file = TurnedJpeg(test::MakeTestPicture(640, 480), 6);
    ASSERT_EQ(UprightJPEGSize(file), (TSize{480, 640}));
    const TSize full{480, 640};
    const TSize work = WorkAreaSize(full, {128, 128});

    // Fitted into 200 x 200: the display picture is 150 x 200, and half size covers it.
    const TDisplayLayout fitted = ComputeDisplayLayout(full, work, {200, 200}, true);
    const TQuickPicture whole = DecodeQuickPicture(file, fitted, {0, 0, 480, 640});
    EXPECT_EQ(whole.full, full);
    EXPECT_EQ(whole.covered, (TRect{0, 0, 480, 640}));
    TJPEGPart half{2, 0, 640, 480};
    EXPECT_EQ(whole.picture, ApplyExifOrientation(DecodeJPEGPart(file, half), 6));

    // At its own size only the part on screen, at full scale, as the full decode has it.
    const TDisplayLayout own = ComputeDisplayLayout(full, work, {200, 100}, false);
    const TRect seen = VisiblePicturePart(own, full, {200, 100});
    const TQuickPicture part = DecodeQuickPicture(file, own, seen);
    EXPECT_EQ(Intersect(part.covered, seen), seen);
    ASSERT_EQ(part.picture.Width(), part.covered.Width());
    ASSERT_EQ(part.picture.Height(), part.covered.Height());
    EXPECT_GT(Psnr(Crop(DecodePicture(file, pfJPEG), part.covered), part.picture), 45);
}

TEST(QuickPicture, ViewIsLaidOutAsTheFullPictureWillBe)
{
    const test::TTempDir dir;
    const std::string path = dir.Write("wide.jpg", EncodeJPEG(Smooth(2400, 1000), 92)).string();
    const std::string file = EncodeJPEG(Smooth(2400, 1000), 92);
    for (bool fit : {true, false}) {
        TLogoDirObject node(nkLogo, "wide.jpg");
        node.logowidth = 176;
        node.logoheight = 208;
        TSourceImage image(LoadPicture(path), node, {600, 400}, fit);
        image.PlaceFrameIfMissing();
        image.BuildDisplayPicture();
        const TDisplayLayout layout = image.Display();
        const TRect seen = VisiblePicturePart(layout, {2400, 1000}, {600, 400});
        const TQuickView quick(DecodeQuickPicture(file, layout, seen), layout, image.Frame());
        ASSERT_EQ(quick.Display(), layout);

        // The part of the display on screen, drawn by both.
        TBitmap expected(std::min(600, layout.display.width), std::min(400, layout.display.height));
        TBitmap got(expected.Width(), expected.Height());
        image.DrawSourceView(expected, {0, 0});
        quick.DrawSourceView(got, {0, 0});
        EXPECT_GT(Psnr(expected, got), 30) << (fit ? "fitted" : "1:1");
        // The border and the frame are the same pixels.
        for (const TPoint p : {TPoint{0, 0}, TPoint{got.Width() - 1, 0}, TPoint{0, got.Height() / 2}})
            EXPECT_TRUE(std::equal(got.Pixel(p.x, p.y), got.Pixel(p.x, p.y) + 3, expected.Pixel(p.x, p.y)));
        const TRect frame = image.DisplayFrame();
        if (frame.top < got.Height() && frame.left + 10 < got.Width()) {
            EXPECT_TRUE(std::equal(got.Pixel(frame.left + 10, frame.top), got.Pixel(frame.left + 10, frame.top) + 3,
                                   expected.Pixel(frame.left + 10, frame.top)));
        }
    }
}

class TCancelAt : public TDecodeListener {
public:
    void Started(const TBitmap&) override { started = true; }
    void RowsDone(int) override {}
    bool Cancelled() const override { return started || cancelBeforeStart; }
    bool started = false;
    bool cancelBeforeStart = false;
};

TEST(QuickPicture, ACancelledDecodeStopsWithAnError)
{
    const TBitmap picture = test::MakeTestPicture(640, 480);
    const std::string baseline = EncodeJPEG(picture, 90);
    const std::string progressive = test::WriteJpeg(640, 480, 3, [](int x, int y, int c) { return uint8_t(x + y * c); },
                                                    [](jpeg_compress_struct& c) { jpeg_simple_progression(&c); });
    for (const std::string* file : {&baseline, &progressive}) {
        TBitmap out;
        TCancelAt midway;
        EXPECT_THROW(DecodeJPEGInto(*file, out, &midway), QuillonError);
        TCancelAt early;
        early.cancelBeforeStart = true;
        EXPECT_THROW(DecodeJPEGInto(*file, out, &early), QuillonError);
        if (file == &progressive) {
            EXPECT_FALSE(early.started) << "a progressive file stops among its scans";
        }
        TJPEGPart part{8, 0, 640, 480};
        EXPECT_THROW(DecodeJPEGPart(*file, part, &early), QuillonError);
    }

    // The show stops too, a turned photo as well as an upright one.
    const test::TTempDir dir;
    for (const auto& [name, data] : {std::pair{"upright.jpg", baseline}, std::pair{"turned.jpg", TurnedJpeg(picture, 6)}}) {
        const std::string path = dir.Write(name, data).string();
        TLogoDirObject node(nkLogo, name);
        TBitmap logo;
        const std::atomic<bool> cancel{true};
        EXPECT_THROW(ShowPicture(path, node, {{600, 400}, false, {}}, logo, nullptr, &cancel), QuillonError) << name;
    }
}

} // namespace
} // namespace quillon
