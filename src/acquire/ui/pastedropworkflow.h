#pragma once

#include <QImage>
#include <QObject>

#include <functional>
#include <string>
#include <vector>

class QMimeData;

namespace quillon {

class TAcquiredPictureAdder;
class TPictureDownloadWorkflow;
class TPrompts;
struct TOptions;

// What pasted or dropped data brings in, by what it names: picture files on this machine,
// picture URLs on the web, or, when nothing names the picture, the picture itself.
struct TPasteDropOffer {
    std::vector<std::string> files;  // local files, as paths
    std::vector<std::string> urls;   // http and https only; any other scheme is ignored
    QImage picture;                  // null when files or URLs were found

    bool Empty() const { return files.empty() && urls.empty() && picture.isNull(); }
};

// The URLs of text/uri-list or else of text/x-moz-url (UTF-16 lines: URL, title, ...),
// else the picture (application/x-qt-image and the types the toolkit reads as one), else
// plain text that is one http or https URL. Only the file and web URLs count: a browser's
// drag may carry other schemes (data:, javascript:, about:), which are passed over quietly.
TPasteDropOffer OfferOf(const QMimeData& mime);

// Whether the data may hold a picture, judged by its types alone: a drag is accepted
// while it hovers, without reading its data.
bool MayOfferPicture(const QMimeData& mime);

// Ctrl+V and drops onto the main window: files are added like Open, URLs go to the
// download dialog as a browser hand-off does, and a picture becomes a logo named like a
// grabbed one ("pastedimage", the grab's format and name options).
class TPasteDropWorkflow : public QObject {
public:
    TPasteDropWorkflow(TAcquiredPictureAdder& adder, const TOptions& options, TPictureDownloadWorkflow& download,
                       TPrompts& prompts, std::function<void(const std::string& file)> addFile);

    // Both take what the data offers; data that offers nothing is ignored. A drop is
    // read at once but taken from the event loop: the dragging program waits until the
    // drop returns, and a download dialog would keep it waiting.
    void Paste(const QMimeData* mime);
    void Drop(const QMimeData* mime);

private:
    void Take(const TPasteDropOffer& offer);

    TAcquiredPictureAdder& adder_;
    const TOptions& options_;
    TPictureDownloadWorkflow& download_;
    TPrompts& prompts_;
    std::function<void(const std::string&)> addFile_;
};

} // namespace quillon
