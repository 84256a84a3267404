#include "logodir/logodirfile.h"

#include "logodir/messages.h"
#include "logodir/nodepaths.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;

namespace {

class LogoDirFileTest : public ::testing::Test {
protected:
    void SetUp() override { tree.CreateRootNode(); }

    void Picture(const std::string& relative) { dir.Write("Logo Directory/" + relative, "x"); }
    void Folder(const std::string& relative)
    {
        std::filesystem::create_directories(dir.Path() / "Logo Directory" / relative);
    }
    TLogoDirLoadResult Load(const std::string& xml)
    {
        dir.Write("logodirectory.xml", xml);
        return LoadLogoDirectory(dir.AppDir(), tree, prompts);
    }
    TLogoNode* Child(TLogoNode* n, size_t i) { return n->Child(i); }

    TTempDir dir;
    TLogoTree tree;
    TScriptedPrompts prompts;
};

TEST_F(LogoDirFileTest, MissingFileLeavesTheRootAloneSilently)
{
    EXPECT_EQ(LoadLogoDirectory(dir.AppDir(), tree, prompts), TLogoDirLoadResult::Missing);
    EXPECT_EQ(tree.Root()->Count(), 0u);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(LogoDirFileTest, EveryFieldSurvivesARoundTrip)
{
    const std::string folderName = "Fêtes & <\"Été\">";
    const std::string logoName = "Ünïcödé café & <x>.JPG";
    Folder(folderName);
    Picture(folderName + "/" + logoName);
    Picture("plain.png");

    TLogoNode* folder = tree.AddChild(tree.Root(), folderName, kFolderImage,
                                      std::make_unique<TLogoDirObject>(nkFolder, folderName));
    folder->Data()->logowidth = 77;  // folders keep their unused fields too
    auto logo = std::make_unique<TLogoDirObject>(nkLogo, logoName);
    *logo = TLogoDirObject{};
    logo->nodename = logoName;
    logo->frameleft = -7;
    logo->frametop = 12;
    logo->framewidth = 300;
    logo->frameheight = 2000000000;
    logo->phonemakeid = 3;
    logo->phonemodelid = 0;
    logo->logowidth = 176;
    logo->logoheight = 208;
    logo->fitkind = fkSmaller;
    logo->keepproportions = false;
    logo->uploadurl = "http://wap.example/p?id=1&x=\"2\"";
    const TLogoDirObject expected = *logo;
    tree.AddChild(folder, logoName, kLogoImage, std::move(logo));
    auto plain = std::make_unique<TLogoDirObject>(nkLogo, "plain.png");
    plain->fitkind = fkHeight;
    const TLogoDirObject expectedPlain = *plain;
    tree.AddChild(tree.Root(), "plain.png", kLogoImage, std::move(plain));

    ASSERT_TRUE(SaveLogoDirectory(dir.AppDir(), tree, prompts));
    const std::string text = dir.Read("logodirectory.xml");
    EXPECT_EQ(text.find("\n<logodirnode"), std::string::npos) << "written without indentation";
    EXPECT_NE(text.find("<logodirnode nodekind=\"logo\" nodename=\"plain.png\" frameleft=\"-1\" frametop=\"-1\" "
                        "framewidth=\"-1\" frameheight=\"-1\" phonemakeid=\"-1\" phonemodelid=\"-1\" "
                        "logowidth=\"128\" logoheight=\"128\" fitkind=\"height\" keepproportions=\"yes\" "
                        "uploadurl=\"\"/>"),
              std::string::npos)
        << text;

    TLogoTree again;
    again.CreateRootNode();
    ASSERT_EQ(LoadLogoDirectory(dir.AppDir(), again, prompts), TLogoDirLoadResult::Loaded);
    EXPECT_TRUE(prompts.shown.empty());
    ASSERT_EQ(again.Root()->Count(), 2u);
    TLogoNode* f = Child(again.Root(), 0);
    EXPECT_EQ(f->Text(), folderName);
    EXPECT_EQ(f->ImageIndex(), kFolderImage);
    EXPECT_EQ(*f->Data(), *folder->Data());
    ASSERT_EQ(f->Count(), 1u);
    EXPECT_EQ(f->Child(0)->ImageIndex(), kLogoImage);
    EXPECT_EQ(*f->Child(0)->Data(), expected);
    EXPECT_EQ(*Child(again.Root(), 1)->Data(), expectedPlain);
    EXPECT_TRUE(again.Root()->Expanded());
}

TEST_F(LogoDirFileTest, MissingAttributesTakeTheLoadTimeValues)
{
    Picture("a.jpg");
    Load("<LogoDirectory><LogoDirNode nodekind=\"LOGO\" nodename=\"a.jpg\"/></LogoDirectory>");
    ASSERT_EQ(tree.Root()->Count(), 1u);
    const TLogoDirObject& r = *tree.Root()->Child(0)->Data();
    EXPECT_EQ(r.nodekind, nkLogo);
    EXPECT_EQ((std::vector<int>{r.frameleft, r.frametop, r.framewidth, r.frameheight}), (std::vector<int>{0, 0, 16, 16}));
    EXPECT_EQ(r.phonemakeid, -1);
    EXPECT_EQ(r.phonemodelid, -1);
    EXPECT_EQ(r.logowidth, 16);
    EXPECT_EQ(r.logoheight, 16);
    EXPECT_EQ(r.fitkind, fkBigger);
    EXPECT_FALSE(r.keepproportions);
    EXPECT_EQ(r.uploadurl, "");
}

TEST_F(LogoDirFileTest, WordsAreMatchedExactlyButTheKindInLowerCase)
{
    Folder("F");
    Picture("F/a.jpg");
    Picture("b.jpg");
    Load("<logodirectory>"
         "<logodirnode nodekind=\"Folder\" nodename=\"F\">"
         "<logodirnode nodekind=\"logo\" nodename=\"a.jpg\" fitkind=\"Width\" keepproportions=\"YES\" "
         "frameleft=\"12abc\" logowidth=\" 40\"/>"
         "</logodirnode>"
         "<logodirnode nodekind=\"logo\" nodename=\"b.jpg\" fitkind=\"width\" keepproportions=\"yes\" "
         "NodeName=\"ignored\" logowidth=\"-40\"/>"
         "</logodirectory>");
    ASSERT_EQ(tree.Root()->Count(), 2u);
    TLogoNode* f = tree.Root()->Child(0);
    EXPECT_EQ(f->Data()->nodekind, nkFolder);
    const TLogoDirObject& a = *f->Child(0)->Data();
    EXPECT_EQ(a.fitkind, fkBigger);
    EXPECT_FALSE(a.keepproportions);
    EXPECT_EQ(a.frameleft, 0);
    EXPECT_EQ(a.logowidth, 16);
    const TLogoDirObject& b = *tree.Root()->Child(1)->Data();
    EXPECT_EQ(b.fitkind, fkWidth);
    EXPECT_TRUE(b.keepproportions);
    EXPECT_EQ(b.logowidth, 16);  // a number, but not a logo size: brought into range
}

TEST_F(LogoDirFileTest, HandEditedLogoSizesAreBroughtIntoTheRangeOfTheControls)
{
    const std::pair<const char*, int> cases[] = {
        {"5000", 400}, {"60000", 400}, {"2147483647", 400}, {"-2147483648", 16}, {"0", 16}, {"15", 16},
        {"16", 16}, {"400", 400}, {"401", 400}, {"176", 176},
    };
    std::string xml = "<logodirectory>";
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string name = "p" + std::to_string(i) + ".jpg";
        Picture(name);
        xml += "<logodirnode nodekind=\"logo\" nodename=\"" + name + "\" logowidth=\"" + cases[i].first +
               "\" logoheight=\"" + cases[i].first + "\" frameleft=\"0\" frametop=\"0\" framewidth=\"" +
               cases[i].first + "\" frameheight=\"9\"/>";
    }
    Load(xml + "</logodirectory>");
    ASSERT_EQ(tree.Root()->Count(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const TLogoDirObject& r = *tree.Root()->Child(i)->Data();
        EXPECT_EQ(r.logowidth, cases[i].second) << cases[i].first;
        EXPECT_EQ(r.logoheight, cases[i].second) << cases[i].first;
    }
}

TEST_F(LogoDirFileTest, EntriesWithoutTheirFileOrWithBadNamesAreDropped)
{
    Folder("Kept");
    Picture("Kept/here.jpg");
    Picture("outside.jpg");  // reachable through a name with "..": must not be read
    Folder("Kept/Sub");
    Load("<logodirectory>"
         "<logodirnode nodekind=\"folder\" nodename=\"Kept\">"
         "<logodirnode nodekind=\"logo\" nodename=\"here.jpg\"/>"
         "<logodirnode nodekind=\"logo\" nodename=\"gone.jpg\"/>"
         "<logodirnode nodekind=\"logo\" nodename=\"../outside.jpg\"/>"
         "<logodirnode nodekind=\"folder\" nodename=\"..\"/>"
         "<logodirnode nodekind=\"folder\" nodename=\".\"/>"
         "<logodirnode nodekind=\"logo\" nodename=\"Sub\"/>"  // a folder is no logo file
         "</logodirnode>"
         "<logodirnode nodekind=\"folder\" nodename=\"Renamed\"><logodirnode nodekind=\"logo\" nodename=\"x.jpg\"/></logodirnode>"
         "<logodirnode nodekind=\"picture\" nodename=\"outside.jpg\"/>"
         "<logodirnode nodename=\"outside.jpg\"/>"
         "<logodirnode nodekind=\"logo\" nodename=\"\"/>"
         "<other nodekind=\"logo\" nodename=\"outside.jpg\"/>"
         "</logodirectory>");
    EXPECT_TRUE(prompts.shown.empty());
    ASSERT_EQ(tree.Root()->Count(), 1u);
    TLogoNode* kept = tree.Root()->Child(0);
    ASSERT_EQ(kept->Count(), 1u);
    EXPECT_EQ(kept->Child(0)->Text(), "here.jpg");

    // The next save forgets what was dropped.
    ASSERT_TRUE(SaveLogoDirectory(dir.AppDir(), tree, prompts));
    EXPECT_EQ(dir.Read("logodirectory.xml").find("gone.jpg"), std::string::npos);
}

TEST_F(LogoDirFileTest, DamagedFilesAreReportedAndKeptBeforeTheyAreReplaced)
{
    struct Case {
        const char* content;
        const char* message;
        size_t nodesKept;
    };
    const Case cases[] = {
        {"<directory><logodirnode nodekind=\"logo\" nodename=\"a.jpg\"/></directory>",
         "The file of mobile logo directory is corrupt.", 0},
        {"", "Error loading mobile logo directory.", 0},
        // What was read before the fault is kept.
        {"<logodirectory><logodirnode nodekind=\"logo\" nodename=\"a.jpg\"/>", "Error loading mobile logo directory.", 1},
        // None of the program's files declares a document type: one that does is damaged.
        {"<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><logodirectory>&e;</logodirectory>",
         "Error loading mobile logo directory.", 0},
    };
    Picture("a.jpg");
    const std::string copy = (dir.Path() / "logodirectory.xml.bad").string();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        std::filesystem::remove(copy);
        tree.Clear();
        prompts.shown.clear();
        const TLogoDirLoadResult result = Load(c.content);
        EXPECT_EQ(tree.Root()->Count(), c.nodesKept);
        // The copy is made at once, and the message says where it is.
        EXPECT_EQ(result, TLogoDirLoadResult::SetAside);
        EXPECT_EQ(dir.Read("logodirectory.xml.bad"), c.content);
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].kind, "error");
        EXPECT_EQ(prompts.shown[0].text,
                  std::string(c.message) + "\n\nThe file was kept unchanged as \"" + copy + "\".");

        ASSERT_TRUE(SaveLogoDirectory(dir.AppDir(), tree, prompts));
        EXPECT_FALSE(dir.Exists("logodirectory.xml.bad2"));
    }
    // An earlier copy is never overwritten.
    std::filesystem::remove(copy);
    dir.Write("logodirectory.xml", "first damage");
    ASSERT_TRUE(SaveLogoDirectory(dir.AppDir(), tree, prompts, true));
    dir.Write("logodirectory.xml", "second damage");
    ASSERT_TRUE(SaveLogoDirectory(dir.AppDir(), tree, prompts, true));
    EXPECT_EQ(dir.Read("logodirectory.xml.bad"), "first damage");
    EXPECT_EQ(dir.Read("logodirectory.xml.bad2"), "second damage");
}

TEST_F(LogoDirFileTest, AFileThatCannotBeCopiedIsNotReplaced)
{
    // A folder in the file's place cannot be read, nor copied as a file.
    Folder("../logodirectory.xml");
    tree.Clear();
    EXPECT_EQ(LoadLogoDirectory(dir.AppDir(), tree, prompts), TLogoDirLoadResult::Unreadable);
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{std::string(kMsgLogoDirLoadError) + "\n\n" +
                                                        kMsgDamagedCopyFailed});
    EXPECT_FALSE(SaveLogoDirectory(dir.AppDir(), tree, prompts, /*keepDamagedCopy=*/true));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "logodirectory.xml"));
}

// A collection far past the size at which files used to be refused (16 MB, about 73,000
// logos) is written and read back whole, and so is a folder tree deeper than the XML
// library's own default limit (256).
TEST_F(LogoDirFileTest, BigAndDeepCollectionsAreReadBackWhole)
{
    constexpr size_t kFolders = 120;
    constexpr size_t kLogos = 250000;
    std::vector<TLogoNode*> folders;
    for (size_t f = 0; f < kFolders; ++f) {
        const std::string name = "Folder " + std::to_string(f);
        Folder(name);
        folders.push_back(tree.AddChild(tree.Root(), name, kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, name)));
    }
    for (size_t i = 0; i < kLogos; ++i) {
        const std::string name = "picture " + std::to_string(i) + ".jpg";
        TLogoNode* folder = folders[i % kFolders];
        std::ofstream(dir.Path() / "Logo Directory" / folder->Text() / name);
        auto logo = std::make_unique<TLogoDirObject>(nkLogo, name);
        logo->frameleft = static_cast<int32_t>(i);
        logo->uploadurl = "http://wap.example/guest/?id=" + std::to_string(i);
        tree.AddChild(folder, name, kLogoImage, std::move(logo));
    }
    std::string deepPath;
    TLogoNode* deep = tree.Root();
    for (int level = 0; level < 300; ++level) {
        deepPath += "d/";
        Folder(deepPath);
        deep = tree.AddChild(deep, "d", kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, "d"));
    }
    Picture(deepPath + "bottom.png");
    tree.AddChild(deep, "bottom.png", kLogoImage, std::make_unique<TLogoDirObject>(nkLogo, "bottom.png"));

    ASSERT_TRUE(SaveLogoDirectory(dir.AppDir(), tree, prompts));
    EXPECT_GT(std::filesystem::file_size(dir.Path() / "logodirectory.xml"), 60u * 1000 * 1000);

    TLogoTree again;
    again.CreateRootNode();
    ASSERT_EQ(LoadLogoDirectory(dir.AppDir(), again, prompts), TLogoDirLoadResult::Loaded);
    EXPECT_TRUE(prompts.shown.empty());
    ASSERT_EQ(again.Root()->Count(), kFolders + 1);
    size_t logos = 0;
    for (size_t f = 0; f < kFolders; ++f) {
        const TLogoNode* folder = again.Root()->Child(f);
        for (size_t i = 0; i < folder->Count(); ++i, ++logos)
            ASSERT_EQ(*folder->Child(i)->Data(), *folders[f]->Child(i)->Data());
    }
    EXPECT_EQ(logos, kLogos);
    const TLogoNode* node = again.Root()->Child(kFolders);
    for (int level = 1; level < 300; ++level)
        node = node->Child(0);
    ASSERT_EQ(node->Count(), 1u);
    EXPECT_EQ(node->Child(0)->Text(), "bottom.png");
}

TEST_F(LogoDirFileTest, EmptyTreeIsAnEmptyRootElement)
{
    ASSERT_TRUE(SaveLogoDirectory(dir.AppDir(), tree, prompts));
    const std::string text = dir.Read("logodirectory.xml");
    EXPECT_NE(text.find("<logodirectory/>"), std::string::npos) << text;
}

TEST_F(LogoDirFileTest, AWriteFailureIsReported)
{
    // A folder that does not exist cannot take the file, whoever runs the test.
    EXPECT_FALSE(SaveLogoDirectory(dir.AppDir() + "gone/", tree, prompts));
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Unable to save mobile directory"});
}

} // namespace
