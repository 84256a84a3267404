#include "service/worker.h"

#include "common/text.h"
#include "service/messages.h"

namespace quillon {

namespace {

bool StartsWithScheme(const std::string& host, std::string_view scheme)
{
    return host.size() >= scheme.size() && SameTextAscii(std::string_view(host).substr(0, scheme.size()), scheme);
}

const char* ReasonPhrase(long status)
{
    switch (status) {
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return nullptr;
    }
}

} // namespace

long ServiceFailureStatus(long httpStatus)
{
    return httpStatus == 407 ? 0 : httpStatus;
}

std::string ServiceAnsweredErrorText(long status)
{
    std::string code = std::to_string(status);
    if (const char* reason = ReasonPhrase(status))
        code += std::string(" ") + reason;
    return FillIn(kMsgServiceAnsweredError, code);
}

std::string ServiceURL(const std::string& host, const std::string& script)
{
    if (StartsWithScheme(host, "https://") || StartsWithScheme(host, "http://"))
        return host + script;
    return "http://" + host + script;
}

} // namespace quillon
