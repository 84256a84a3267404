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

void TPictureDownloadWorkflow::CheckImageURL()
{
    if (showing_ || form_.isVisible()) {
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
    if (!url || url->empty())
        return;

    showing_ = true;
    askedMeanwhile_ = false;
    form_.PictureURL = *url;
    const int result = form_.exec();
    const std::string file = form_.TempFileName;
    if (result == QDialog::Accepted && !file.empty())
        addPicture_(file);
    if (!file.empty()) {
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }
    showing_ = false;
    if (askedMeanwhile_) {
        askedMeanwhile_ = false;
        QTimer::singleShot(0, this, &TPictureDownloadWorkflow::CheckImageURL);
    }
}

} // namespace quillon
