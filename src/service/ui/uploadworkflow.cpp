#include "service/ui/uploadworkflow.h"

#include "common/error.h"
#include "common/prompts.h"
#include "common/text.h"
#include "imaging/picturewriters.h"
#include "imaging/sourceimage.h"
#include "logodir/logotree.h"
#include "options/options.h"
#include "service/messages.h"
#include "service/serviceaddresses.h"

#include <QTimer>
#include <filesystem>

namespace quillon {

TUploadWorkflow::TUploadWorkflow(TServices services, TUploadView& view, QObject* parent)
    : QObject(parent), services_(std::move(services)), view_(view)
{
    const TServiceAddresses addresses = ServiceAddressesForHost(services_.parameters->GetParameter("uploadhost"));
    wapAccessBase_ = addresses.wapAccessBase;
    guestGalleryBase_ = addresses.guestGalleryBase;
    progressTimer_ = new QTimer(this);
    progressTimer_->setObjectName("UploadProgressTimer");
    progressTimer_->setInterval(40);
    connect(progressTimer_, &QTimer::timeout, this, &TUploadWorkflow::Tick);
}

TUploadWorkflow::~TUploadWorkflow() { Shutdown(); }

void TUploadWorkflow::Shutdown()
{
    runner_.Shutdown();
    progressTimer_->stop();
}

void TUploadWorkflow::UploadButtonClick()
{
    if (worker_) {
        // The captions stay "Stop upload" until the worker has ended.
        worker_->Cancel();
        return;
    }
    TLogoNode* node = view_.SelectedNode();
    if (!node || node->Data()->nodekind != nkLogo)
        return;
    const TSourceImage* logo = view_.ShownLogo();
    if (!logo || !logo->FrameCoversPicture()) {
        services_.prompts->Warning(kMsgNoPictureInFrame);
        return;
    }
    TOptions& options = *services_.options;
    if (!EnsureServiceCredentials(options, AskServiceLogin, services_.saveOptions))
        return;
    if (ProxyApplies(options) && options.proxyauthentication &&
        !EnsureProxyCredentials(options, AskProxyLogin, services_.saveOptions))
        return;
    const std::string extension = AsciiUpper(FileExtension(node->Text()));
    if ((extension == ".JPG" || extension == ".JPEG") && options.showjpegdialog && PreviewJPEG &&
        !PreviewJPEG(logo->LogoPicture(), node->Text()))
        return;
    if (extension == ".GIF" && options.showgifdialog && PreviewGIF && !PreviewGIF(logo->LogoPicture(), node->Text()))
        return;
    Start(node);
}

void TUploadWorkflow::Start(TLogoNode* node)
{
    const TOptions& options = *services_.options;
    try {
        ConfigureConnection(connection_, options);
    } catch (const QuillonError& e) {
        services_.prompts->Error(e.what());
        return;
    }
    const std::string file = MakeTempLogoFile(services_.appDir, node->Text(), view_.ShownLogo()->LogoPicture(),
                                              {options.jpegquality, options.gifbitdepth});
    if (file.empty()) {
        services_.prompts->Error(kMsgUploadFileError);
        return;
    }
    worker_ = std::make_unique<TUploadThread>(connection_, *services_.parameters, memberStatus_, runner_.MainThreadCall(),
                                              options.login, options.password, file, node);
    TUploadThread* worker = worker_.get();
    runner_.Start([worker] { worker->Execute(); }, [this] { Completion(); }, [worker] { worker->Cancel(); });
    view_.SetUploadRunning(true);
    view_.SetStatusText(kStatusUploading);
    phase_ = 0;
    view_.SetUploadPhase(phase_);
    progressTimer_->start();
}

void TUploadWorkflow::Tick()
{
    phase_ = (phase_ + 1) % 20;
    view_.SetUploadPhase(phase_);
}

void TUploadWorkflow::Completion()
{
    std::unique_ptr<TUploadThread> worker = std::move(worker_);
    progressTimer_->stop();
    phase_ = -1;
    view_.SetUploadPhase(phase_);
    const TOptions& options = *services_.options;
    switch (worker->Result) {
    case TWorkerResult::ServiceMessage:
        if (worker->AnswerText == kWrongLoginOrPassword)
            services_.prompts->Error(kMsgLoginIncorrect);
        else if (worker->AnswerText == kUserIsNotConfirmed)
            services_.prompts->Error(kMsgNotConfirmed);
        break;
    case TWorkerResult::ServiceError:
        services_.prompts->Error(worker->AnswerText);
        break;
    case TWorkerResult::Success: {
        const std::string& url = worker->AnswerText;
        worker->Node->Data()->uploadurl = url;
        worker->Node->Tree()->RecordChanged();
        const TUploadURLFields fields = UploadedURLFields(url, worker->Login, worker->Password);
        view_.ShowImageID(fields.imageID);
        if (view_.SelectedNode() == worker->Node)
            view_.ShowURLFields(fields);
        if (options.enableaccesshint && ShowAccessHint)
            ShowAccessHint(AccessHintURL(worker->Login, worker->Password, wapAccessBase_, guestGalleryBase_));
        break;
    }
    case TWorkerResult::Cancelled:
    case TWorkerResult::ConnectionFailed:
        break;
    }
    ForgetWithdrawnURLs(view_.RootNode(), worker->WithdrawnURLs);
    view_.SetStatusText(worker->Result == TWorkerResult::Cancelled ? kStatusUploadBroken : kStatusDone);
    std::error_code ec;
    std::filesystem::remove(worker->FileName, ec);
    view_.SetUploadRunning(false);
    if (worker->Result == TWorkerResult::ConnectionFailed)
        services_.prompts->Error(worker->HTTPStatus != 0 ? ServiceAnsweredErrorText(worker->HTTPStatus)
                                                         : std::string(kMsgConnectionFailed));
}

} // namespace quillon
