#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <string>

namespace quillon {

class TSettingsStore;
class TPictureDownloadForm;

// The pick-up of a picture URL handed over by the browser plug-in: takes the URL out of
// the settings key, downloads it with the download dialog and adds the picture. URLs
// pasted or dropped onto the window come the same way.
class TPictureDownloadWorkflow : public QObject {
    Q_OBJECT
public:
    // addPicture: checks the file and adds it to the logo directory (with its own messages).
    TPictureDownloadWorkflow(TSettingsStore& store, TPictureDownloadForm& form,
                             std::function<void(const std::string& file)> addPicture, QObject* parent = nullptr);

    // On every activation of the main window and on the notification 1025.
    void CheckImageURL();
    // Downloads url and adds the picture; after the download under way when there is one.
    void DownloadURL(const std::string& url);
    // Cancels a running download and waits a bounded time for it.
    void Shutdown();

private:
    bool Busy() const;
    void Download(const std::string& url);
    void DownloadNext();

    TSettingsStore& store_;
    TPictureDownloadForm& form_;
    std::function<void(const std::string&)> addPicture_;
    bool showing_ = false;
    bool askedMeanwhile_ = false;
    std::deque<std::string> queued_;
};

} // namespace quillon
