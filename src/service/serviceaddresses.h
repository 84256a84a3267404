#pragma once

#include <string>
#include <string_view>

namespace quillon {

// Paths of the addresses the program shows, under the service's public base URL.
inline constexpr const char* kWapAccessPath = "/wap/";      // + "?login=...&password=..."
inline constexpr const char* kGuestGalleryPath = "/guest/";  // also starts every guest phone URL
inline constexpr const char* kProductSitePath = "/";
inline constexpr const char* kFaqPath = "/faq.php";
inline constexpr const char* kRegisterPath = "/register.php";
inline constexpr const char* kSetupDownloadPath = "/download.php";
// The service's own list of these addresses, one "name=url" line each.
inline constexpr const char* kAddressesPath = "/addresses.txt";

struct TServiceAddresses {
    std::string wapAccessBase;
    std::string guestGalleryBase;
    std::string productSite;
    std::string faq;
    std::string registerPage;
    std::string setupDownload;
    bool operator==(const TServiceAddresses&) const = default;
};

// The addresses under "http://" + host, e.g. the upload host parameter.
TServiceAddresses ServiceAddressesForHost(const std::string& host);

// The service names its addresses with the host a phone reaches it by, which differs
// from the program's host when that is localhost. Reads its /addresses.txt answer over
// the given addresses; unknown names and lines without an http(s) URL are skipped.
TServiceAddresses ParseServiceAddresses(std::string_view answer, TServiceAddresses addresses);

} // namespace quillon
