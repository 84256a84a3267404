#include "logodir/logotree.h"

#include "common/error.h"

#include <algorithm>

namespace quillon {

TLogoNode::TLogoNode(TLogoTree* tree, TLogoNode* parent, std::string text, int imageIndex,
                     std::unique_ptr<TLogoDirObject> data)
    : tree_(tree), parent_(parent), text_(std::move(text)), imageIndex_(imageIndex), data_(std::move(data))
{
}

void TLogoNode::SetExpanded(bool expanded)
{
    if (expanded_ == expanded)
        return;
    expanded_ = expanded;
    if (tree_->Observer())
        tree_->Observer()->Changed(this);
}

int TLogoNode::IndexOf(const TLogoNode* child) const
{
    for (size_t i = 0; i < children_.size(); ++i) {
        if (children_[i].get() == child)
            return static_cast<int>(i);
    }
    return -1;
}

int TLogoNode::Level() const
{
    int level = 0;
    for (const TLogoNode* n = parent_; n; n = n->parent_)
        ++level;
    return level;
}

void TLogoNode::SetText(const std::string& text)
{
    text_ = text;
    if (data_)
        data_->nodename = text;
    if (tree_->Observer())
        tree_->Observer()->Changed(this);
}

TLogoTree::TLogoTree() = default;

TLogoNode* TLogoTree::CreateRootNode()
{
    if (observer_)
        observer_->BeforeReset();
    root_ = std::make_unique<TLogoNode>(this, nullptr, kLogoDirectoryName, kFolderImage,
                                        std::make_unique<TLogoDirObject>(nkRoot, kLogoDirectoryName));
    if (observer_)
        observer_->AfterReset();
    return root_.get();
}

TLogoNode* TLogoTree::AddChild(TLogoNode* parent, const std::string& text, int imageIndex,
                               std::unique_ptr<TLogoDirObject> data)
{
    if (!parent)
        throw QuillonError("A node needs a parent");
    return InsertChild(parent, static_cast<int>(parent->Count()), text, imageIndex, std::move(data));
}

TLogoNode* TLogoTree::InsertChild(TLogoNode* parent, int index, const std::string& text, int imageIndex,
                                  std::unique_ptr<TLogoDirObject> data)
{
    if (!parent || index < 0 || index > static_cast<int>(parent->Count()))
        throw QuillonError("No place for a node there");
    if (observer_)
        observer_->BeforeInsert(parent, index);
    auto it = parent->children_.insert(parent->children_.begin() + index,
                                       std::make_unique<TLogoNode>(this, parent, text, imageIndex, std::move(data)));
    if (observer_)
        observer_->AfterInsert(parent, index);
    return it->get();
}

void TLogoTree::Delete(TLogoNode* node)
{
    if (!node || node->IsRoot())
        throw QuillonError("The root node cannot be deleted");
    TLogoNode* parent = node->parent_;
    const int row = parent->IndexOf(node);
    if (observer_)
        observer_->BeforeRemove(parent, row);
    parent->children_.erase(parent->children_.begin() + row);
    if (observer_)
        observer_->AfterRemove(parent, row);
}

void TLogoTree::Clear()
{
    if (!root_)
        return;
    while (root_->Count() > 0)
        Delete(root_->Child(root_->Count() - 1));
}

} // namespace quillon
