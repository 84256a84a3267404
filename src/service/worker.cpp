#include "service/worker.h"

#include "common/text.h"

namespace quillon {

namespace {

bool StartsWithScheme(const std::string& host, std::string_view scheme)
{
    return host.size() >= scheme.size() && SameTextAscii(std::string_view(host).substr(0, scheme.size()), scheme);
}

} // namespace

std::string ServiceURL(const std::string& host, const std::string& script)
{
    if (StartsWithScheme(host, "https://") || StartsWithScheme(host, "http://"))
        return host + script;
    return "http://" + host + script;
}

} // namespace quillon
