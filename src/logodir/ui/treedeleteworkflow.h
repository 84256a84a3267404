#pragma once

#include "logodir/directoryops.h"

#include <QObject>
#include <QPointer>

#include <string>

class QWidget;

namespace quillon {

// Deletes a folder with its subtree without holding up the window: the files go to the
// trash on a thread of their own while the window keeps answering, and the tree loses
// each node as its file goes. After a moment a progress dialog appears with Cancel; what
// was moved stays moved and the rest stays in the tree. The user's input to the window is
// held back meanwhile, so the tree cannot be edited under the delete.
class TTreeDeleteWorkflow : public QObject {
    Q_OBJECT
public:
    static constexpr int kDialogDelayMs = 500;
    static constexpr int kTickMs = 30;

    TTreeDeleteWorkflow(std::string appDir, TLogoTree& tree, TRemoveFile removeFile, QWidget* window);

    // The deleter for TDirectoryOps: returns when the delete is over.
    bool Delete(TLogoNode* node, bool* cancelled);
    bool Running() const { return running_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    std::string appDir_;
    TLogoTree& tree_;
    TRemoveFile removeFile_;
    QPointer<QWidget> window_;
    QPointer<QWidget> dialog_;
    bool running_ = false;
};

} // namespace quillon
