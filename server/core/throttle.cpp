#include "throttle.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace quillon::server {

namespace {

// Past this many tracked sources the ones with no recent miss are forgotten, so a flood
// of sources cannot grow the table without end.
constexpr std::size_t kSourceLimit = 100000;

} // namespace

std::string TMissThrottle::SourceOf(const std::string& remoteAddress)
{
    unsigned char v6[16];
    if (inet_pton(AF_INET6, remoteAddress.c_str(), v6) != 1)
        return remoteAddress;
    static constexpr unsigned char kMappedV4[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::equal(kMappedV4, kMappedV4 + 12, v6)) {
        char text[INET_ADDRSTRLEN];
        return inet_ntop(AF_INET, v6 + 12, text, sizeof text) ? text : remoteAddress;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%02x%02x:%02x%02x:%02x%02x:%02x%02x::/64", v6[0], v6[1], v6[2], v6[3], v6[4],
                  v6[5], v6[6], v6[7]);
    return text;
}

void TMissThrottle::DropExpired(std::deque<TClock::time_point>& misses, TClock::time_point now) const
{
    while (!misses.empty() && now - misses.front() >= window_)
        misses.pop_front();
}

std::optional<int> TMissThrottle::RetryAfter(const std::string& remoteAddress, TClock::time_point now)
{
    std::lock_guard lock(mutex_);
    auto it = misses_.find(SourceOf(remoteAddress));
    if (it == misses_.end())
        return std::nullopt;
    DropExpired(it->second, now);
    if (it->second.size() < limit_)
        return std::nullopt;
    auto wait = std::chrono::ceil<std::chrono::seconds>(it->second.front() + window_ - now);
    return std::max(1, static_cast<int>(wait.count()));
}

void TMissThrottle::Miss(const std::string& remoteAddress, TClock::time_point now)
{
    std::lock_guard lock(mutex_);
    if (misses_.size() >= kSourceLimit) {
        for (auto it = misses_.begin(); it != misses_.end();) {
            DropExpired(it->second, now);
            it = it->second.empty() ? misses_.erase(it) : std::next(it);
        }
    }
    std::deque<TClock::time_point>& misses = misses_[SourceOf(remoteAddress)];
    DropExpired(misses, now);
    misses.push_back(now);
    // Only the newest limit_ misses matter for the refusal.
    while (misses.size() > limit_)
        misses.pop_front();
}

} // namespace quillon::server
