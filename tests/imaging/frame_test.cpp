#include "imaging/bitmap.h"
#include "imaging/frame.h"
#include "imaging/geometry.h"
#include "logodir/logodirobject.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillon {
namespace {

TEST(HitCode, ZonesAroundAFrameInTestOrder)
{
    const TRect frame{100, 100, 200, 150};
    const struct {
        int x, y;
        THitCode code;
    } cases[] = {
        {102, 102, hcInside},  {101, 120, hcLeft},        {99, 99, hcTopLeft},  {107, 101, hcTopLeft},
        {108, 101, hcTop},     {202, 120, hcOutside},     {201, 120, hcRight},  {97, 120, hcOutside},
        {199, 99, hcTopRight}, {100, 149, hcBottomLeft},  {199, 149, hcBottomRight},
        {150, 151, hcBottom},  {150, 152, hcOutside},     {150, 147, hcInside},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HitCode(frame, c.x, c.y), c.code) << c.x << "," << c.y;
}

TEST(HitTestFrame, ScalesAllFourCoordinatesByTheWidthFactorWhenFitting)
{
    const TRect work{250, 250, 500, 500};
    EXPECT_EQ(HitTestFrame(work, {1000, 1000}, {400, 399}, true), (TRect{100, 100, 200, 200}));
    EXPECT_EQ(HitTestFrame(work, {1000, 1000}, {400, 399}, false), work);
}

TEST(DragOffsetToWork, MovesUseTheVerticalFactorCornersAndSidesTheHorizontal)
{
    const TSize work{1000, 900};
    const TSize display{400, 300}; // 2.5 across, 3 down
    EXPECT_EQ(DragOffsetToWork(hcInside, {10, -3}, work, display), (TPoint{30, -9}));
    EXPECT_EQ(DragOffsetToWork(hcTopLeft, {10, -3}, work, display), (TPoint{25, -7}));
    EXPECT_EQ(DragOffsetToWork(hcLeft, {10, -3}, work, display), (TPoint{25, -7}));
    EXPECT_EQ(DragOffsetToWork(hcBottom, {10, -3}, work, display), (TPoint{30, -9}));
}

struct DragCase {
    const char* name;
    THitCode zone;
    TPoint offset;
    bool keep;
    TRect expected;
};

class SquareDrag : public ::testing::TestWithParam<DragCase> {};

// A square work area; the frame starts at (100,100)-(300,300) and may use the whole area.
TEST_P(SquareDrag, EndsAt)
{
    const DragCase& c = GetParam();
    EXPECT_EQ(ApplyDrag(c.zone, {100, 100, 300, 300}, c.offset, {0, 0, 400, 400}, {400, 400}, c.keep), c.expected);
}

void PrintTo(const DragCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(
    Zones, SquareDrag,
    ::testing::Values(
        DragCase{"Move", hcInside, {50, -30}, true, {150, 70, 350, 270}},
        DragCase{"MoveStopsAtBottomRight", hcInside, {500, 500}, false, {200, 200, 400, 400}},
        DragCase{"MoveStopsAtLeft", hcInside, {-500, 0}, true, {0, 100, 200, 300}},
        DragCase{"LeftAlone", hcLeft, {-50, 9}, false, {50, 100, 300, 300}},
        DragCase{"LeftDragsTop", hcLeft, {-50, 9}, true, {50, 50, 300, 300}},
        DragCase{"LeftStopsAtBound", hcLeft, {-200, 0}, true, {0, 0, 300, 300}},
        DragCase{"LeftStopsAtMinimum", hcLeft, {1000, 0}, false, {284, 100, 300, 300}},
        DragCase{"LeftStopsAtMinimumSquare", hcLeft, {1000, 0}, true, {284, 284, 300, 300}},
        DragCase{"TopAlone", hcTop, {7, 30}, false, {100, 130, 300, 300}},
        DragCase{"TopDragsLeft", hcTop, {7, 30}, true, {130, 130, 300, 300}},
        DragCase{"RightAlone", hcRight, {50, 0}, false, {100, 100, 350, 300}},
        DragCase{"RightDragsBottomToBound", hcRight, {150, 0}, true, {100, 100, 400, 400}},
        DragCase{"BottomAlone", hcBottom, {0, 50}, false, {100, 100, 300, 350}},
        DragCase{"BottomDragsRight", hcBottom, {0, -250}, true, {100, 100, 116, 116}},
        DragCase{"TopLeftFree", hcTopLeft, {-20, -60}, false, {80, 40, 300, 300}},
        DragCase{"TopLeftFollowsLargerOffset", hcTopLeft, {-20, -60}, true, {40, 40, 300, 300}},
        DragCase{"TopLeftFollowsHorizontal", hcTopLeft, {-70, -10}, true, {30, 30, 300, 300}},
        DragCase{"TopRightFree", hcTopRight, {30, 10}, false, {100, 110, 330, 300}},
        DragCase{"TopRightFollowsHorizontal", hcTopRight, {30, 10}, true, {100, 70, 330, 300}},
        DragCase{"BottomLeftFree", hcBottomLeft, {-10, 40}, false, {90, 100, 300, 340}},
        DragCase{"BottomLeftFollowsVertical", hcBottomLeft, {-10, 40}, true, {60, 100, 300, 340}},
        DragCase{"BottomRightFree", hcBottomRight, {20, 5}, false, {100, 100, 320, 305}},
        DragCase{"BottomRightFollowsHorizontal", hcBottomRight, {20, 5}, true, {100, 100, 320, 320}},
        DragCase{"BottomRightStopsAtBound", hcBottomRight, {500, 0}, true, {100, 100, 400, 400}},
        DragCase{"Outside", hcOutside, {50, 50}, true, {100, 100, 300, 300}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ApplyDrag, KeepsTheWorkAreaProportionsWithTruncatingSteps)
{
    // 3:2 work area: the neighbouring edge moves by the offset scaled W:H, truncated toward zero.
    const TRect start{60, 40, 240, 160};
    const TRect bounds{0, 0, 300, 200};
    EXPECT_EQ(ApplyDrag(hcLeft, start, {-30, 0}, bounds, {300, 200}, true), (TRect{30, 20, 240, 160}));
    EXPECT_EQ(ApplyDrag(hcTop, start, {0, -15}, bounds, {300, 200}, true), (TRect{38, 25, 240, 160}));
}

TEST(ApplyDrag, TopRightPulledFarInwardEndsAtTheMinimumInProportion)
{
    // A 200 x 100 logo over a 400 x 200 picture: a 2:1 frame covering the work area.
    const TRect frame = FitBounds({400, 200}, {400, 200}, fkBigger);
    const TRect end = ApplyDrag(hcTopRight, frame, {-1000, 1000}, frame, {400, 200}, true);
    EXPECT_EQ(end, (TRect{0, 184, 32, 200}));
}

TEST(ApplyDrag, FitKindDecidesWhetherTheFrameCanEnterTheEmptyBands)
{
    // 400 x 200 picture, square logo: 400 x 400 work area, picture in rows 100..300.
    const TSize picture{400, 200};
    const TSize work = WorkAreaSize(picture, {100, 100});
    const TRect inside = FitBounds(picture, work, fkSmaller);
    EXPECT_EQ(ApplyDrag(hcInside, inside, {0, -1000}, inside, work, true), inside);
    const TRect whole = FitBounds(picture, work, fkBigger);
    const TRect small{100, 150, 200, 250};
    EXPECT_EQ(ApplyDrag(hcInside, small, {0, -1000}, whole, work, true), (TRect{100, 0, 200, 100}));
}

TEST(Ants, AdvanceCountsThePhaseAndSwitchesColourAfterFour)
{
    TAnts ants;
    std::vector<TAnts> seen;
    for (int i = 0; i < 9; ++i, ants.Advance())
        seen.push_back(ants);
    const std::vector<TAnts> expected{{1, false}, {2, false}, {3, false}, {4, false}, {1, true},
                                      {2, true},  {3, true},  {4, true},  {1, false}};
    EXPECT_EQ(seen, expected);
}

// Paints runs of pixels, both ends included, as a frame drawn by hand would be.
struct TRun {
    TPoint from, to;
    bool white;
};

TBitmap Grey(int w, int h)
{
    TBitmap canvas(w, h);
    std::fill(canvas.Data(), canvas.Data() + canvas.SizeInBytes(), 128);
    return canvas;
}

TEST(FrameAnts, SplitAtTheCornerAndEndAtTheFarCorner)
{
    // A 6 x 3 frame with the first dash 1 pixel long and black, in drawing order.
    const TRun runs[] = {
        // top row, then the right column
        {{0, 0}, {0, 0}, false},
        {{1, 0}, {4, 0}, true},
        {{5, 0}, {5, 0}, false},
        {{5, 0}, {5, 2}, false},
        // left column, then the bottom row
        {{0, 0}, {0, 0}, false},
        {{0, 1}, {0, 2}, true},
        {{0, 2}, {1, 2}, true},
        {{2, 2}, {5, 2}, false},
    };
    TBitmap expected = Grey(8, 5);
    for (const TRun& r : runs) {
        for (int y = r.from.y; y <= r.to.y; ++y) {
            for (int x = r.from.x; x <= r.to.x; ++x) {
                uint8_t* p = expected.Pixel(x + 1, y + 1);
                p[0] = p[1] = p[2] = r.white ? 255 : 0;
            }
        }
    }
    TBitmap drawn = Grey(8, 5);
    DrawFrameAnts(drawn, {-1, -1}, {0, 0, 6, 3}, TAnts{});
    EXPECT_TRUE(drawn == expected);
}

TBitmap DrawnFrame(const TAnts& ants)
{
    TBitmap canvas = Grey(40, 30);
    DrawFrameAnts(canvas, {10, 10}, {12, 11, 47, 38}, ants);
    return canvas;
}

TEST(FrameAnts, PatternMovesAwayFromTheCornerAndRepeatsAfterEightSteps)
{
    TAnts ants;
    const TBitmap first = DrawnFrame(ants);
    TBitmap previous = first;
    for (int step = 1; step <= 8; ++step) {
        ants.Advance();
        const TBitmap now = DrawnFrame(ants);
        // Along the top row each pixel takes the colour its left neighbour had.
        for (int x = 3; x < 36; ++x)
            ASSERT_EQ(now.Pixel(x, 1)[0], previous.Pixel(x - 1, 1)[0]) << "step " << step << ", x " << x;
        EXPECT_EQ(now == first, step == 8) << "step " << step;
        previous = now;
    }
}

TEST(FrameAnts, AnyPartOfTheViewMatchesTheWholeFrame)
{
    // The view is painted in pieces (only what is exposed); the pieces must agree with
    // the frame drawn whole, at every phase and for frames down to one pixel.
    const TRect frames[] = {{3, 2, 50, 41}, {0, 0, 1, 1}, {5, 5, 6, 20}, {7, 4, 30, 5}};
    TAnts ants;
    for (int phase = 0; phase < 8; ++phase, ants.Advance()) {
        for (const TRect& f : frames) {
            TBitmap whole = Grey(60, 50);
            DrawFrameAnts(whole, {0, 0}, f, ants);
            for (const TPoint origin : {TPoint{0, 0}, TPoint{13, 9}, TPoint{49, 1}, TPoint{2, 38}, TPoint{-4, -3}}) {
                TBitmap part = Grey(11, 7);
                DrawFrameAnts(part, origin, f, ants);
                for (int y = 0; y < 7; ++y) {
                    for (int x = 0; x < 11; ++x) {
                        const int wx = origin.x + x, wy = origin.y + y;
                        const int want = wx >= 0 && wy >= 0 && wx < 60 && wy < 50 ? whole.Pixel(wx, wy)[0] : 128;
                        ASSERT_EQ(part.Pixel(x, y)[0], want) << "phase " << phase << " at " << wx << "," << wy;
                    }
                }
            }
        }
    }
}

TEST(FrameAnts, AHugeFrameCostsOnlyWhatIsOnTheCanvas)
{
    // A million-pixel-wide frame: the canvas shows its far right end.
    TBitmap canvas = Grey(20, 20);
    DrawFrameAnts(canvas, {999990, 0}, {0, 0, 1000000, 16}, TAnts{});
    EXPECT_NE(canvas.Pixel(0, 0)[0], 128);  // the top row
    EXPECT_NE(canvas.Pixel(9, 15)[0], 128);  // the right column, down to the bottom row
    EXPECT_EQ(canvas.Pixel(10, 5)[0], 128);  // past the frame
    EXPECT_EQ(canvas.Pixel(5, 5)[0], 128);   // inside it
}

TEST(FrameEraseStrips, TheFourStripsUnderTheFrame)
{
    const std::array<TRect, 4> strips{TRect{10, 20, 110, 21}, TRect{10, 69, 110, 70}, TRect{10, 20, 11, 70},
                                      TRect{109, 20, 110, 70}};
    EXPECT_EQ(FrameEraseStrips({10, 20, 110, 70}), strips);
}

} // namespace
} // namespace quillon
