#include "common/privatefolder.h"

#include "support/tempdir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

mode_t ModeOf(const fs::path& p)
{
    struct stat st {};
    lstat(p.c_str(), &st);
    return st.st_mode & 0777;
}

TEST(PrivateFolder, CreatedForTheOwnerAlone)
{
    TTempDir dir;
    const fs::path folder = dir.Path() / "quillon-test";
    ASSERT_TRUE(MakePrivateFolder(folder.string()));
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_TRUE(MakePrivateFolder(folder.string()));  // found again as it was left
}

TEST(PrivateFolder, AFolderOthersCanReachOrThatIsNotAFolderIsRefused)
{
    TTempDir dir;
    const fs::path open = dir.Path() / "open";
    fs::create_directory(open);
    chmod(open.c_str(), 0777);
    EXPECT_FALSE(MakePrivateFolder(open.string()));
    chmod(open.c_str(), 0750);
    EXPECT_FALSE(MakePrivateFolder(open.string()));
    EXPECT_EQ(ModeOf(open), 0750u);  // refused, not repaired behind the owner's back

    const fs::path target = dir.Path() / "target";
    fs::create_directory(target);
    chmod(target.c_str(), 0700);
    const fs::path link = dir.Path() / "link";
    fs::create_directory_symlink(target, link);
    EXPECT_FALSE(MakePrivateFolder(link.string()));

    dir.Write("file", "x");
    EXPECT_FALSE(MakePrivateFolder((dir.Path() / "file").string()));
    EXPECT_FALSE(MakePrivateFolder(""));
}

TEST(PrivateFolder, AFolderOfAnotherUserIsRefused)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to give a folder away";
    TTempDir dir;
    const fs::path theirs = dir.Path() / "theirs";
    fs::create_directory(theirs);
    chmod(theirs.c_str(), 0700);
    ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(MakePrivateFolder(theirs.string()));
}

} // namespace
} // namespace quillon
