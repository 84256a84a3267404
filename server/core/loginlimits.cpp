#include "loginlimits.h"

#include <algorithm>

namespace quillon::server {

namespace {

bool Forgotten(const TLoginFailures& failures, const TLoginLimits& limits, std::int64_t now)
{
    return failures.count == 0 || now - failures.last >= limits.coolDown;
}

std::int64_t Delay(int count, const TLoginLimits& limits)
{
    int over = count - limits.freeFailures;
    if (over <= 0)
        return 0;
    // Past the ceiling's doubling the shift would only overflow.
    if (over > 40)
        return limits.maxDelay;
    return std::min(limits.firstDelay << (over - 1), limits.maxDelay);
}

} // namespace

std::int64_t LockedFor(const TLoginFailures& failures, const TLoginLimits& limits, std::int64_t now)
{
    if (Forgotten(failures, limits, now))
        return 0;
    return std::max<std::int64_t>(0, failures.last + Delay(failures.count, limits) - now);
}

TLoginFailures AfterFailure(TLoginFailures failures, const TLoginLimits& limits, std::int64_t now)
{
    if (Forgotten(failures, limits, now))
        failures.count = 0;
    return TLoginFailures{failures.count + 1, now};
}

} // namespace quillon::server
