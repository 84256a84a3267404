#include "app/appfiles.h"
#include "common/atomicfile.h"
#include "common/error.h"
#include "options/options.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;

namespace fs = std::filesystem;

namespace {

TEST(AtomicFileTest, ALinkedFileIsWrittenThroughAndStaysALink)
{
    TTempDir dir;
    // A relative link to a file in another folder, reached through a second link.
    dir.Write("real/options.xml", "old");
    fs::create_directories(dir.Path() / "app");
    fs::create_symlink("../real/options.xml", dir.Path() / "app/middle.xml");
    fs::create_symlink("middle.xml", dir.Path() / "app/options.xml");

    TScriptedPrompts prompts;
    TOptions options;
    options.login = "someone";
    ASSERT_TRUE(SaveOptions((dir.Path() / "app").string() + "/", options, prompts));

    EXPECT_TRUE(fs::is_symlink(dir.Path() / "app/options.xml"));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "app/middle.xml"));
    EXPECT_NE(dir.Read("real/options.xml").find("someone"), std::string::npos);
    // The passwords file keeps its owner-only mode at its real place.
    struct stat st{};
    ASSERT_EQ(stat((dir.Path() / "real/options.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Nothing is left behind in either folder.
    for (const char* folder : {"real", "app"})
        for (const auto& entry : fs::directory_iterator(dir.Path() / folder))
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
}

TEST(AtomicFileTest, DanglingAndLoopingLinks)
{
    TTempDir dir;
    fs::create_symlink("new.txt", dir.Path() / "dangling.txt");
    WriteFileAtomically(dir.Path() / "dangling.txt", "made");
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "dangling.txt"));
    EXPECT_EQ(dir.Read("new.txt"), "made");

    fs::create_symlink("loop.txt", dir.Path() / "loop.txt");
    EXPECT_THROW(WriteFileAtomically(dir.Path() / "loop.txt", "x"), QuillonError);
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "loop.txt"));
}

TEST(AtomicFileTest, AFailedWriteLeavesTheOldFileAndNoTemporary)
{
    TTempDir dir;
    EXPECT_THROW(WriteFileAtomically(dir.Path() / "missing/file.txt", "x"), QuillonError);
    // The rename cannot replace a folder: the temporary must go again.
    fs::create_directories(dir.Path() / "folder.xml");
    dir.Write("folder.xml/keep", "kept");
    EXPECT_THROW(WriteFileAtomically(dir.Path() / "folder.xml", "x"), QuillonError);
    EXPECT_EQ(dir.Read("folder.xml/keep"), "kept");
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename(), "folder.xml");
}

TEST(AtomicFileTest, StaleTemporariesOfTheApplicationFilesAreRemoved)
{
    TTempDir dir;
    const char* stale[] = {".logodirectory.xml.a1B2c3", ".options.xml.XXXXXX", ".appstate.xml.000000"};
    const char* kept[] = {
        "logodirectory.xml", ".logodirectory.xml.bad", ".options.xml.12345", ".options.xml.1234567",
        "options.xml.abcdef", ".other.xml.abcdef", ".options.xml.ab-def", ".appstate.xml.abcdef/inner",
    };
    for (const char* name : stale)
        dir.Write(name, std::string(1000, 'x'));
    for (const char* name : kept)
        dir.Write(name, "mine");
    // A link named like a temporary is not ours to remove, nor is what it points to.
    fs::create_symlink("logodirectory.xml", dir.Path() / ".logodirectory.xml.linked");

    RemoveStaleApplicationTemporaries(dir.AppDir());

    for (const char* name : stale)
        EXPECT_FALSE(dir.Exists(name)) << name;
    for (const char* name : kept)
        EXPECT_EQ(dir.Read(name), "mine") << name;
    EXPECT_TRUE(fs::is_symlink(dir.Path() / ".logodirectory.xml.linked"));
}

} // namespace
