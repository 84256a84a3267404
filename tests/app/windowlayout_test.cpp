#include "app/windowlayout.h"

#include "support/tempdir.h"

#include <climits>
#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TTempDir;

TEST(WindowLayout, WhatIsSavedComesBack)
{
    TTempDir dir;
    EXPECT_EQ(LoadWindowLayout(dir.AppDir()), TWindowLayout{});  // no file: the defaults
    TWindowLayout layout;
    layout.window = TWindowRect{-20, 35, 1024, 700};
    layout.maximized = true;
    layout.splitters = {{"VerticalSplitter", {240, 0, 777}}, {"HorizontalSplitter", {400, 180}}};
    layout.fitToPane = false;
    SaveWindowLayout(dir.AppDir(), layout);
    EXPECT_EQ(LoadWindowLayout(dir.AppDir()), layout);

    layout = {};
    layout.fitToPane = true;
    SaveWindowLayout(dir.AppDir(), layout);
    EXPECT_EQ(LoadWindowLayout(dir.AppDir()), layout);
}

TEST(WindowLayout, DamagedPartsAreLeftOutAndTheRestIsKept)
{
    const std::string good = "<splitter name=\"V\" sizes=\"200,600\"/>";
    struct Case {
        const char* file;
        bool windowKept;
        bool fitKept;
        size_t splitters;
    };
    const Case cases[] = {
        {"<windowlayout><window x=\"1\" y=\"2\" width=\"900\" height=\"600\"/><fittopane value=\"1\"/>", true, true, 1},
        {"<windowlayout><window x=\"1\" y=\"2\" width=\"0\" height=\"600\"/><fittopane value=\"yes\"/>", false, false, 1},
        {"<windowlayout><window x=\"1\" y=\"2\" width=\"900\"/>", false, false, 1},
        {"<windowlayout><window x=\"1e3\" y=\"2\" width=\"900\" height=\"600\"/>", false, false, 1},
        {"<windowlayout><window x=\"1\" y=\"2\" width=\"99999999999\" height=\"600\"/>", false, false, 1},
        {"<windowlayout><splitter name=\"H\" sizes=\"-5,100\"/><splitter name=\"H2\" sizes=\"0,0\"/>"
         "<splitter name=\"H3\" sizes=\"100\"/><splitter name=\"H4\" sizes=\"1,,2\"/><splitter sizes=\"1,2\"/>",
         false, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TTempDir dir;
        dir.Write(kWindowLayoutFile, std::string(c.file) + good + "</windowlayout>");
        const TWindowLayout layout = LoadWindowLayout(dir.AppDir());
        EXPECT_EQ(layout.window.has_value(), c.windowKept);
        EXPECT_EQ(layout.fitToPane.has_value(), c.fitKept);
        EXPECT_EQ(layout.splitters.size(), c.splitters);
        EXPECT_EQ(layout.splitters.at("V"), (std::vector<int>{200, 600}));
    }
    // Whole files that are no layout at all.
    for (const char* file : {"", "<windowlayout>", "<appstate/>", "\x89PNG\r\n",
                             "<!DOCTYPE w [<!ENTITY e \"x\">]><windowlayout/>"}) {
        TTempDir dir;
        dir.Write(kWindowLayoutFile, file);
        EXPECT_EQ(LoadWindowLayout(dir.AppDir()), TWindowLayout{}) << file;
    }
}

TEST(WindowLayout, AWindowIsFittedOntoItsScreen)
{
    const TWindowRect screen{0, 0, 1280, 1000};
    const TWindowRect second{1280, -200, 1920, 1080};  // a screen to the right, higher up
    struct Case {
        TWindowRect window;
        TWindowRect onto;
        TWindowRect expected;
        TFrameMargins frame{};
    };
    const TFrameMargins titled{1, 20, 1, 1};  // a title bar and thin borders
    const Case cases[] = {
        {{100, 50, 900, 600}, screen, {100, 50, 900, 600}},          // fits: untouched
        {{100, 50, 3000, 2000}, screen, {0, 0, 1280, 1000}},          // larger than the screen
        {{1000, 900, 900, 600}, screen, {380, 400, 900, 600}},        // hangs off the bottom right
        {{-500, -300, 900, 600}, screen, {0, 0, 900, 600}},           // off the top left
        {{100, 50, 900, 600}, second, {1280, 50, 900, 600}},          // moved onto the other screen
        {{INT_MAX, INT_MIN, 900, 600}, screen, {380, 0, 900, 600}},   // a damaged file's extremes
        {{10, 10, 900, 600}, {0, 0, 640, 480}, {0, 0, 800, 550}},     // a screen below the minimum
        {{10, 10, 300, 200}, screen, {10, 10, 800, 550}},             // below the minimum
        // The frame counts: the whole of it lies on the area, the title bar first.
        {{100, 50, 900, 600}, screen, {100, 50, 900, 600}, titled},
        {{1000, 900, 900, 600}, screen, {378, 379, 900, 600}, titled},
        {{-80, -48, 3000, 2000}, screen, {0, 0, 1278, 979}, titled},
        {{5, 5, 900, 600}, {0, 0, 640, 480}, {0, 0, 800, 550}, titled},  // still never below the minimum
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.window.x << "," << c.window.y << " " << c.window.width << "x"
                                        << c.window.height);
        EXPECT_EQ(FitOntoScreen(c.window, c.onto, 800, 550, c.frame), c.expected);
    }
}

TEST(WindowLayout, TheMinimumSizeShrinksToWhatTheScreenLeavesInsideTheFrame)
{
    const TWindowSize minimum{800, 550};
    const TFrameMargins titled{1, 20, 1, 1};
    struct Case {
        TWindowRect screen;
        TFrameMargins frame;
        TWindowSize expected;
    };
    const Case cases[] = {
        {{0, 0, 1280, 1000}, titled, {800, 550}},       // room enough: the window's own minimum
        {{0, 0, 640, 512}, titled, {638, 491}},         // 1280 x 1024 at scale 2
        {{0, 30, 960, 510}, titled, {800, 489}},        // 1920 x 1080 at 200 %, less a panel
        {{0, 0, 640, 512}, {}, {640, 512}},             // no frame (yet)
        {{0, 0, 10, 10}, {20, 20, 20, 20}, {1, 1}},     // a frame larger than the screen
        {{0, 0, 800, 600}, {INT_MIN, 0, INT_MIN, 0}, {800, 550}},  // nonsense margins do not overflow
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.screen.width << "x" << c.screen.height);
        EXPECT_EQ(MinimumOnScreen(minimum, c.screen, c.frame), c.expected);
    }
}

TEST(WindowLayout, WherePlacesAreUnknownTheStoredPlaceStaysWithTheNewSizeElseTheWindowIsStoredCentred)
{
    const TWindowRect screen{0, 30, 1280, 994};
    const TFrameMargins titled{1, 20, 1, 1};
    struct Case {
        const char* name;
        TWindowSize size;
        std::optional<TWindowRect> stored;
        TWindowRect expected;
    };
    const Case cases[] = {
        {"an earlier session's place", {1000, 760}, TWindowRect{60, 40, 800, 608}, {60, 40, 1000, 760}},
        {"a place off every screen is kept for the loader to fit", {900, 600}, TWindowRect{-5000, 9000, 1, 1},
         {-5000, 9000, 900, 600}},
        {"no place yet: centred inside the frame", {800, 608}, std::nullopt, {239, 212, 800, 608}},
        {"larger than the area: at its edge", {2000, 1200}, std::nullopt, {0, 30, 2000, 1200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(KeepStoredPlace(c.size, c.stored, screen, titled), c.expected);
    }
}
