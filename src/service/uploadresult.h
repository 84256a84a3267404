#pragma once

#include "options/options.h"
#include "service/proxy.h"

#include <functional>
#include <string>
#include <vector>

namespace quillon {

class TLogoNode;

// What the three fields of the upload panel show.
struct TUploadURLFields {
    std::string shortURL;
    std::string fullURL;
    std::string imageID;
    bool operator==(const TUploadURLFields&) const = default;
};

// The image identifier of a phone URL: what follows "?id=". A URL without "?" has none.
std::string ImageIDOf(const std::string& url);

// The fields for a logo's stored URL, shown when the logo is selected. A stored URL under
// the guest gallery is a guest's: its short form is the part before "?"; any other URL is
// a member's, and the full form carries the current login and password.
TUploadURLFields StoredURLFields(const std::string& uploadurl, const std::string& login, const std::string& password,
                                 const std::string& guestGalleryBase);

// The fields after a successful upload, by the login it was made with ("guest" in any case
// is the guest account).
TUploadURLFields UploadedURLFields(const std::string& url, const std::string& login, const std::string& password);

// The address the access hint shows after a successful upload.
std::string AccessHintURL(const std::string& login, const std::string& password, const std::string& wapAccessBase,
                          const std::string& guestGalleryBase);

// Clears the stored URL of the first logo, in depth-first order below root, that holds each
// withdrawn URL (compared without regard to case); one logo per URL.
void ForgetWithdrawnURLs(TLogoNode* root, std::vector<std::string> withdrawn);

// Asks for the service login until both login and password are filled in or the user
// gives up; the options are saved after every confirmation.
bool EnsureServiceCredentials(TOptions& options, const TProxyLoginPrompt& prompt, const std::function<void()>& saveOptions);

} // namespace quillon
