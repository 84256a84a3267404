#include "service/ui/versioncheckworkflow.h"

#include "options/options.h"
#include "service/proxy.h"

namespace quillon {

TVersionCheckWorkflow::TVersionCheckWorkflow(const TServiceParameters& parameters, QObject* parent)
    : QObject(parent), parameters_(parameters)
{
}

TVersionCheckWorkflow::~TVersionCheckWorkflow() { Shutdown(); }

void TVersionCheckWorkflow::Start(const TOptions& options)
{
    if (worker_ || !PrepareVersionCheck(connection_, options))
        return;
    worker_ = std::make_unique<TNewVersionCheckThread>(connection_, parameters_);
    TNewVersionCheckThread* worker = worker_.get();
    runner_.Start([worker] { worker->Execute(); }, [this] { Completion(); }, [this] { connection_.Disconnect(); });
}

void TVersionCheckWorkflow::Completion()
{
    ResetConnection(connection_);
    const std::string version = std::move(worker_->VersionText);
    worker_.reset();
    if (NewVersionOffered(version) && AskDownload && AskDownload(version) && OpenDownload)
        OpenDownload();
}

} // namespace quillon
