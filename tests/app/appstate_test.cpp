#include "app/appstate.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;

namespace {

class AppStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.CreateRootNode();
        f = Add(tree.Root(), "F", nkFolder);
        g = Add(f, "G", nkFolder);
        aInF = Add(f, "a.jpg", nkLogo);
        aInG = Add(g, "a.jpg", nkLogo);
        b = Add(g, "b.jpg", nkLogo);
    }
    TLogoNode* Add(TLogoNode* parent, const std::string& name, uint8_t kind)
    {
        return tree.AddChild(parent, name, kind == nkFolder ? kFolderImage : kLogoImage,
                             std::make_unique<TLogoDirObject>(kind, name));
    }
    TLogoNode* LoadPath(const std::string& value)
    {
        dir.Write("appstate.xml", "<appstate><activenodepath value=\"" + value + "\"/></appstate>");
        return LoadAppState(dir.AppDir(), tree, prompts);
    }

    TTempDir dir;
    TScriptedPrompts prompts;
    TLogoTree tree;
    TLogoNode *f, *g, *aInF, *aInG, *b;
};

TEST_F(AppStateTest, SavedPathSelectsTheSameNodeAndExpandsItsFolders)
{
    ASSERT_TRUE(SaveAppState(dir.AppDir(), aInG, prompts));
    EXPECT_NE(dir.Read("appstate.xml").find("<appstate><activenodepath value=\"F/G/a.jpg\"/></appstate>"),
              std::string::npos);
    EXPECT_EQ(LoadAppState(dir.AppDir(), tree, prompts), aInG);
    EXPECT_TRUE(tree.Root()->Expanded());
    EXPECT_TRUE(f->Expanded());
    EXPECT_TRUE(g->Expanded());
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(AppStateTest, RootOrNothingSelectedStoresNoPath)
{
    for (TLogoNode* n : {tree.Root(), static_cast<TLogoNode*>(nullptr)}) {
        ASSERT_TRUE(SaveAppState(dir.AppDir(), n, prompts));
        EXPECT_NE(dir.Read("appstate.xml").find("<appstate/>"), std::string::npos);
        EXPECT_EQ(LoadAppState(dir.AppDir(), tree, prompts), nullptr);
    }
}

TEST_F(AppStateTest, PathsMatchPartByPartAndCaseSensitively)
{
    struct Case {
        const char* path;
        TLogoNode* expected;  // null: the root
    };
    const Case cases[] = {
        {"F/a.jpg", aInF},
        {"F/Gone/a.jpg", aInF},  // a missing part is passed over
        {"F/Gone/b.jpg", f},
        {"f/a.jpg", nullptr},                    // nothing matches: the root
        {"//F//G/", g},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        TLogoNode* expected = c.expected ? c.expected : tree.Root();
        EXPECT_EQ(LoadPath(c.path), expected);
    }
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(AppStateTest, DamagedFilesAreReported)
{
    EXPECT_EQ(LoadAppState(dir.AppDir(), tree, prompts), nullptr);  // no file: silent
    EXPECT_TRUE(prompts.shown.empty());

    dir.Write("appstate.xml", "<state><activenodepath value=\"F\"/></state>");
    EXPECT_EQ(LoadAppState(dir.AppDir(), tree, prompts), nullptr);
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Application state file is corrupt."});

    prompts.shown.clear();
    dir.Write("appstate.xml", "<appstate><activenodepath value=\"F\">");
    EXPECT_EQ(LoadAppState(dir.AppDir(), tree, prompts), nullptr);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_NE(prompts.shown[0].text, "Application state file is corrupt.");

    prompts.shown.clear();
    dir.Write("AppState.xml", "");
    EXPECT_FALSE(SaveAppState(dir.AppDir() + "missing/", f, prompts));
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Unable to save current application state"});
}

} // namespace
