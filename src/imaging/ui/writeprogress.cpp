#include "imaging/ui/writeprogress.h"

#include <QProgressDialog>

#include <algorithm>

namespace quillon {

namespace {

constexpr int kSteps = 1000;

} // namespace

TWriteProgress::TWriteProgress(QWidget* window, int delayMs) : window_(window), delayMs_(delayMs)
{
    started_.start();
}

TWriteProgress::~TWriteProgress()
{
    delete dialog_.data();
}

TEncodeProgress TWriteProgress::Callback()
{
    return [this](double done) { Tell(done); };
}

void TWriteProgress::Tell(double done)
{
    // Gone once the file is complete, before anything that follows is asked or reported.
    if (done >= 1) {
        delete dialog_.data();
        return;
    }
    if (!dialog_) {
        if (started_.elapsed() < delayMs_)
            return;
        dialog_ = new QProgressDialog(QStringLiteral("Writing the picture..."), QString(), 0, kSteps, window_.data());
        dialog_->setObjectName(QStringLiteral("WriteProgressForm"));
        dialog_->setWindowTitle(QStringLiteral("Please wait"));
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setCancelButton(nullptr);
        // Shown at the next step: the wait before it is this object's own.
        dialog_->setMinimumDuration(0);
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
        dialog_->setValue(0);
    }
    // A modal dialog processes the events waiting when its value changes.
    dialog_->setValue(std::clamp(static_cast<int>(done * kSteps), 0, kSteps));
}

} // namespace quillon
