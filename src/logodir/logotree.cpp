#include "logodir/logotree.h"

#include "common/error.h"

namespace quillon {

TLogoNode::TLogoNode(TLogoTree* tree, TLogoNode* parent, int imageIndex, std::unique_ptr<TLogoDirObject> data)
    : tree_(tree), parent_(parent), imageIndex_(static_cast<int16_t>(imageIndex)), data_(std::move(data))
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

int TLogoNode::Level() const
{
    int level = 0;
    for (const TLogoNode* n = parent_; n; n = n->parent_)
        ++level;
    return level;
}

void TLogoNode::SetText(const std::string& text)
{
    data_->nodename = text;
    tree_->RecordChanged();
    if (tree_->Observer())
        tree_->Observer()->Changed(this);
}

void TLogoNode::Renumber(size_t from)
{
    for (size_t i = from; i < children_.size(); ++i)
        children_[i]->index_ = static_cast<int32_t>(i);
}

TLogoTree::TLogoTree() = default;

TLogoNode* TLogoTree::CreateRootNode()
{
    if (observer_)
        observer_->BeforeReset();
    watched_ = nullptr;
    watchedCopy_.reset();
    root_ = std::make_unique<TLogoNode>(this, nullptr, kFolderImage,
                                        std::make_unique<TLogoDirObject>(nkRoot, kLogoDirectoryName));
    ++revision_;
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
    if (!data)
        data = std::make_unique<TLogoDirObject>();
    data->nodename = text;
    if (observer_)
        observer_->BeforeInsert(parent, index);
    parent->children_.insert(parent->children_.begin() + index,
                             std::make_unique<TLogoNode>(this, parent, imageIndex, std::move(data)));
    parent->Renumber(static_cast<size_t>(index));
    ++revision_;
    if (observer_)
        observer_->AfterInsert(parent, index);
    return parent->children_[static_cast<size_t>(index)].get();
}

void TLogoTree::ForgetWatchIn(const TLogoNode* removed)
{
    for (const TLogoNode* n = watched_; n; n = n->parent_) {
        if (n == removed) {
            watched_ = nullptr;
            watchedCopy_.reset();
            return;
        }
    }
}

void TLogoTree::Delete(TLogoNode* node)
{
    if (!node || node->IsRoot())
        throw QuillonError("The root node cannot be deleted");
    TLogoNode* parent = node->parent_;
    const int row = node->index_;
    ForgetWatchIn(node);
    if (observer_)
        observer_->BeforeRemove(parent, row, row);
    parent->children_.erase(parent->children_.begin() + row);
    parent->Renumber(static_cast<size_t>(row));
    ++revision_;
    if (observer_)
        observer_->AfterRemove(parent, row, row);
}

void TLogoTree::DeleteLastChildren(TLogoNode* parent, size_t count)
{
    if (!parent || count > parent->Count())
        throw QuillonError("No such nodes to delete");
    if (count == 0)
        return;
    const size_t first = parent->Count() - count;
    for (size_t i = first; i < parent->Count(); ++i)
        ForgetWatchIn(parent->Child(i));
    const int last = static_cast<int>(parent->Count()) - 1;
    if (observer_)
        observer_->BeforeRemove(parent, static_cast<int>(first), last);
    parent->children_.resize(first);
    ++revision_;
    if (observer_)
        observer_->AfterRemove(parent, static_cast<int>(first), last);
}

void TLogoTree::Clear()
{
    if (root_)
        DeleteLastChildren(root_.get(), root_->Count());
}

uint64_t TLogoTree::Revision()
{
    if (watched_ && !(*watched_->data_ == *watchedCopy_)) {
        *watchedCopy_ = *watched_->data_;
        ++revision_;
    }
    return revision_;
}

void TLogoTree::WatchRecord(TLogoNode* node)
{
    Revision();
    watched_ = node;
    if (node)
        watchedCopy_ = *node->data_;
    else
        watchedCopy_.reset();
}

TLogoTree::TBulkChange::TBulkChange(TLogoTree& tree) : tree_(tree), observer_(tree.observer_)
{
    if (observer_)
        observer_->BeforeReset();
    tree_.observer_ = nullptr;
}

TLogoTree::TBulkChange::~TBulkChange()
{
    tree_.observer_ = observer_;
    if (observer_)
        observer_->AfterReset();
}

} // namespace quillon
