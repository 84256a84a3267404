#include "acquire/ui/picturedownloadworkflow.h"

#include "acquire/settingsstore.h"
#include "acquire/ui/picturedownloadform.h"

#include <QTimer>
#include <filesystem>

namespace quillon {

TPictureDownloadWorkflow::TPictureDownloadWorkflow(TSettingsStore& store, TPictureDownloadForm& form,
                                                   std::function<void(const std::string&)> addPicture, QObject* parent)
    : QObject(parent), store_(store), form_(form), addPicture_(std::move(addPicture))
{
}

void TPictureDownloadWorkflow::Shutdown() { form_.Shutdown(); }

bool TPictureDownloadWorkflow::Busy() const { return showing_ || form_.isVisible(); }

void TPictureDownloadWorkflow::CheckImageURL()
{
    if (Busy()) {
        // A hand-off during a download waits in the key until the dialog has closed.
        askedMeanwhile_ = true;
        return;
    }
    std::optional<std::string> url;
    try {
        // Out of the key before anything else: a failing download is never retried.
        url = TakeValue(store_, kImageURLValue);
    } catch (const std::exception&) {
        return;  // a key that cannot be read is a key that is not there
    }
    if (url && !url->empty())
        Download(*url);
}

void TPictureDownloadWorkflow::DownloadURL(const std::string& url)
{
    queued_.push_back(url);
    if (!Busy())
        DownloadNext();
}

void TPictureDownloadWorkflow::DownloadNext()
{
    if (Busy() || queued_.empty())
        return;
    const std::string url = std::move(queued_.front());
    queued_.pop_front();
    Download(url);
}

void TPictureDownloadWorkflow::Download(const std::string& url)
{
    showing_ = true;
    askedMeanwhile_ = false;
    form_.PictureURL = url;
    const int result = form_.exec();
    const std::string file = form_.TempFileName;
    if (result == QDialog::Accepted && !file.empty())
        addPicture_(file);
    if (!file.empty()) {
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }
    showing_ = false;
    // What waited comes next, each from the event loop, never nested in this dialog's run.
    if (askedMeanwhile_) {
        askedMeanwhile_ = false;
        QTimer::singleShot(0, this, &TPictureDownloadWorkflow::CheckImageURL);
    }
    if (!queued_.empty())
        QTimer::singleShot(0, this, &TPictureDownloadWorkflow::DownloadNext);
}

} // namespace quillon
