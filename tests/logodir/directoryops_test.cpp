#include "logodir/directoryops.h"

#include "logodir/messages.h"
#include "logodir/nodepaths.h"
#include "logodir/subtreedelete.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;
namespace fs = std::filesystem;

namespace {

class DirectoryOpsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.CreateRootNode();
        source = src.Write("photo.jpg", "JPEGDATA");
        src.Write("Photo.PNG", "PNGDATA");
    }
    std::vector<std::string> Names(const TLogoNode* n) const
    {
        std::vector<std::string> names;
        for (size_t i = 0; i < n->Count(); ++i)
            names.push_back(n->Child(i)->Text());
        return names;
    }
    fs::path OnDisk(const std::string& relative) const { return dir.Path() / "Logo Directory" / relative; }
    TLogoNode* Folder(TLogoNode* parent, const std::string& name)
    {
        prompts.inputs.push_back(name);
        return ops.NewFolder(parent);
    }

    TTempDir dir;
    TTempDir src;
    fs::path source;
    TLogoTree tree;
    TScriptedPrompts prompts;
    // The pictures handed to the removal, relative to the logo directory.
    std::vector<std::string> removed;
    bool refuseRemoval = false;
    TDirectoryOps ops{dir.AppDir(), tree, prompts, [this](const std::string& path) {
                          removed.push_back(fs::relative(path, dir.Path() / "Logo Directory").string());
                          return !refuseRemoval && DeleteFileForGood(path);
                      }};
    TLogoDirObject templ;
};

TEST_F(DirectoryOpsTest, AddedPicturesGetUniqueNamesAndTheTemplate)
{
    templ.logowidth = 176;
    templ.phonemakeid = 2;
    TLogoNode* a = ops.AddImageToDirectory(nullptr, source.string(), templ);
    TLogoNode* b = ops.AddImageToDirectory(a, source.string(), templ);  // a logo selected: its folder
    TLogoNode* c = ops.AddImageToDirectory(nullptr, (src.Path() / "Photo.PNG").string(), templ);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(Names(tree.Root()), (std::vector<std::string>{"photo.jpg", "photo2.jpg", "Photo3.PNG"}));
    EXPECT_EQ(c->Data()->nodename, "Photo3.PNG");
    EXPECT_EQ(c->Data()->logowidth, 176);
    EXPECT_EQ(c->Data()->phonemakeid, 2);
    EXPECT_FALSE(c->Data()->HasFrame());
    EXPECT_EQ(c->ImageIndex(), kLogoImage);
    EXPECT_EQ(dir.Read("Logo Directory/photo2.jpg"), "JPEGDATA");
    EXPECT_EQ(dir.Read("Logo Directory/Photo3.PNG"), "PNGDATA");
    EXPECT_TRUE(fs::exists(source));  // copied, never moved
    EXPECT_TRUE(prompts.shown.empty());

    // Into a nested folder whose directory went missing: it is made again.
    TLogoNode* f = Folder(tree.Root(), "F");
    fs::remove(OnDisk("F"));
    ASSERT_NE(ops.AddImageToDirectory(f, source.string(), templ), nullptr);
    EXPECT_EQ(dir.Read("Logo Directory/F/photo.jpg"), "JPEGDATA");
}

TEST_F(DirectoryOpsTest, AddFailuresLeaveTheTreeAlone)
{
    dir.Write("Logo Directory", "a file where the folder should be");
    EXPECT_EQ(ops.AddImageToDirectory(nullptr, source.string(), templ), nullptr);
    fs::remove(dir.Path() / "Logo Directory");
    EXPECT_EQ(ops.AddImageToDirectory(nullptr, (src.Path() / "missing.jpg").string(), templ), nullptr);
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{kMsgAddFolderError, kMsgAddCopyError}));
    EXPECT_EQ(tree.Root()->Count(), 0u);
    EXPECT_FALSE(fs::exists(OnDisk("missing.jpg.part")));
}

TEST_F(DirectoryOpsTest, NewFoldersGoBeforeTheFirstLogo)
{
    ops.AddImageToDirectory(nullptr, source.string(), templ);
    prompts.inputs.push_back(std::nullopt);
    EXPECT_EQ(ops.NewFolder(nullptr), nullptr);  // cancelled
    EXPECT_EQ(prompts.shown.back().text, "New folder name|Enter new folder name:|New Folder");

    TLogoNode* first = Folder(tree.Root(), "New Folder");
    TLogoNode* second = Folder(tree.Root()->Child(1), "Second");  // a logo selected: its folder
    ASSERT_TRUE(first && second);
    EXPECT_EQ(Names(tree.Root()), (std::vector<std::string>{"New Folder", "Second", "photo.jpg"}));
    EXPECT_TRUE(fs::is_directory(OnDisk("Second")));
    EXPECT_EQ(second->Data()->nodekind, nkFolder);
    EXPECT_EQ(second->ImageIndex(), kFolderImage);
    ops.NewFolder(nullptr);  // accept the offered default
    EXPECT_EQ(tree.Root()->Child(2)->Text(), "New Folder 2");
}

TEST_F(DirectoryOpsTest, NewFolderRefusals)
{
    ops.AddImageToDirectory(nullptr, source.string(), templ);
    Folder(tree.Root(), "x.y");
    prompts.shown.clear();
    struct Case {
        const char* name;
        const char* message;
    };
    const Case cases[] = {
        {"photo", kMsgNameExists},  // a logo photo.jpg holds the base name
        {"PHOTO", kMsgNameExists},
        {"x.y", kMsgNameExists},    // base names on both sides
        {"", kMsgBadName},
        {"..", kMsgBadName},
        {"a/b", kMsgBadName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.shown.clear();
        EXPECT_EQ(Folder(tree.Root(), c.name), nullptr);
        EXPECT_EQ(prompts.shown.back().text, c.message);
    }
    EXPECT_EQ(tree.Root()->Count(), 2u);
    EXPECT_FALSE(fs::exists(OnDisk("a")));
}

TEST_F(DirectoryOpsTest, RenamingLogosKeepsTheExtension)
{
    TLogoNode* beach = ops.AddImageToDirectory(nullptr, source.string(), templ);
    beach->SetText("beach.jpg");
    fs::rename(OnDisk("photo.jpg"), OnDisk("beach.jpg"));
    ops.AddImageToDirectory(nullptr, source.string(), templ);

    prompts.inputs = {std::string("Beach")};
    EXPECT_FALSE(ops.RenameSelectedNode(beach));  // a case change alone is not applied
    EXPECT_EQ(prompts.shown.back().text, "New Logo name|Enter new logo name:|beach");
    prompts.inputs = {std::string("PHOTO")};
    EXPECT_FALSE(ops.RenameSelectedNode(beach));
    EXPECT_EQ(prompts.shown.back().text, kMsgNameExists);

    prompts.inputs = {std::string("sea")};
    ASSERT_TRUE(ops.RenameSelectedNode(beach));
    EXPECT_EQ(beach->Text(), "sea.jpg");
    EXPECT_EQ(beach->Data()->nodename, "sea.jpg");
    EXPECT_TRUE(fs::exists(OnDisk("sea.jpg")));
    EXPECT_FALSE(fs::exists(OnDisk("beach.jpg")));

    // A file on disk that the tree does not list is never overwritten by a rename.
    dir.Write("Logo Directory/kept.jpg", "UNLISTED");
    prompts.inputs = {std::string("kept")};
    prompts.shown.clear();
    EXPECT_FALSE(ops.RenameSelectedNode(beach));
    EXPECT_EQ(prompts.Texts().back(), kMsgRenameLogoError);
    EXPECT_EQ(dir.Read("Logo Directory/kept.jpg"), "UNLISTED");
    EXPECT_EQ(beach->Text(), "sea.jpg");
}

TEST_F(DirectoryOpsTest, RenamingALogoToNoNameIsRefusedBeforeTheDiskIsTouched)
{
    TLogoNode* logo = ops.AddImageToDirectory(nullptr, source.string(), templ);
    for (const char* name : {"", ".", "..", "a/b"}) {
        SCOPED_TRACE(name);
        prompts.inputs = {std::string(name)};
        prompts.shown.clear();
        EXPECT_FALSE(ops.RenameSelectedNode(logo));
        EXPECT_EQ(prompts.shown.back().kind, "warning");
        EXPECT_EQ(prompts.shown.back().text, kMsgBadName);
        EXPECT_EQ(logo->Text(), "photo.jpg");
    }
    EXPECT_TRUE(fs::exists(OnDisk("photo.jpg")));
    EXPECT_FALSE(fs::exists(OnDisk(".jpg")));
}

TEST_F(DirectoryOpsTest, RenamingFoldersMovesWhatIsBelow)
{
    TLogoNode* f = Folder(tree.Root(), "Holidays");
    TLogoNode* logo = ops.AddImageToDirectory(f, source.string(), templ);
    Folder(tree.Root(), "Other");
    EXPECT_FALSE(ops.RenameSelectedNode(tree.Root()));
    EXPECT_FALSE(ops.RenameSelectedNode(nullptr));

    prompts.inputs = {std::string("other")};
    EXPECT_FALSE(ops.RenameSelectedNode(f));
    EXPECT_EQ(prompts.Texts().back(), kMsgNameExists);
    prompts.inputs = {std::string("../escape")};
    EXPECT_FALSE(ops.RenameSelectedNode(f));
    EXPECT_EQ(prompts.Texts().back(), kMsgBadName);

    prompts.inputs = {std::string("Summer 2004")};
    ASSERT_TRUE(ops.RenameSelectedNode(f));
    EXPECT_EQ(prompts.shown[prompts.shown.size() - 1].text, "New Folder name|Enter new folder name:|Holidays");
    EXPECT_EQ(GetLogoFileName(dir.AppDir(), logo), dir.AppDir() + "Logo Directory/Summer 2004/photo.jpg");
    EXPECT_TRUE(fs::exists(GetLogoFileName(dir.AppDir(), logo)));
}

TEST_F(DirectoryOpsTest, DeletingAsksOnceAndRemovesTheDeepestFirst)
{
    TLogoNode* f = Folder(tree.Root(), "F");
    Folder(f, "Sub");
    ops.AddImageToDirectory(f, source.string(), templ);
    ops.AddImageToDirectory(f, source.string(), templ);
    TLogoNode* keep = ops.AddImageToDirectory(nullptr, source.string(), templ);
    prompts.shown.clear();

    EXPECT_FALSE(ops.DeleteSelectedNode(tree.Root(), false));
    EXPECT_FALSE(ops.DeleteSelectedNode(f, true));
    EXPECT_EQ(prompts.shown.back().kind, "warning");
    EXPECT_EQ(prompts.shown.back().text, kMsgNotDuringUpload);

    prompts.shown.clear();
    prompts.answers = {false};
    EXPECT_FALSE(ops.DeleteSelectedNode(f, false));
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{kMsgConfirmDeleteTree});
    EXPECT_TRUE(fs::exists(OnDisk("F/photo2.jpg")));

    prompts.shown.clear();
    ASSERT_TRUE(ops.DeleteSelectedNode(f, false));
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{kMsgConfirmDeleteTree});
    EXPECT_FALSE(fs::exists(OnDisk("F")));
    EXPECT_EQ(Names(tree.Root()), std::vector<std::string>{"photo.jpg"});

    prompts.shown.clear();
    ASSERT_TRUE(ops.DeleteSelectedNode(keep, false));
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{kMsgConfirmDeleteLogo});
    EXPECT_FALSE(fs::exists(OnDisk("photo.jpg")));
    // Every picture left through the removal the program gives (its trash), the deepest
    // first; the directories, empty by then, were removed directly.
    EXPECT_EQ(removed, (std::vector<std::string>{"F/photo2.jpg", "F/photo.jpg", "photo.jpg"}));

    TLogoNode* empty = Folder(tree.Root(), "Empty");
    prompts.shown.clear();
    ASSERT_TRUE(ops.DeleteSelectedNode(empty, false));
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{kMsgConfirmDeleteFolder});
}

TEST_F(DirectoryOpsTest, AFileOutsideTheTreeStopsAFolderDelete)
{
    TLogoNode* f = Folder(tree.Root(), "F");
    ops.AddImageToDirectory(f, source.string(), templ);
    ops.AddImageToDirectory(f, source.string(), templ);
    dir.Write("Logo Directory/F/unlisted.txt", "mine");
    prompts.shown.clear();
    EXPECT_FALSE(ops.DeleteSelectedNode(f, false));
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{kMsgConfirmDeleteTree, kMsgDeleteFolderError}));
    ASSERT_EQ(tree.Root()->Count(), 1u);
    EXPECT_EQ(tree.Root()->Child(0), f);
    EXPECT_EQ(f->Count(), 0u);  // the listed logos went before the folder failed
    EXPECT_EQ(dir.Read("Logo Directory/F/unlisted.txt"), "mine");
}

TEST_F(DirectoryOpsTest, APictureThatCannotBeRemovedKeepsItsNode)
{
    TLogoNode* f = Folder(tree.Root(), "F");
    TLogoNode* logo = ops.AddImageToDirectory(f, source.string(), templ);
    refuseRemoval = true;
    prompts.shown.clear();
    EXPECT_FALSE(ops.DeleteSelectedNode(logo, false));
    EXPECT_FALSE(ops.DeleteSelectedNode(f, false));
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{kMsgConfirmDeleteLogo, kMsgDeleteLogoError,
                                                         kMsgConfirmDeleteTree, kMsgDeleteFolderError}));
    EXPECT_EQ(f->Count(), 1u);
    EXPECT_TRUE(fs::exists(OnDisk("F/photo.jpg")));
}

TEST_F(DirectoryOpsTest, ALogoWhoseFileIsAlreadyGoneCanBeDeleted)
{
    TLogoNode* logo = ops.AddImageToDirectory(nullptr, source.string(), templ);
    fs::remove(OnDisk("photo.jpg"));
    EXPECT_TRUE(ops.DeleteSelectedNode(logo, false));
    EXPECT_EQ(tree.Root()->Count(), 0u);
}

} // namespace

namespace {

// The delete the window runs on a worker: stopped after some files (a Cancel, a file that
// cannot go) and its nodes taken out a few at a time, the tree lists exactly what is still
// on disk, in its order.
TEST_F(DirectoryOpsTest, ASubtreeDeleteStoppedMidwayLeavesTheTreeAsTheDisk)
{
    struct TCase {
        const char* what;
        size_t stopAfter;  // pictures removed before the stop
        bool cancel;       // else the next picture cannot be removed
        std::vector<std::string> left;  // below F, in tree order
    };
    const TCase cases[] = {
        {"cancelled at once", 0, true, {"Sub", "Sub/a.jpg", "Sub/a2.jpg", "photo.jpg", "photo2.jpg"}},
        {"cancelled in the folder's own logos", 1, true, {"Sub", "Sub/a.jpg", "Sub/a2.jpg", "photo.jpg"}},
        {"failed in the sub-folder", 3, false, {"Sub", "Sub/a.jpg"}},
        {"cancelled after the last picture", 4, true, {"Sub"}},
        {"run to the end", 99, true, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TLogoNode* f = Folder(tree.Root(), "F");
        TLogoNode* sub = Folder(f, "Sub");
        for (int i = 0; i < 2; ++i) {
            ops.AddImageToDirectory(sub, src.Write("a.jpg", "A").string(), templ);
            ops.AddImageToDirectory(f, source.string(), templ);
        }
        size_t count = 0;
        std::unique_ptr<TSubtreeDelete> plan;
        plan = std::make_unique<TSubtreeDelete>(dir.AppDir(), f, [&](const std::string& path) {
            if (!c.cancel && count == c.stopAfter)
                return false;
            const bool gone = DeleteFileForGood(path);
            if (++count == c.stopAfter && c.cancel)
                plan->Cancel();  // the step under way has finished
            if (count == 2)
                plan->RemoveGone(tree);  // the window takes what is gone while the rest goes
            return gone;
        });
        if (c.cancel && c.stopAfter == 0)
            plan->Cancel();
        EXPECT_EQ(plan->Count(), 6u);
        plan->Run();
        plan->RemoveGone(tree);
        EXPECT_TRUE(plan->Finished());
        EXPECT_EQ(plan->Failed(), !c.cancel);
        EXPECT_EQ(plan->Done(), 6 - c.left.size() - (c.left.empty() ? 0 : 1));

        std::vector<std::string> listed;
        for (const TLogoNode* n = tree.Root(); n;) {  // the tree below F, depth first
            if (n != tree.Root() && n != f)
                listed.push_back(fs::relative(GetNodePath(dir.AppDir(), n), OnDisk("F")).string());
            if (n->Count() > 0) {
                n = n->Child(0);
                continue;
            }
            while (n && n != tree.Root() && static_cast<size_t>(n->Index()) + 1 == n->Parent()->Count())
                n = n->Parent();
            n = n && n != tree.Root() ? n->Parent()->Child(static_cast<size_t>(n->Index()) + 1) : nullptr;
        }
        const bool folderGone = c.left.empty();
        EXPECT_EQ(listed, c.left);
        std::vector<std::string> onDisk;
        if (fs::exists(OnDisk("F"))) {
            for (const fs::directory_entry& e : fs::recursive_directory_iterator(OnDisk("F")))
                onDisk.push_back(fs::relative(e.path(), OnDisk("F")).string());
        }
        std::sort(onDisk.begin(), onDisk.end());
        std::vector<std::string> expected = c.left;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(onDisk, expected);
        EXPECT_EQ(tree.Root()->Count(), folderGone ? 0u : 1u) << "F stays while anything of it is left";
        if (tree.Root()->Count() > 0)
            tree.Delete(tree.Root()->Child(0));
        fs::remove_all(OnDisk("F"));
    }
}

} // namespace
