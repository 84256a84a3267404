// Switches whose values come from elsewhere than the command line.
#include "core/config.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace quillon::server;

TEST(Config, TheDatabaseUrlIsReadFromTheFirstLineOfItsFile)
{
    quillon::test::TTempDir dir;
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir.Path() / name, std::ios::binary) << text;
        return (dir.Path() / name).string();
    };
    EXPECT_EQ(ParseCommandLine({"--db-file", write("url", "postgresql://q:s%40cret@db/quillon \r\nignored\n")}).db,
              "postgresql://q:s%40cret@db/quillon");
    for (const std::string& bad : {write("empty", ""), write("blank", " \n"), (dir.Path() / "missing").string()})
        EXPECT_THROW(ParseCommandLine({"--db-file", bad}), std::invalid_argument) << bad;
}
