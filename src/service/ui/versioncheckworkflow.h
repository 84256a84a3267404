#pragma once

#include "datafiles/parameters.h"
#include "service/httpconnection.h"
#include "service/ui/workerrunner.h"
#include "service/versioncheckthread.h"

#include <QObject>
#include <functional>
#include <memory>

namespace quillon {

struct TOptions;

// Asks the service once per run whether a newer version exists, and offers its setup.
class TVersionCheckWorkflow : public QObject {
    Q_OBJECT
public:
    explicit TVersionCheckWorkflow(const TServiceParameters& parameters, QObject* parent = nullptr);
    ~TVersionCheckWorkflow() override;

    // Starts the check unless the proxy needs credentials that are missing; silent.
    void Start(const TOptions& options);
    bool Running() const { return worker_ != nullptr; }
    void Shutdown() { runner_.Shutdown(); }

    // Shows the offer for a version; true: the user wants it.
    std::function<bool(const std::string& version)> AskDownload;
    // Opens the setup download in the browser.
    std::function<void()> OpenDownload;

private:
    void Completion();

    const TServiceParameters& parameters_;
    THTTPConnection connection_;
    TWorkerRunner runner_;
    std::unique_ptr<TNewVersionCheckThread> worker_;
};

} // namespace quillon
