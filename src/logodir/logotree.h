#pragma once

#include "logodir/logodirobject.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

inline constexpr const char* kLogoDirectoryName = "Logo Directory";
inline constexpr int kLogoImage = 0;
inline constexpr int kFolderImage = 1;

class TLogoTree;

// One node of the logo tree: its image and the record it owns, whose name is the node's text.
class TLogoNode {
public:
    TLogoNode(TLogoTree* tree, TLogoNode* parent, int imageIndex, std::unique_ptr<TLogoDirObject> data);

    // The record's name: the two are one string, so they never differ.
    const std::string& Text() const { return data_->nodename; }
    int ImageIndex() const { return imageIndex_; }
    int SelectedIndex() const { return imageIndex_; }
    TLogoDirObject* Data() const { return data_.get(); }
    TLogoNode* Parent() const { return parent_; }
    TLogoTree* Tree() const { return tree_; }
    bool Expanded() const { return expanded_; }
    void SetExpanded(bool expanded);

    size_t Count() const { return children_.size(); }
    TLogoNode* Child(size_t i) const { return children_[i].get(); }
    // Each node knows its place among its siblings, so a view asking for it pays nothing
    // however many siblings there are.
    int IndexOf(const TLogoNode* child) const { return child && child->parent_ == this ? child->index_ : -1; }
    int Index() const { return index_; }
    bool IsRoot() const { return parent_ == nullptr; }
    int Level() const;

    void SetText(const std::string& text);

private:
    friend class TLogoTree;
    void Renumber(size_t from);

    TLogoTree* tree_;
    TLogoNode* parent_;
    int32_t index_ = 0;
    int16_t imageIndex_;
    bool expanded_ = false;
    std::unique_ptr<TLogoDirObject> data_;
    std::vector<std::unique_ptr<TLogoNode>> children_;
};

// Told about every change of the tree, so a view can stay in step with it. Removals come
// as ranges of rows, so taking a thousand logos out of a folder is one notification.
class TLogoTreeObserver {
public:
    virtual ~TLogoTreeObserver() = default;
    virtual void BeforeInsert(TLogoNode* parent, int row) = 0;
    virtual void AfterInsert(TLogoNode* parent, int row) = 0;
    virtual void BeforeRemove(TLogoNode* parent, int first, int last) = 0;
    virtual void AfterRemove(TLogoNode* parent, int first, int last) = 0;
    virtual void Changed(TLogoNode* node) = 0;
    virtual void BeforeReset() {}
    virtual void AfterReset() {}
};

// The user's collection: the fixed root "Logo Directory", folders and logos.
class TLogoTree {
public:
    TLogoTree();
    TLogoTree(const TLogoTree&) = delete;
    TLogoTree& operator=(const TLogoTree&) = delete;

    // The root node, created by CreateRootNode; null before.
    TLogoNode* Root() const { return root_.get(); }
    TLogoNode* CreateRootNode();

    // Adds a node as the last child of parent and returns it.
    TLogoNode* AddChild(TLogoNode* parent, const std::string& text, int imageIndex,
                        std::unique_ptr<TLogoDirObject> data);
    // Inserts a node so that it becomes child number index of parent.
    TLogoNode* InsertChild(TLogoNode* parent, int index, const std::string& text, int imageIndex,
                           std::unique_ptr<TLogoDirObject> data);
    // Deletes the node with its subtree and records; the root cannot be deleted.
    void Delete(TLogoNode* node);
    // Deletes the last `count` children of parent with their subtrees, told as one removal.
    void DeleteLastChildren(TLogoNode* parent, size_t count);
    // Removes every node below the root.
    void Clear();

    void SetObserver(TLogoTreeObserver* observer) { observer_ = observer; }
    TLogoTreeObserver* Observer() const { return observer_; }

    // Rises with every change of what the directory file would say: nodes added, removed or
    // renamed, and records changed. Records are edited in place by whoever shows them, so
    // the one on show is watched (WatchRecord) and compared here, and anyone else who edits
    // a record says so (RecordChanged). Costs nothing when nothing changed.
    uint64_t Revision();
    void RecordChanged() { ++revision_; }
    // Watches node's record from now on (null: none), after noting what the one watched so
    // far became.
    void WatchRecord(TLogoNode* node);

    // While one lives, the tree's changes reach the observer as one reset at its end: a
    // directory read or a subtree emptied costs the view one rebuild, not one per node.
    class TBulkChange {
    public:
        explicit TBulkChange(TLogoTree& tree);
        ~TBulkChange();
        TBulkChange(const TBulkChange&) = delete;
        TBulkChange& operator=(const TBulkChange&) = delete;

    private:
        TLogoTree& tree_;
        TLogoTreeObserver* observer_;
    };

private:
    void ForgetWatchIn(const TLogoNode* removed);

    std::unique_ptr<TLogoNode> root_;
    TLogoTreeObserver* observer_ = nullptr;
    uint64_t revision_ = 0;
    TLogoNode* watched_ = nullptr;
    std::optional<TLogoDirObject> watchedCopy_;
};

} // namespace quillon
