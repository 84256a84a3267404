#pragma once

#include "store.h"

#include <string>
#include <string_view>
#include <vector>

// The service's HTML pages: small, without scripts, readable on a phone's screen.
namespace quillon::server {

std::string HtmlEscape(std::string_view text);

std::string HomePage();
std::string FaqPage();
std::string DownloadPage();
// The form, with an error above it when there is one; the typed login and address are
// kept, the passwords never.
std::string RegisterPage(std::string_view error, std::string_view login, std::string_view email);
std::string RegisteredPage(std::string_view login, std::string_view email);
std::string ConfirmedPage(std::string_view login);
std::string WapLoginPage();
// Newest first, each picture shown and linked under pathPrefix + "?id=".
std::string PictureListPage(std::string_view title, const std::vector<TPicture>& pictures,
                            std::string_view pathPrefix);
std::string MessagePage(std::string_view title, std::string_view text);

} // namespace quillon::server
