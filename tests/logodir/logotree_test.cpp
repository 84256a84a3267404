// The tree keeps each node's place among its siblings and a revision of what the directory
// file would say, so neither a view nor the saver has to look through the collection.
#include "logodir/logodirfile.h"
#include "logodir/logotree.h"

#include <gtest/gtest.h>

#include <functional>

#include <string>
#include <vector>

using namespace quillon;

namespace {

TLogoNode* Add(TLogoTree& tree, TLogoNode* parent, int at, const std::string& name)
{
    return tree.InsertChild(parent, at < 0 ? static_cast<int>(parent->Count()) : at, name, kLogoImage,
                            std::make_unique<TLogoDirObject>(nkLogo, name));
}

// Every node's stored index against a count made afresh, with the names in order.
std::string CheckedShape(const TLogoNode* node)
{
    std::string shape;
    for (size_t i = 0; i < node->Count(); ++i) {
        const TLogoNode* child = node->Child(i);
        EXPECT_EQ(child->Index(), static_cast<int>(i)) << child->Text();
        EXPECT_EQ(node->IndexOf(child), static_cast<int>(i)) << child->Text();
        EXPECT_EQ(child->Parent(), node);
        shape += child->Text();
        if (child->Count() > 0)
            shape += "(" + CheckedShape(child) + ")";
        shape += " ";
    }
    return shape;
}

// A view that checks every notification against the tree it is told about.
class TRecordingObserver : public TLogoTreeObserver {
public:
    std::vector<std::string> events;
    void BeforeInsert(TLogoNode* p, int row) override { events.push_back("+" + p->Text() + std::to_string(row)); }
    void AfterInsert(TLogoNode* p, int row) override { EXPECT_EQ(p->Child(static_cast<size_t>(row))->Index(), row); }
    void BeforeRemove(TLogoNode* p, int first, int last) override
    {
        events.push_back("-" + p->Text() + std::to_string(first) + ".." + std::to_string(last));
    }
    void AfterRemove(TLogoNode*, int, int) override {}
    void Changed(TLogoNode* n) override { events.push_back("~" + n->Text()); }
    void BeforeReset() override { events.push_back("reset"); }
    void AfterReset() override {}
};

TEST(LogoTree, SiblingIndicesStayRightThroughInsertsRemovesAndMoves)
{
    TLogoTree tree;
    TLogoNode* root = tree.CreateRootNode();
    TLogoNode* a = tree.AddChild(root, "A", kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, "A"));
    TLogoNode* b = tree.AddChild(root, "B", kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, "B"));
    // Each operation, then the shape the tree must have (names in order, sub-folders in brackets).
    struct TStep {
        const char* what;
        std::function<void()> apply;
        const char* shape;
    };
    const TStep steps[] = {
        {"appended", [&] { for (const char* n : {"1", "2", "3"}) Add(tree, a, -1, n); }, "A(1 2 3 ) B "},
        {"inserted first", [&] { Add(tree, a, 0, "0"); }, "A(0 1 2 3 ) B "},
        {"inserted in the middle", [&] { Add(tree, a, 2, "x"); }, "A(0 1 x 2 3 ) B "},
        {"removed from the middle", [&] { tree.Delete(a->Child(2)); }, "A(0 1 2 3 ) B "},
        {"removed first", [&] { tree.Delete(a->Child(0)); }, "A(1 2 3 ) B "},
        {"moved to another folder (removed, then inserted)",
         [&] {
             tree.Delete(a->Child(0));
             Add(tree, b, 0, "1");
         },
         "A(2 3 ) B(1 ) "},
        {"a folder inserted before the first", [&] {
             tree.InsertChild(root, 0, "C", kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, "C"));
         },
         "C A(2 3 ) B(1 ) "},
        {"the last children taken at once", [&] { tree.DeleteLastChildren(a, 2); }, "C A B(1 ) "},
        {"a folder with its subtree removed", [&] { tree.Delete(b); }, "C A "},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.what);
        step.apply();
        EXPECT_EQ(CheckedShape(root), step.shape);
        EXPECT_EQ(root->Index(), 0);
    }
    EXPECT_THROW(tree.DeleteLastChildren(a, 1), std::exception);
}

TEST(LogoTree, RemovalsReachTheObserverAsRangesAndABulkChangeAsOneReset)
{
    TLogoTree tree;
    TLogoNode* root = tree.CreateRootNode();
    TRecordingObserver observer;
    tree.SetObserver(&observer);
    {
        TLogoTree::TBulkChange bulk(tree);
        for (int i = 0; i < 5; ++i)
            Add(tree, root, -1, "n" + std::to_string(i));
    }
    tree.DeleteLastChildren(root, 3);
    tree.Delete(root->Child(0));
    root->Child(0)->SetText("renamed");
    EXPECT_EQ(observer.events, (std::vector<std::string>{"reset", "-Logo Directory2..4", "-Logo Directory0..0", "~renamed"}));
    EXPECT_EQ(CheckedShape(root), "renamed ");
}

TEST(LogoTree, TheRevisionRisesWithEveryChangeTheFileWouldShowAndOnlyThen)
{
    TLogoTree tree;
    TLogoNode* root = tree.CreateRootNode();
    TLogoNode* logo = Add(tree, root, -1, "photo.jpg");
    TLogoNode* other = Add(tree, root, -1, "other.jpg");
    tree.WatchRecord(logo);

    struct TStep {
        const char* what;
        std::function<void()> apply;
        bool changes;
    };
    const TStep steps[] = {
        {"nothing", [] {}, false},
        {"expanded", [&] { root->SetExpanded(true); }, false},
        {"the watched record's frame", [&] { logo->Data()->frameleft = 7; }, true},
        {"the watched record written with what it holds", [&] { logo->Data()->frameleft = 7; }, false},
        {"watching another record", [&] { tree.WatchRecord(other); }, false},
        {"the record watched before, now unwatched, told", [&] {
             logo->Data()->uploadurl = "http://x/";
             tree.RecordChanged();
         },
         true},
        {"a change of the watched record, then another node watched", [&] {
             other->Data()->logowidth = 200;
             tree.WatchRecord(logo);
         },
         true},
        {"renamed", [&] { other->SetText("sea.jpg"); }, true},
        {"added", [&] { Add(tree, root, -1, "new.jpg"); }, true},
        {"the watched node deleted", [&] { tree.Delete(logo); }, true},
        {"nothing after the watched node is gone", [] {}, false},
    };
    uint64_t revision = tree.Revision();
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.what);
        step.apply();
        const uint64_t now = tree.Revision();
        EXPECT_EQ(now != revision, step.changes);
        revision = now;
    }
}

// The snapshot the saver writes from says what the tree says, nesting included.
TEST(LogoTree, TheSnapshotWritesTheTreeAsItIs)
{
    TLogoTree tree;
    TLogoNode* root = tree.CreateRootNode();
    TLogoNode* a = tree.AddChild(root, "A", kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, "A"));
    TLogoNode* deep = tree.AddChild(a, "Deep", kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, "Deep"));
    Add(tree, deep, -1, "d.jpg")->Data()->uploadurl = "http://x/?a=1&b=\"2\"";
    Add(tree, a, -1, "a.jpg")->Data()->fitkind = fkWidth;
    tree.AddChild(root, "Empty", kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, "Empty"));
    Add(tree, root, -1, "top.jpg")->Data()->frameleft = -12;

    const TLogoDirSnapshot snapshot = TakeLogoDirSnapshot(tree);
    ASSERT_EQ(snapshot.entries.size(), 6u);
    const std::string xml = LogoDirectoryXml(snapshot);
    const auto at = [&](const std::string& s) { return xml.find(s); };
    // Order and nesting: Deep and a.jpg inside A, d.jpg inside Deep, Empty and top.jpg at the top.
    EXPECT_LT(at("nodename=\"A\""), at("nodename=\"Deep\""));
    EXPECT_LT(at("nodename=\"d.jpg\""), at("</logodirnode><logodirnode nodekind=\"logo\" nodename=\"a.jpg\""));
    EXPECT_NE(at("uploadurl=\"\"/></logodirnode><logodirnode nodekind=\"folder\" nodename=\"Empty\""), std::string::npos)
        << xml;
    EXPECT_NE(at("nodename=\"top.jpg\" frameleft=\"-12\""), std::string::npos) << xml;
    EXPECT_NE(at("nodename=\"a.jpg\" frameleft=\"-1\" frametop=\"-1\" framewidth=\"-1\" frameheight=\"-1\" "
                 "phonemakeid=\"-1\" phonemodelid=\"-1\" logowidth=\"128\" logoheight=\"128\" fitkind=\"width\""),
              std::string::npos) << xml;
    EXPECT_NE(at("uploadurl=\"http://x/?a=1&amp;b=&quot;2&quot;\""), std::string::npos) << xml;
    EXPECT_EQ(xml.substr(xml.size() - 17), "</logodirectory>\n");
    EXPECT_EQ(LogoDirectoryXml(tree), xml);
}

} // namespace
