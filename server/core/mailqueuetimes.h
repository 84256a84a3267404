#pragma once

#include <chrono>
#include <cstdint>

namespace quillon::server {

// The mail queue's clock: seconds of the service's clock, and the real interval at which
// the queue is looked at (tests shorten it).
struct TMailQueueTimes {
    std::int64_t claim = 300;  // a taker holds a mail this long while it sends it
    std::int64_t firstRetry = 60;  // after the first failure; doubling from there
    std::int64_t longestRetry = 3600;
    std::int64_t giveUp = 2 * 86400;  // after this long in the queue a mail is dropped
    std::chrono::milliseconds poll{5000};
};

} // namespace quillon::server
