#include "logodir/ui/logotreemodel.h"

namespace quillon {

TLogoTreeModel::TLogoTreeModel(TLogoTree& tree, QObject* parent) : QAbstractItemModel(parent), tree_(tree)
{
    tree_.SetObserver(this);
}

TLogoTreeModel::~TLogoTreeModel()
{
    if (tree_.Observer() == this)
        tree_.SetObserver(nullptr);
}

void TLogoTreeModel::SetImages(const QIcon& logo, const QIcon& folder)
{
    images_[kLogoImage] = logo;
    images_[kFolderImage] = folder;
}

TLogoNode* TLogoTreeModel::NodeOf(const QModelIndex& index)
{
    return index.isValid() ? static_cast<TLogoNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TLogoTreeModel::IndexOf(const TLogoNode* node) const
{
    if (!node)
        return {};
    return createIndex(node->Index(), 0, const_cast<TLogoNode*>(node));
}

QModelIndex TLogoTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid()) {
        // The root "Logo Directory" is the one top-level item.
        return row == 0 && tree_.Root() ? createIndex(0, 0, tree_.Root()) : QModelIndex();
    }
    TLogoNode* p = NodeOf(parent);
    if (row >= static_cast<int>(p->Count()))
        return {};
    return createIndex(row, 0, p->Child(static_cast<size_t>(row)));
}

QModelIndex TLogoTreeModel::parent(const QModelIndex& child) const
{
    TLogoNode* node = NodeOf(child);
    if (!node || !node->Parent())
        return {};
    return IndexOf(node->Parent());
}

int TLogoTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return tree_.Root() ? 1 : 0;
    if (parent.column() != 0)
        return 0;
    return static_cast<int>(NodeOf(parent)->Count());
}

int TLogoTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant TLogoTreeModel::data(const QModelIndex& index, int role) const
{
    const TLogoNode* node = NodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return QString::fromStdString(node->Text());
    case Qt::DecorationRole:
        return images_[node->ImageIndex() == kLogoImage ? kLogoImage : kFolderImage];
    default:
        return {};
    }
}

void TLogoTreeModel::BeforeInsert(TLogoNode* parent, int row) { beginInsertRows(IndexOf(parent), row, row); }
void TLogoTreeModel::AfterInsert(TLogoNode*, int) { endInsertRows(); }
void TLogoTreeModel::BeforeRemove(TLogoNode* parent, int first, int last)
{
    beginRemoveRows(IndexOf(parent), first, last);
}
void TLogoTreeModel::AfterRemove(TLogoNode*, int, int) { endRemoveRows(); }
void TLogoTreeModel::BeforeReset() { beginResetModel(); }
void TLogoTreeModel::AfterReset() { endResetModel(); }

void TLogoTreeModel::Changed(TLogoNode* node)
{
    const QModelIndex i = IndexOf(node);
    emit dataChanged(i, i);
    emit ExpandedChanged(i, node->Expanded());
}

} // namespace quillon
