#pragma once

#include "service/serviceaddresses.h"

// Where the service answers. The script paths are the ones the desktop program's
// parameters.xml names; the rest are pages under the public base URL.
namespace quillon::server {

inline constexpr const char* kUploadScript = "/upload.php";
inline constexpr const char* kMemberStatusScript = "/memberstatus.php";
inline constexpr const char* kSendToFriendScript = "/sendtofriend.php";
inline constexpr const char* kCurrentVersionScript = "/curversion.php";

// The addresses the program shows are the program's own (serviceaddresses.h):
// a member's pictures (?login=&password= gives the page, ?id= one picture) ...
inline constexpr const char* kWapPath = quillon::kWapAccessPath;
// ... the guest account's pictures ...
inline constexpr const char* kGuestPath = quillon::kGuestGalleryPath;
// ... and the product site.
inline constexpr const char* kSitePath = quillon::kProductSitePath;
using quillon::kAddressesPath;
using quillon::kFaqPath;
using quillon::kRegisterPath;
inline constexpr const char* kDownloadPath = quillon::kSetupDownloadPath;
inline constexpr const char* kConfirmPath = "/confirm.php";

} // namespace quillon::server
