#include "service/uploadresult.h"

#include "common/text.h"
#include "logodir/logotree.h"
#include "service/httpconnection.h"
#include "service/sendtofriendinput.h"

#include <algorithm>

namespace quillon {

std::string ImageIDOf(const std::string& url)
{
    const size_t q = url.find('?');
    // The identifier follows "?id="; a URL without "?" carries none, rather than the
    // text from its fourth character on.
    return q == std::string::npos || q + 4 > url.size() ? std::string() : url.substr(q + 4);
}

namespace {

std::string WithCredentials(const std::string& url, const std::string& login, const std::string& password)
{
    std::string full = url;
    if (!login.empty())
        full += "&login=" + EncodeQueryValue(login);
    if (!password.empty())
        full += "&password=" + EncodeQueryValue(password);
    return full;
}

std::string BeforeQuery(const std::string& url) { return url.substr(0, url.find('?')); }

} // namespace

TUploadURLFields StoredURLFields(const std::string& uploadurl, const std::string& login, const std::string& password,
                                 const std::string& guestGalleryBase)
{
    TUploadURLFields f;
    const bool guest = uploadurl.size() >= guestGalleryBase.size() &&
                       SameTextAscii(std::string_view(uploadurl).substr(0, guestGalleryBase.size()), guestGalleryBase);
    if (!guest) {
        f.fullURL = uploadurl.empty() ? uploadurl : WithCredentials(uploadurl, login, password);
        f.shortURL = uploadurl;
    } else {
        f.fullURL = uploadurl;
        f.shortURL = BeforeQuery(uploadurl);
    }
    if (!uploadurl.empty())
        f.imageID = ImageIDOf(uploadurl);
    return f;
}

TUploadURLFields UploadedURLFields(const std::string& url, const std::string& login, const std::string& password)
{
    TUploadURLFields f;
    f.imageID = ImageIDOf(url);
    if (!IsGuestLogin(login)) {
        f.shortURL = url;
        f.fullURL = WithCredentials(url, login, password);
    } else {
        f.fullURL = url;
        f.shortURL = BeforeQuery(url);
    }
    return f;
}

std::string AccessHintURL(const std::string& login, const std::string& password, const std::string& wapAccessBase,
                          const std::string& guestGalleryBase)
{
    if (IsGuestLogin(login))
        return guestGalleryBase;
    return wapAccessBase + "?login=" + EncodeQueryValue(login) + "&password=" + EncodeQueryValue(password);
}

namespace {

bool Forget(TLogoNode* node, std::vector<std::string>& withdrawn)
{
    std::string& url = node->Data()->uploadurl;
    if (!url.empty()) {
        auto it = std::find_if(withdrawn.begin(), withdrawn.end(),
                               [&](const std::string& w) { return SameTextAscii(w, url); });
        if (it != withdrawn.end()) {
            url.clear();
            node->Tree()->RecordChanged();
            withdrawn.erase(it);
            if (withdrawn.empty())
                return true;
        }
    }
    for (size_t i = 0; i < node->Count(); ++i) {
        if (Forget(node->Child(i), withdrawn))
            return true;
    }
    return false;
}

} // namespace

void ForgetWithdrawnURLs(TLogoNode* root, std::vector<std::string> withdrawn)
{
    if (!root || withdrawn.empty())
        return;
    for (size_t i = 0; i < root->Count(); ++i) {
        if (Forget(root->Child(i), withdrawn))
            return;
    }
}

bool EnsureServiceCredentials(TOptions& options, const TProxyLoginPrompt& prompt, const std::function<void()>& saveOptions)
{
    return PromptForLogin(options.login, options.password,
                          [&] { return !options.login.empty() && !options.password.empty(); }, prompt, saveOptions);
}

} // namespace quillon
