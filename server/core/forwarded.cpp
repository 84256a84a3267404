#include "forwarded.h"

#include <arpa/inet.h>

#include <array>
#include <optional>

namespace quillon::server {

namespace {

// IPv4 addresses as their IPv4-mapped IPv6 form, so that a dual-stack socket's
// "::ffff:127.0.0.1" matches a proxy given as "127.0.0.1".
std::optional<std::array<unsigned char, 16>> Parse(const std::string& text)
{
    std::array<unsigned char, 16> a{};
    if (inet_pton(AF_INET6, text.c_str(), a.data()) == 1)
        return a;
    a = {};
    a[10] = a[11] = 0xFF;
    if (inet_pton(AF_INET, text.c_str(), a.data() + 12) == 1)
        return a;
    return std::nullopt;
}

std::string Trimmed(const std::string& s)
{
    const char* space = " \t";
    size_t begin = s.find_first_not_of(space);
    if (begin == std::string::npos)
        return "";
    return s.substr(begin, s.find_last_not_of(space) - begin + 1);
}

} // namespace

bool IsIpAddress(const std::string& text)
{
    return Parse(text).has_value();
}

std::string ClientAddress(const std::string& peer, const std::string& forwardedFor, const std::string& trustedProxy)
{
    if (trustedProxy.empty() || forwardedFor.empty())
        return peer;
    std::optional<std::array<unsigned char, 16>> from = Parse(peer);
    if (!from || from != Parse(trustedProxy))
        return peer;
    size_t comma = forwardedFor.rfind(',');
    std::string last = Trimmed(comma == std::string::npos ? forwardedFor : forwardedFor.substr(comma + 1));
    return IsIpAddress(last) ? last : peer;
}

} // namespace quillon::server
