#include "service/versioncheckthread.h"

#include "app/messages.h"
#include "service/proxy.h"
#include "service/worker.h"

namespace quillon {

TNewVersionCheckThread::TNewVersionCheckThread(THTTPConnection& connection, const TServiceParameters& parameters)
    : VersionText(kAppVersion), connection_(connection),
      url_(ServiceURL(parameters.GetParameter("uploadhost"), parameters.GetParameter("appverscript")))
{
}

void TNewVersionCheckThread::Execute()
{
    try {
        VersionText = connection_.Get(url_);
    } catch (const std::exception&) {
        // Silent by design: the version text stays the program's own.
    }
}

bool PrepareVersionCheck(THTTPConnection& connection, const TOptions& options)
{
    if (ProxyCredentialsMissing(options))
        return false;
    try {
        ConfigureConnection(connection, options);
    } catch (const QuillonError&) {
        ResetConnection(connection);
        return false;
    }
    return true;
}

bool NewVersionOffered(const std::string& versionText)
{
    return versionText != kAppVersion;
}

} // namespace quillon
