#include "service/serviceaddresses.h"

#include "service/answer.h"

namespace quillon {

TServiceAddresses ServiceAddressesForHost(const std::string& host)
{
    std::string base = "http://" + host;
    return TServiceAddresses{base + kWapAccessPath, base + kGuestGalleryPath, base + kProductSitePath,
                             base + kFaqPath,       base + kRegisterPath,     base + kSetupDownloadPath};
}

TServiceAddresses ParseServiceAddresses(std::string_view answer, TServiceAddresses addresses)
{
    const std::pair<const char*, std::string TServiceAddresses::*> names[] = {
        {"wap", &TServiceAddresses::wapAccessBase}, {"guest", &TServiceAddresses::guestGalleryBase},
        {"site", &TServiceAddresses::productSite},  {"faq", &TServiceAddresses::faq},
        {"register", &TServiceAddresses::registerPage}, {"setup", &TServiceAddresses::setupDownload},
    };
    for (const std::string& line : SplitAnswerLines(answer)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string name = line.substr(0, eq), url = line.substr(eq + 1);
        if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0)
            continue;
        for (const auto& [key, field] : names)
            if (name == key)
                addresses.*field = url;
    }
    return addresses;
}

} // namespace quillon
