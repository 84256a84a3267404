#include "service/proxy.h"

#include "common/error.h"
#include "common/text.h"
#include "service/messages.h"

#include <optional>

namespace quillon {

namespace {

std::string FormatConversionError(const std::string& text)
{
    return FillIn(kMsgNotAValidInteger, text);
}

} // namespace

bool ProxyApplies(const TOptions& options)
{
    if (options.proxysource != psIE && options.proxysource != psManual)
        return false;
    return !options.proxyhost.empty() && !options.proxyport.empty();
}

bool ProxyCredentialsMissing(const TOptions& options)
{
    return ProxyApplies(options) && options.proxyauthentication &&
           (options.proxylogin.empty() || options.proxypassword.empty());
}

void ResetConnection(THTTPConnection& connection)
{
    connection.SetProxy(TProxySettings());
}

void ConfigureConnection(THTTPConnection& connection, const TOptions& options)
{
    ResetConnection(connection);
    if (!ProxyApplies(options))
        return;
    std::optional<int> port = ParseInt32(options.proxyport);
    if (!port)
        throw QuillonError(FormatConversionError(options.proxyport));
    TProxySettings proxy;
    proxy.server = options.proxyhost;
    proxy.port = *port;
    proxy.basicAuthentication = options.proxyauthentication;
    if (proxy.basicAuthentication) {
        proxy.userName = options.proxylogin;
        proxy.password = options.proxypassword;
    }
    connection.SetProxy(proxy);
}

bool PromptForLogin(std::string& login, std::string& password, const std::function<bool()>& done,
                    const TProxyLoginPrompt& prompt, const std::function<void()>& saveOptions)
{
    while (!done()) {
        std::string l = login;
        std::string p = password;
        if (!prompt(l, p))
            return false;
        login = l;
        password = p;
        saveOptions();
    }
    return true;
}

bool EnsureProxyCredentials(TOptions& options, const TProxyLoginPrompt& prompt,
                            const std::function<void()>& saveOptions)
{
    return PromptForLogin(options.proxylogin, options.proxypassword,
                          [&] { return !ProxyCredentialsMissing(options); }, prompt, saveOptions);
}

} // namespace quillon
