#include "app/commandline.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(PictureArguments, PathsAreMadeAbsoluteAndOptionsLeftOut)
{
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {{}, {}},
        {{"photo.jpg"}, {"/home/u/photo.jpg"}},
        {{"/tmp/a b.png", "sub/c.gif"}, {"/tmp/a b.png", "/home/u/sub/c.gif"}},
        {{"../x.bmp", "./y.jpg"}, {"/home/u/../x.bmp", "/home/u/./y.jpg"}},
        {{"-platform-like", "photo.jpg", ""}, {"/home/u/photo.jpg"}},
        {{"--", "-dash.jpg", "--"}, {"/home/u/-dash.jpg", "/home/u/--"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PictureArguments(c.arguments, "/home/u"), c.paths);
}

TEST(FindInfoSwitch, FirstOneCountsAndNoneAfterTheEndOfOptions)
{
    struct Case {
        std::vector<std::string> arguments;
        TInfoSwitch found;
    };
    const Case cases[] = {
        {{}, TInfoSwitch::None},
        {{"photo.jpg", "-platform", "offscreen"}, TInfoSwitch::None},
        {{"--help"}, TInfoSwitch::Help},
        {{"photo.jpg", "-h"}, TInfoSwitch::Help},
        {{"--version", "--help"}, TInfoSwitch::Version},
        {{"--", "--help"}, TInfoSwitch::None},
        {{"--helpful", "-help", "--Version", "-REGSERVER"}, TInfoSwitch::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindInfoSwitch(c.arguments), c.found) << ::testing::PrintToString(c.arguments);
}
