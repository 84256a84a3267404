#pragma once

// Where the service answers. The script paths are the ones the desktop program's
// parameters.xml names; the rest are the addresses the program shows to its user,
// each the public base URL followed by the path.
namespace quillon::server {

inline constexpr const char* kUploadScript = "/upload.php";
inline constexpr const char* kMemberStatusScript = "/memberstatus.php";
inline constexpr const char* kSendToFriendScript = "/sendtofriend.php";
inline constexpr const char* kCurrentVersionScript = "/curversion.php";

// A member's pictures: ?login=&password= gives the page, ?id= one picture.
inline constexpr const char* kWapPath = "/wap/";
// The guest account's pictures; ends with "/" and starts every guest phone URL.
inline constexpr const char* kGuestPath = "/guest/";
inline constexpr const char* kSitePath = "/";
inline constexpr const char* kFaqPath = "/faq.php";
inline constexpr const char* kRegisterPath = "/register.php";
inline constexpr const char* kConfirmPath = "/confirm.php";
inline constexpr const char* kDownloadPath = "/download.php";
// The addresses above as absolute URLs, one "name=url" line each, for a program that
// reaches the service through another host name than a phone would.
inline constexpr const char* kAddressesPath = "/addresses.txt";

} // namespace quillon::server
