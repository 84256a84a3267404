#pragma once

#include <string>

namespace quillon::server {

// Whether text is one IPv4 or IPv6 address (no port, no brackets).
bool IsIpAddress(const std::string& text);

// The address a request comes from. Behind a reverse proxy every peer is the proxy, so
// the last X-Forwarded-For hop (the one the proxy itself appended) stands for the client,
// but only on connections from trustedProxy: anyone else could write that header to pass
// as somebody else. Earlier hops are the client's own words and are never taken. With no
// trusted proxy, or a last hop that is no address, the peer stands for itself.
std::string ClientAddress(const std::string& peer, const std::string& forwardedFor, const std::string& trustedProxy);

} // namespace quillon::server
