#include "acquire/ui/picturedownloadform.h"

#include "acquire/messages.h"
#include "common/error.h"
#include "common/prompts.h"
#include "common/text.h"
#include "options/options.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <filesystem>

namespace quillon {

namespace {

int ProgressValue(std::uint64_t bytes) { return static_cast<int>(std::min<std::uint64_t>(bytes, INT_MAX)); }

} // namespace

TPictureDownloadForm::TPictureDownloadForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("PictureDownloadForm");
    setWindowTitle("Picture Download");
    setFixedSize(305, 130);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Downloading picture file:", this));
    PictureURLLabel = new QLabel(this);
    PictureURLLabel->setObjectName("PictureURLLabel");
    PictureURLLabel->setWordWrap(true);
    PictureURLLabel->setFixedHeight(2 * PictureURLLabel->fontMetrics().lineSpacing());
    layout->addWidget(PictureURLLabel);
    PictureDownloadProgressBar = new QProgressBar(this);
    PictureDownloadProgressBar->setObjectName("PictureDownloadProgressBar");
    PictureDownloadProgressBar->setTextVisible(false);
    layout->addWidget(PictureDownloadProgressBar);
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setAutoDefault(false);
    layout->addWidget(CancelButton, 0, Qt::AlignHCenter);
    connect(CancelButton, &QPushButton::clicked, this, &TPictureDownloadForm::CancelButtonClick);

    ActTimer = new QTimer(this);
    ActTimer->setObjectName("ActTimer");
    ActTimer->setSingleShot(true);
    ActTimer->setInterval(1);
    connect(ActTimer, &QTimer::timeout, this, &TPictureDownloadForm::ActTimerTimer);
}

TPictureDownloadForm::~TPictureDownloadForm() { Shutdown(); }

void TPictureDownloadForm::Shutdown()
{
    if (!DownloadThread)
        return;
    runner_.Shutdown();
    // The completion was dropped, so the dialog may close now. A body that did not end in
    // time may still use its worker: that one is left to the end of the program.
    (void)DownloadThread.release();
}

void TPictureDownloadForm::showEvent(QShowEvent* e)
{
    // Once per showing: a message box or the proxy login closing over the dialog
    // activates it again, which must neither restart the download nor forget the file.
    QDialog::showEvent(e);
    if (e->spontaneous())
        return;
    TempFileName.clear();
    PictureURLLabel->clear();
    PictureDownloadProgressBar->setRange(0, 100);
    PictureDownloadProgressBar->setValue(0);
    ActTimer->start();
}

void TPictureDownloadForm::ActTimerTimer()
{
    ActTimer->stop();
    StartDownload();
}

void TPictureDownloadForm::StartDownload()
{
    if (PictureURL.empty()) {
        done(Rejected);
        return;
    }
    PictureURLLabel->setText(QString::fromStdString(PictureURL));
    const std::string extension = AsciiUpper(PictureURLExtension(PictureURL));
    if (!IsAcceptedPictureExtension(extension)) {
        services_.prompts->Error(kMsgUnsupportedPictureType + extension);
        done(Rejected);
        return;
    }
    const std::string tempFolder = services_.appDir + "Temp/";
    std::error_code ec;
    std::filesystem::create_directories(tempFolder, ec);
    // A name that could leave the Temp folder is treated like a folder that cannot be written.
    const std::optional<std::string> name = TempNameFromURL(PictureURL);
    if (ec || !std::filesystem::is_directory(tempFolder) || !name) {
        services_.prompts->Error(kMsgTempFolderError);
        done(Rejected);
        return;
    }
    TempFileName = tempFolder + *name;

    TOptions& options = *services_.options;
    if (ProxyApplies(options) && options.proxyauthentication &&
        !EnsureProxyCredentials(options, services_.askProxyLogin, services_.saveOptions)) {
        done(Rejected);
        return;
    }
    try {
        ConfigureConnection(PictDownloadConn, options);
    } catch (const QuillonError& e) {
        services_.prompts->Error(e.what());
        done(Rejected);
        return;
    }
    DownloadThread = std::make_unique<TPictureDownloadThread>(PictDownloadConn, PictureURL, TempFileName);
    TPictureDownloadThread* worker = DownloadThread.get();
    // Progress arrives on the worker's thread; the bar is set on this one.
    worker->WorkBegin = [this](std::uint64_t expected) {
        QMetaObject::invokeMethod(this, [this, expected] { PictDownloadConnWorkBegin(expected); }, Qt::QueuedConnection);
    };
    worker->Work = [this](std::uint64_t received) {
        QMetaObject::invokeMethod(this, [this, received] { PictDownloadConnWork(received); }, Qt::QueuedConnection);
    };
    runner_.Start([worker] { worker->Execute(); }, [this] { DownloadFinished(); }, [worker] { worker->Cancel(); });
}

void TPictureDownloadForm::PictDownloadConnWorkBegin(std::uint64_t expected)
{
    if (!DownloadThread)
        return;
    // Without an announced length the bar shows that something is happening.
    PictureDownloadProgressBar->setRange(0, ProgressValue(expected));
    PictureDownloadProgressBar->setValue(0);
}

void TPictureDownloadForm::PictDownloadConnWork(std::uint64_t received)
{
    if (DownloadThread && PictureDownloadProgressBar->maximum() > 0)
        PictureDownloadProgressBar->setValue(std::min(ProgressValue(received), PictureDownloadProgressBar->maximum()));
}

void TPictureDownloadForm::DownloadFinished()
{
    ResetConnection(PictDownloadConn);
    std::unique_ptr<TPictureDownloadThread> worker = std::move(DownloadThread);
    switch (worker->ResultCode) {
    case TDownloadResult::Downloaded:
        done(Accepted);
        break;
    case TDownloadResult::Failed:
        services_.prompts->Error(worker->ErrorText);
        done(Rejected);
        break;
    case TDownloadResult::Cancelled:
        done(Rejected);
        break;
    }
}

void TPictureDownloadForm::CancelButtonClick()
{
    if (DownloadThread)
        DownloadThread->Cancel();  // the dialog closes when the worker has ended
    else
        done(Rejected);
}

void TPictureDownloadForm::done(int result)
{
    // Esc, the title bar's close button and Cancel's own close request all end here.
    if (DownloadThread)
        return;
    ActTimer->stop();
    QDialog::done(result);
}

void TPictureDownloadForm::closeEvent(QCloseEvent* e)
{
    if (DownloadThread) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

} // namespace quillon
