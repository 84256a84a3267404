#include "logodir/nodepaths.h"

#include "common/error.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

TLogoNode* Add(TLogoTree& tree, TLogoNode* parent, const std::string& name, uint8_t kind)
{
    return tree.AddChild(parent, name, kind == nkFolder ? kFolderImage : kLogoImage,
                         std::make_unique<TLogoDirObject>(kind, name));
}

class NodePathsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = tree.CreateRootNode();
        holidays = Add(tree, root, "Holidays", nkFolder);
        beach = Add(tree, holidays, "beach.jpg", nkLogo);
        top = Add(tree, root, "top.png", nkLogo);
    }
    TLogoTree tree;
    TLogoNode* root = nullptr;
    TLogoNode* holidays = nullptr;
    TLogoNode* beach = nullptr;
    TLogoNode* top = nullptr;
    const std::string app = "/opt/q/";
};

TEST_F(NodePathsTest, PathsFollowTheNodeTexts)
{
    EXPECT_EQ(GetFolderPath(app, root), "/opt/q/Logo Directory/");
    EXPECT_EQ(GetFolderPath(app, top), "/opt/q/Logo Directory/");
    EXPECT_EQ(GetFolderPath(app, holidays), "/opt/q/Logo Directory/Holidays/");
    EXPECT_EQ(GetFolderPath(app, beach), "/opt/q/Logo Directory/Holidays/");
    EXPECT_EQ(GetNodePath(app, root), "/opt/q/Logo Directory");
    EXPECT_EQ(GetNodePath(app, holidays), "/opt/q/Logo Directory/Holidays");
    EXPECT_EQ(GetLogoFileName(app, beach), "/opt/q/Logo Directory/Holidays/beach.jpg");

    // Renaming a folder moves everything below it, since nothing stores a path.
    holidays->SetText("Summer");
    EXPECT_EQ(holidays->Data()->nodename, "Summer");
    EXPECT_EQ(GetLogoFileName(app, beach), "/opt/q/Logo Directory/Summer/beach.jpg");
}

TEST_F(NodePathsTest, LogoFileNameOfAFolderFails)
{
    for (TLogoNode* n : {root, holidays}) {
        try {
            GetLogoFileName(app, n);
            FAIL() << n->Text();
        } catch (const QuillonError& e) {
            EXPECT_STREQ(e.what(), "Unable to get the full file name for non-logo tree node");
        }
    }
}

TEST(BaseNameTest, DropsTheLastExtension)
{
    EXPECT_EQ(BaseName("archive.tar.gz"), "archive.tar");
    EXPECT_EQ(BaseName("photo"), "photo");
    EXPECT_EQ(BaseName("My.Folder"), "My");
    EXPECT_EQ(BaseName(".hidden"), "");
}

TEST_F(NodePathsTest, UniqueNamesLookAtBaseNamesWithoutCase)
{
    Add(tree, holidays, "photo.jpg", nkLogo);
    Add(tree, holidays, "Photo2.png", nkLogo);
    EXPECT_EQ(MakeUniqueName(holidays, "photo"), "photo3");
    EXPECT_EQ(MakeUniqueName(holidays, "sunset"), "sunset");
    EXPECT_EQ(MakeUniqueName(holidays, "BEACH"), "BEACH2");

    EXPECT_EQ(MakeNewFolderName(holidays), "New Folder");
    Add(tree, holidays, "new folder.jpg", nkLogo);
    EXPECT_EQ(MakeNewFolderName(holidays), "New Folder 2");
    Add(tree, holidays, "New Folder 2", nkFolder);
    EXPECT_EQ(MakeNewFolderName(holidays), "New Folder 3");

    EXPECT_FALSE(IsNameFree(holidays, "Photo"));
    EXPECT_TRUE(IsNameFree(holidays, "photo.jpg"));  // the whole name is compared with base names
    EXPECT_TRUE(IsNameFree(holidays, "Holidays"));

    EXPECT_TRUE(IsNameFreeExcept(holidays, "photo", "PHOTO"));
    EXPECT_FALSE(IsNameFreeExcept(holidays, "photo", "beach"));
    EXPECT_TRUE(IsNameFreeExcept(holidays, "dune", "beach"));
}

TEST(NodeNameTest, NamesThatLeaveTheirFolderAreUnsafe)
{
    for (const char* bad : {"", ".", "..", "a/b", "../x", "/etc"})
        EXPECT_FALSE(IsSafeNodeName(bad)) << bad;
    EXPECT_FALSE(IsSafeNodeName(std::string("a\0b", 3)));
    for (const char* good : {"a.jpg", "...", "..x", "Ünïcödé €.png", "a\\b"})
        EXPECT_TRUE(IsSafeNodeName(good)) << good;
}

} // namespace
