#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace quillon::server {

// Slows down guessing picture addresses: a source that missed too often within a window
// is refused until its oldest miss in that window has aged out. A refusal is answered at
// once (no thread waits), and it covers every lookup from that source, hits included, or
// the answers would still tell a guess that hit from one that missed.
class TMissThrottle {
public:
    using TClock = std::chrono::steady_clock;

    TMissThrottle(std::size_t missLimit, std::chrono::seconds window) : limit_(missLimit), window_(window) {}

    // Whole seconds until the source may look up again; nothing while it may.
    std::optional<int> RetryAfter(const std::string& remoteAddress, TClock::time_point now);
    void Miss(const std::string& remoteAddress, TClock::time_point now);

    // IPv4 addresses stand for themselves; an IPv6 address for its /64 network, as one
    // host commonly holds a whole /64.
    static std::string SourceOf(const std::string& remoteAddress);

private:
    void DropExpired(std::deque<TClock::time_point>& misses, TClock::time_point now) const;

    const std::size_t limit_;
    const TClock::duration window_;
    std::mutex mutex_;
    std::unordered_map<std::string, std::deque<TClock::time_point>> misses_;
};

} // namespace quillon::server
