#include "service/ui/serviceaddresslookup.h"

#include "options/options.h"
#include "service/proxy.h"
#include "service/worker.h"

namespace quillon {

TServiceAddressLookup::TServiceAddressLookup(const std::string& host, QObject* parent)
    : QObject(parent), addresses_(ServiceAddressesForHost(host)), url_(ServiceURL(host, kAddressesPath))
{
}

TServiceAddressLookup::~TServiceAddressLookup() { Shutdown(); }

void TServiceAddressLookup::Start(const TOptions& options)
{
    // Never a prompt for this: without the proxy's credentials the derived addresses stay.
    if (running_ || (ProxyApplies(options) && options.proxyauthentication && ProxyCredentialsMissing(options)))
        return;
    try {
        ConfigureConnection(connection_, options);
    } catch (const QuillonError&) {
        return;
    }
    answer_ = std::make_shared<std::string>();
    auto answer = answer_;
    running_ = runner_.Start(
        [this, answer] {
            try {
                *answer = connection_.Get(url_);
            } catch (const QuillonError&) {
                answer->clear();
            }
        },
        [this, answer] {
            running_ = false;
            ResetConnection(connection_);
            const TServiceAddresses named = ParseServiceAddresses(*answer, addresses_);
            if (!(named == addresses_)) {
                addresses_ = named;
                if (Changed)
                    Changed(addresses_);
            }
        },
        [this] { connection_.Disconnect(); });
}

} // namespace quillon
