#include "acquire/acquiremessages.h"
#include "acquire/grabselection.h"

#include <functional>
#include <gtest/gtest.h>

using namespace quillon;

namespace {

TBitmap Pattern(int w, int h)
{
    TBitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.Pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 3 + y);
            p[1] = static_cast<uint8_t>(y * 5);
            p[2] = static_cast<uint8_t>(x ^ y);
        }
    return b;
}

struct TDragCase {
    const char* name;
    std::function<void(TGrabSelection&)> drag;
    TGrabRect rect;
    const char* problem;  // empty: accepted
};

TEST(GrabSelection, TheRectanglesCasesAndTheirWarnings)
{
    const TDragCase cases[] = {
        {"a click", [](TGrabSelection& s) { s.MouseDown(40, 50); s.MouseUp(); }, {40, 50, 41, 51},
         kMsgGrabWidthTooSmall},
        {"down right", [](TGrabSelection& s) { s.MouseDown(10, 10); s.MouseMove(17, 20); s.MouseMove(25, 30); s.MouseUp(); },
         {10, 10, 26, 31}, ""},
        {"up left", [](TGrabSelection& s) { s.MouseDown(25, 30); s.MouseMove(10, 10); s.MouseUp(); }, {11, 11, 25, 30},
         kMsgGrabWidthTooSmall},
        {"wide and low", [](TGrabSelection& s) { s.MouseDown(0, 0); s.MouseMove(199, 9); s.MouseUp(); }, {0, 0, 200, 10},
         kMsgGrabHeightTooSmall},
        {"narrow and low", [](TGrabSelection& s) { s.MouseDown(5, 5); s.MouseMove(9, 9); s.MouseUp(); }, {5, 5, 10, 10},
         kMsgGrabWidthTooSmall},
        {"beyond the picture", [](TGrabSelection& s) { s.MouseDown(-5, 290); s.MouseMove(500, -3); s.MouseUp(); },
         {0, 1, 300, 239}, ""},
        {"a release without a press", [](TGrabSelection& s) { s.MouseMove(30, 30); s.MouseUp(); }, {}, nullptr},
        {"Esc while dragging", [](TGrabSelection& s) { s.MouseDown(10, 10); s.MouseMove(60, 60); s.Escape(); }, {},
         nullptr},
    };
    for (const TDragCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TBitmap original = Pattern(300, 240);
        TBitmap screen = original;
        TGrabSelection selection(screen);
        selection.Reset();
        c.drag(selection);
        EXPECT_EQ(selection.GrabRect(), c.rect);
        EXPECT_FALSE(selection.Dragging());
        EXPECT_EQ(selection.GrabRect().Chosen(), c.problem != nullptr);
        if (c.problem) {
            EXPECT_EQ(GrabRectProblem(selection.GrabRect()), c.problem);
        }
        // However it ended, the band is gone from the frozen picture.
        EXPECT_TRUE(screen == original);
    }
}

TEST(GrabSelection, TheBandIsDrawnInXorSoDrawingItTwiceRestoresThePicture)
{
    const TBitmap original = Pattern(64, 48);
    TBitmap picture = original;
    const TGrabRect rect{10, 10, 26, 31};
    DrawRubberBand(picture, rect);
    // Dots of inverted pixels on the outline, nothing inside or outside it.
    int changed = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool outline = (x == 10 || x == 25 || y == 10 || y == 30) && x >= 10 && x <= 25 && y >= 10 && y <= 30;
            const uint8_t* p = picture.Pixel(x, y);
            const uint8_t* o = original.Pixel(x, y);
            const bool inverted = p[0] == (o[0] ^ 0xFF) && p[1] == (o[1] ^ 0xFF) && p[2] == (o[2] ^ 0xFF);
            if (!outline || (x + y) % 2 != 0)
                ASSERT_TRUE(p[0] == o[0] && p[1] == o[1] && p[2] == o[2]) << x << "," << y;
            else
                ASSERT_TRUE(inverted) << x << "," << y;
            changed += inverted;
        }
    EXPECT_EQ(changed, (16 * 2 + 19 * 2) / 2);
    DrawRubberBand(picture, rect);
    EXPECT_TRUE(picture == original);

    // Sides in either order and partly outside the picture: still undone by a second drawing.
    for (const TGrabRect r : {TGrabRect{50, 40, 5, 3}, TGrabRect{60, 45, 90, 70}, TGrabRect{7, 7, 8, 8}}) {
        DrawRubberBand(picture, r);
        EXPECT_FALSE(picture == original);
        DrawRubberBand(picture, r);
        EXPECT_TRUE(picture == original);
    }
}

TEST(GrabSelection, TheCopyIsThePartUnderTheRectangle)
{
    const TBitmap screen = Pattern(100, 80);
    const TBitmap part = CopyGrabRect(screen, {10, 10, 26, 31});
    ASSERT_EQ(part.Width(), 16);
    ASSERT_EQ(part.Height(), 21);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_TRUE(std::equal(part.Pixel(x, y), part.Pixel(x, y) + 3, screen.Pixel(10 + x, 10 + y)));
}

} // namespace

TEST(ChooseScreenSource, APortalPictureWinsARefusalIsQuietAndOnlyXWaylandFallsBackToTheXScreen)
{
    const struct {
        TPortalOutcome outcome;
        bool nativeWayland;
        TScreenSource expected;
    } cases[] = {
        {TPortalOutcome::Taken, true, {TScreenSource::PortalPicture, ""}},
        {TPortalOutcome::Taken, false, {TScreenSource::PortalPicture, ""}},
        {TPortalOutcome::Refused, true, {TScreenSource::Nothing, ""}},
        {TPortalOutcome::Refused, false, {TScreenSource::Nothing, ""}},
        {TPortalOutcome::Failed, true, {TScreenSource::Nothing, kMsgGrabPortalFailed}},
        {TPortalOutcome::Failed, false, {TScreenSource::Nothing, kMsgGrabPortalFailed}},
        {TPortalOutcome::NoPortal, true, {TScreenSource::Nothing, kMsgGrabNoPortal}},
        {TPortalOutcome::NoPortal, false, {TScreenSource::XScreen, ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.outcome) << " native " << c.nativeWayland);
        EXPECT_EQ(ChooseScreenSource(c.outcome, c.nativeWayland), c.expected);
    }
}
