#pragma once

#include "logodir/logotree.h"

#include <QAbstractItemModel>
#include <QIcon>

namespace quillon {

// Shows a TLogoTree in a Qt view. The tree tells the model about each change, so the
// view follows every insertion, removal and rename as it happens.
class TLogoTreeModel : public QAbstractItemModel, public TLogoTreeObserver {
    Q_OBJECT
public:
    TLogoTreeModel(TLogoTree& tree, QObject* parent = nullptr);
    ~TLogoTreeModel() override;

    // Tree images by index: 0 logo, 1 folder.
    void SetImages(const QIcon& logo, const QIcon& folder);

    QModelIndex IndexOf(const TLogoNode* node) const;
    static TLogoNode* NodeOf(const QModelIndex& index);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void BeforeInsert(TLogoNode* parent, int row) override;
    void AfterInsert(TLogoNode* parent, int row) override;
    void BeforeRemove(TLogoNode* parent, int first, int last) override;
    void AfterRemove(TLogoNode* parent, int first, int last) override;
    void Changed(TLogoNode* node) override;
    void BeforeReset() override;
    void AfterReset() override;

signals:
    // A node's expanded flag changed in the tree; the view should follow.
    void ExpandedChanged(const QModelIndex& index, bool expanded);

private:
    TLogoTree& tree_;
    QIcon images_[2];
};

} // namespace quillon
