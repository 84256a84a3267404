#pragma once

#include "service/httpconnection.h"
#include "service/serviceaddresses.h"
#include "service/ui/workerrunner.h"

#include <QObject>
#include <functional>
#include <memory>

namespace quillon {

struct TOptions;

// The addresses the program shows (WAP access, guest gallery, product site) are first
// derived from the service host; the service then names them itself, with the address a
// phone reaches it by, which differs when the program talks to "localhost". Asked once per
// run on a worker; any failure keeps the derived addresses, silently.
class TServiceAddressLookup : public QObject {
    Q_OBJECT
public:
    TServiceAddressLookup(const std::string& host, QObject* parent = nullptr);
    ~TServiceAddressLookup() override;

    const TServiceAddresses& Addresses() const { return addresses_; }
    void Start(const TOptions& options);
    bool Running() const { return running_; }
    void Shutdown() { runner_.Shutdown(); }

    // Called on the main thread when the service has named its addresses.
    std::function<void(const TServiceAddresses&)> Changed;

private:
    TServiceAddresses addresses_;
    std::string url_;
    THTTPConnection connection_;
    TWorkerRunner runner_;
    std::shared_ptr<std::string> answer_;
    bool running_ = false;
};

} // namespace quillon
