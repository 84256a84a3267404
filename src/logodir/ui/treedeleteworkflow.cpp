#include "logodir/ui/treedeleteworkflow.h"

#include "logodir/messages.h"
#include "logodir/subtreedelete.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include <thread>

namespace quillon {

TTreeDeleteWorkflow::TTreeDeleteWorkflow(std::string appDir, TLogoTree& tree, TRemoveFile removeFile, QWidget* window)
    : QObject(window), appDir_(std::move(appDir)), tree_(tree), removeFile_(std::move(removeFile)), window_(window)
{
}

bool TTreeDeleteWorkflow::Delete(TLogoNode* node, bool* cancelled)
{
    TSubtreeDelete plan(appDir_, node, removeFile_);
    running_ = true;
    qApp->installEventFilter(this);

    QProgressDialog dialog(QString::fromUtf8(kMsgDeletingFolder), QString::fromUtf8(kCaptionCancel), 0,
                           static_cast<int>(plan.Count()), window_.data());
    dialog.setObjectName(QStringLiteral("DeleteProgressForm"));
    dialog.setWindowTitle(QString::fromUtf8(kTitleDeleting));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setMinimumDuration(kDialogDelayMs);
    dialog_ = &dialog;
    connect(&dialog, &QProgressDialog::canceled, this, [&plan] { plan.Cancel(); });

    std::thread worker([&plan] { plan.Run(); });
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(kTickMs);
    connect(&tick, &QTimer::timeout, &loop, [&] {
        plan.RemoveGone(tree_);
        if (plan.Finished())
            loop.quit();
        else
            dialog.setValue(static_cast<int>(plan.Done()));
    });
    tick.start();
    loop.exec();
    // The loop also ends when the program is told to quit: the step under way finishes,
    // and the tree shows what it did.
    plan.Cancel();
    worker.join();
    plan.RemoveGone(tree_);

    dialog_ = nullptr;
    qApp->removeEventFilter(this);
    running_ = false;
    *cancelled = plan.Cancelled() && !plan.Failed();
    return plan.Done() == plan.Count();
}

bool TTreeDeleteWorkflow::eventFilter(QObject* watched, QEvent* e)
{
    // Input for the window is held back, the dialog's own goes through; painting, timers
    // and everything the desktop asks of the window go on.
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Drop:
    case QEvent::ContextMenu:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::Close: {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget && e->type() != QEvent::Shortcut)
            break;
        if (widget && dialog_ && (widget == dialog_ || dialog_->isAncestorOf(widget)))
            break;
        e->ignore();
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, e);
}

} // namespace quillon
