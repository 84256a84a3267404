#pragma once

#include <cstdint>

namespace quillon::server {

// Failed logins under one key (an account, or a source address): how many since the
// count last started over, and when the latest was, in seconds since the epoch.
struct TLoginFailures {
    int count = 0;
    std::int64_t last = 0;
};

// A few mistakes are free; after them each failure locks the key for twice as long as
// the one before, up to a ceiling. A key with no failure for the cool-down starts over.
struct TLoginLimits {
    int freeFailures = 5;
    std::int64_t firstDelay = 1;
    std::int64_t maxDelay = 15 * 60;
    std::int64_t coolDown = 60 * 60;
};

// Per account: a member mistyping a few times is never locked.
inline constexpr TLoginLimits kAccountLoginLimits{};
// Per source address: one office behind one address holds many members.
inline constexpr TLoginLimits kSourceLoginLimits{20, 1, 15 * 60, 60 * 60};

// Seconds the key stays locked from now; 0 when a check may be made.
std::int64_t LockedFor(const TLoginFailures& failures, const TLoginLimits& limits, std::int64_t now);
// The record after one more failure at now.
TLoginFailures AfterFailure(TLoginFailures failures, const TLoginLimits& limits, std::int64_t now);

} // namespace quillon::server
