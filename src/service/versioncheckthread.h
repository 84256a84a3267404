#pragma once

#include "datafiles/parameters.h"
#include "options/options.h"
#include "service/httpconnection.h"

#include <string>

namespace quillon {

// Asks the service for the current version; any failure leaves the program's own version
// in place, so nothing is offered.
class TNewVersionCheckThread {
public:
    TNewVersionCheckThread(THTTPConnection& connection, const TServiceParameters& parameters);

    void Execute();

    std::string VersionText;

private:
    THTTPConnection& connection_;
    const std::string url_;
};

// The start rule: false, silently, when the proxy needs credentials that are missing or
// its port cannot be read; otherwise the connection is reset and set up for the proxy.
bool PrepareVersionCheck(THTTPConnection& connection, const TOptions& options);

// Any difference from the program's own version, down to a line break, offers the download.
bool NewVersionOffered(const std::string& versionText);

} // namespace quillon
