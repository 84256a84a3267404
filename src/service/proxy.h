#pragma once

#include "options/options.h"
#include "service/httpconnection.h"

#include <functional>
#include <string>

namespace quillon {

// True for "ie" and "manual" when both the proxy host and port texts are filled in.
bool ProxyApplies(const TOptions& options);

// The proxy wants a user name and password and at least one of them is missing.
bool ProxyCredentialsMissing(const TOptions& options);

// Puts the connection's proxy settings into the reset state.
void ResetConnection(THTTPConnection& connection);

// Resets the connection, then sets it up for the proxy when the proxy applies. A port text
// that is not a decimal integer raises QuillonError before anything changes or is sent.
void ConfigureConnection(THTTPConnection& connection, const TOptions& options);

// The proxy login dialog: shown with the current texts, which it may change; false on Cancel.
using TProxyLoginPrompt = std::function<bool(std::string& login, std::string& password)>;

// Shows a login prompt with login and password until done() holds or the user gives up,
// taking the texts and saving the options after every confirmation. Returns done().
bool PromptForLogin(std::string& login, std::string& password, const std::function<bool()>& done,
                    const TProxyLoginPrompt& prompt, const std::function<void()>& saveOptions);

// Asks for the proxy credentials until both are filled in or the user gives up; the
// options are saved after every confirmation. Returns whether the command may go on.
bool EnsureProxyCredentials(TOptions& options, const TProxyLoginPrompt& prompt,
                            const std::function<void()>& saveOptions);

} // namespace quillon
