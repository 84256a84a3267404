#pragma once

#include "acquire/picturedownload.h"
#include "service/httpconnection.h"
#include "service/proxy.h"
#include "service/ui/workerrunner.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace quillon {

class TPrompts;
struct TOptions;

// "Picture Download": downloads PictureURL into a file of the Temp folder on a worker,
// with a progress bar and Cancel. Accepted: TempFileName names a complete download.
// Rejected: nothing usable was downloaded (TempFileName may name a partial file, or be
// empty). It refuses to close while the worker runs. Created at start-up, kept for the run.
class TPictureDownloadForm : public QDialog {
    Q_OBJECT
public:
    struct TServices {
        std::string appDir;
        TPrompts* prompts = nullptr;
        TOptions* options = nullptr;
        std::function<void()> saveOptions;
        TProxyLoginPrompt askProxyLogin;
    };

    explicit TPictureDownloadForm(QWidget* parent = nullptr);
    ~TPictureDownloadForm() override;
    void SetServices(TServices services) { services_ = std::move(services); }

    std::string PictureURL;
    std::string TempFileName;
    bool Downloading() const { return DownloadThread != nullptr; }

    // Cancels a running download and waits a bounded time for it (program shutdown).
    void Shutdown();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void ActTimerTimer();
    void StartDownload();
    void DownloadFinished();
    void CancelButtonClick();
    void PictDownloadConnWorkBegin(std::uint64_t expected);
    void PictDownloadConnWork(std::uint64_t received);

    TServices services_;
    QLabel* PictureURLLabel;
    QProgressBar* PictureDownloadProgressBar;
    QPushButton* CancelButton;
    QTimer* ActTimer;
    THTTPConnection PictDownloadConn;
    TWorkerRunner runner_;
    std::unique_ptr<TPictureDownloadThread> DownloadThread;
};

} // namespace quillon
