#include "app/appfolders.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

using namespace quillon;
using quillon::test::TTempDir;

namespace {

// Three layouts side by side: a build folder with the data files copied beside the
// program, a per-user install in the data folder, and a system prefix with the program in
// bin/ and the shipped files in share/quillon/. A folder with a share/quillon/ that holds
// no shipped files stands for a leftover of an uninstalled package.
struct TLayouts {
    TTempDir dir;
    std::string Path(const std::string& relative) const { return (dir.Path() / relative).string(); }
    TLayouts()
    {
        dir.Write("build/quillon", "");
        dir.Write("build/phoneslist.xml", "");
        dir.Write("home/.local/share/quillon/quillon", "");
        dir.Write("home/.local/share/quillon/phoneslist.xml", "");
        dir.Write("usr/bin/quillon", "");
        dir.Write("usr/share/quillon/phoneslist.xml", "");
        dir.Write("opt/quillon/quillon", "");
        dir.Write("opt/quillon/phoneslist.xml", "");
        dir.Write("local/bin/quillon", "");
        std::filesystem::create_directories(dir.Path() / "local/share/quillon");
    }
};

} // namespace

TEST(ChooseAppFolders, FollowsTheLayoutThenWriteAccess)
{
    TLayouts t;
    const std::string home = t.Path("home");
    struct Case {
        const char* name;
        std::string exeDir;
        bool writable;
        std::map<std::string, std::string> env;
        std::string accountHome;
        std::string userDir;
        std::string shippedDir;
    };
    const std::string userData = home + "/.local/share/quillon/";
    const Case cases[] = {
        {"build folder", t.Path("build"), true, {{"HOME", home}}, "", t.Path("build/"), t.Path("build/")},
        {"build folder with a slash", t.Path("build/"), true, {{"HOME", home}}, "", t.Path("build/"),
         t.Path("build/")},
        {"per-user install", t.Path("home/.local/share/quillon"), true, {{"HOME", home}}, "", userData, userData},
        {"system prefix", t.Path("usr/bin"), false, {{"HOME", home}}, "", userData, t.Path("usr/share/quillon/")},
        {"root under a system prefix", t.Path("usr/bin"), true, {{"HOME", home}}, "", userData,
         t.Path("usr/share/quillon/")},
        {"XDG_DATA_HOME set", t.Path("usr/bin"), false, {{"HOME", home}, {"XDG_DATA_HOME", t.Path("xdg")}}, "",
         t.Path("xdg/quillon/"), t.Path("usr/share/quillon/")},
        {"XDG_DATA_HOME relative", t.Path("usr/bin"), false, {{"HOME", home}, {"XDG_DATA_HOME", "xdg"}}, "",
         userData, t.Path("usr/share/quillon/")},
        {"XDG_DATA_HOME empty", t.Path("usr/bin"), false, {{"HOME", home}, {"XDG_DATA_HOME", ""}}, "", userData,
         t.Path("usr/share/quillon/")},
        {"HOME unset: the account's home", t.Path("usr/bin"), false, {}, home, userData,
         t.Path("usr/share/quillon/")},
        {"HOME relative: the account's home", t.Path("usr/bin"), false, {{"HOME", "."}}, home, userData,
         t.Path("usr/share/quillon/")},
        {"no home at all", t.Path("usr/bin"), false, {}, "", "", t.Path("usr/share/quillon/")},
        {"read-only copy without a prefix", t.Path("opt/quillon"), false, {{"HOME", home}}, "", userData,
         t.Path("opt/quillon/")},
        {"empty share/quillon, writable", t.Path("local/bin"), true, {{"HOME", home}}, "", t.Path("local/bin/"),
         t.Path("local/bin/")},
    };
    for (const Case& c : cases) {
        TFolderFacts facts;
        facts.getenv = [&c](const char* name) -> const char* {
            const auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        };
        facts.writable = [&c](const std::string&) { return c.writable; };
        facts.accountHome = c.accountHome;
        const TAppFolders folders = ChooseAppFolders(c.exeDir, facts);
        EXPECT_EQ(folders.userDir, c.userDir) << c.name;
        EXPECT_EQ(folders.shippedDir, c.shippedDir) << c.name;
    }
}

TEST(MakeUserFolder, CreatesPrivateFoldersAndKeepsExistingOnes)
{
    TTempDir dir;
    const std::string folder = (dir.Path() / "home/.local/share/quillon/").string();
    ASSERT_EQ(MakeUserFolder(folder), "");
    for (const char* made : {"home", "home/.local", "home/.local/share", "home/.local/share/quillon"}) {
        struct stat st{};
        ASSERT_EQ(stat((dir.Path() / made).c_str(), &st), 0) << made;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
    }

    // A folder the per-user install made stays as it was, and so do the user's files.
    const std::string installed = (dir.Path() / "shared").string();
    std::filesystem::create_directory(installed);
    chmod(installed.c_str(), 0755);
    dir.Write("shared/options.xml", "<options/>");
    ASSERT_EQ(MakeUserFolder(installed + "/"), "");
    struct stat st{};
    ASSERT_EQ(stat(installed.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_EQ(dir.Read("shared/options.xml"), "<options/>");

    // A file in the way is named in the message, and left alone.
    dir.Write("file", "mine");
    const std::string error = MakeUserFolder((dir.Path() / "file/quillon/").string());
    EXPECT_NE(error.find(dir.Path().string() + "/file"), std::string::npos) << error;
    EXPECT_EQ(dir.Read("file"), "mine");
}
