#pragma once

#include "logodir/logodirobject.h"

#include <memory>
#include <string>
#include <vector>

namespace quillon {

inline constexpr const char* kLogoDirectoryName = "Logo Directory";
inline constexpr int kLogoImage = 0;
inline constexpr int kFolderImage = 1;

class TLogoTree;

// One node of the logo tree: its text, its image and the record it owns.
class TLogoNode {
public:
    TLogoNode(TLogoTree* tree, TLogoNode* parent, std::string text, int imageIndex,
              std::unique_ptr<TLogoDirObject> data);

    const std::string& Text() const { return text_; }
    int ImageIndex() const { return imageIndex_; }
    int SelectedIndex() const { return imageIndex_; }
    TLogoDirObject* Data() const { return data_.get(); }
    TLogoNode* Parent() const { return parent_; }
    TLogoTree* Tree() const { return tree_; }
    bool Expanded() const { return expanded_; }
    void SetExpanded(bool expanded);

    size_t Count() const { return children_.size(); }
    TLogoNode* Child(size_t i) const { return children_[i].get(); }
    int IndexOf(const TLogoNode* child) const;
    int Index() const { return parent_ ? parent_->IndexOf(this) : 0; }
    bool IsRoot() const { return parent_ == nullptr; }
    int Level() const;

    // Changes the text; the record's name follows, so the two never differ.
    void SetText(const std::string& text);

private:
    friend class TLogoTree;
    TLogoTree* tree_;
    TLogoNode* parent_;
    std::string text_;
    int imageIndex_;
    bool expanded_ = false;
    std::unique_ptr<TLogoDirObject> data_;
    std::vector<std::unique_ptr<TLogoNode>> children_;
};

// Told about every change of the tree, so a view can stay in step with it.
class TLogoTreeObserver {
public:
    virtual ~TLogoTreeObserver() = default;
    virtual void BeforeInsert(TLogoNode* parent, int row) = 0;
    virtual void AfterInsert(TLogoNode* parent, int row) = 0;
    virtual void BeforeRemove(TLogoNode* parent, int row) = 0;
    virtual void AfterRemove(TLogoNode* parent, int row) = 0;
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
    // Removes every node below the root.
    void Clear();

    void SetObserver(TLogoTreeObserver* observer) { observer_ = observer; }
    TLogoTreeObserver* Observer() const { return observer_; }

private:
    std::unique_ptr<TLogoNode> root_;
    TLogoTreeObserver* observer_ = nullptr;
};

} // namespace quillon
