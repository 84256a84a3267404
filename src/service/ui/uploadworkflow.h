#pragma once

#include "datafiles/parameters.h"
#include "service/httpconnection.h"
#include "service/proxy.h"
#include "service/ui/workerrunner.h"
#include "service/uploadresult.h"
#include "service/uploadthread.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace quillon {

class TLogoNode;
class TPrompts;
class TBitmap;
class TSourceImage;
struct TOptions;

// What the upload needs of the main window.
class TUploadView {
public:
    virtual ~TUploadView() = default;
    virtual TLogoNode* SelectedNode() const = 0;
    virtual TLogoNode* RootNode() const = 0;
    virtual const TSourceImage* ShownLogo() const = 0;
    // Enabling and the Upload captions follow the running state.
    virtual void SetUploadRunning(bool running) = 0;
    virtual void SetStatusText(const QString& text) = 0;
    virtual void SetUploadPhase(int phase) = 0;
    virtual void ShowURLFields(const TUploadURLFields& fields) = 0;
    virtual void ShowImageID(const std::string& id) = 0;
};

// The Upload command from the checks before it to the completion: credentials, the
// preview of JPEG and GIF logos, the temporary logo file, the worker on a thread of
// its own, the banner while it runs, cancel, and what the answer changes.
class TUploadWorkflow : public QObject {
    Q_OBJECT
public:
    struct TServices {
        std::string appDir;
        TPrompts* prompts = nullptr;
        TOptions* options = nullptr;
        std::function<void()> saveOptions;
        const TServiceParameters* parameters = nullptr;  // lives as long as the window
    };
    TUploadWorkflow(TServices services, TUploadView& view, QObject* parent = nullptr);
    ~TUploadWorkflow() override;

    void UploadButtonClick();
    bool Running() const { return worker_ != nullptr; }
    // Cancels a running upload and waits a bounded time for it; its completion is dropped.
    void Shutdown();

    // The dialogs the command shows; false from a prompt means the user cancelled.
    TProxyLoginPrompt AskServiceLogin;
    TProxyLoginPrompt AskProxyLogin;
    // The preview dialogs, given the logo and its temporary file; they may change the
    // options' JPEG quality or GIF depth.
    std::function<bool(const TBitmap& logo, const std::string& nodeName)> PreviewJPEG;
    std::function<bool(const TBitmap& logo, const std::string& nodeName)> PreviewGIF;
    std::function<void(const std::string& hintURL)> ShowAccessHint;

    // The addresses the program shows for the service (WAP access, guest gallery).
    void SetAddresses(const std::string& wapAccessBase, const std::string& guestGalleryBase)
    {
        wapAccessBase_ = wapAccessBase;
        guestGalleryBase_ = guestGalleryBase;
    }
    const std::string& WapAccessBase() const { return wapAccessBase_; }
    const std::string& GuestGalleryBase() const { return guestGalleryBase_; }

private:
    void Start(TLogoNode* node);
    void Completion();
    void Tick();

    TServices services_;
    TUploadView& view_;
    std::string wapAccessBase_;
    std::string guestGalleryBase_;
    THTTPConnection connection_;
    int memberStatus_ = -1;
    TWorkerRunner runner_;
    std::unique_ptr<TUploadThread> worker_;
    QTimer* progressTimer_;
    int phase_ = -1;
};

} // namespace quillon
