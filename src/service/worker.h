#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

enum class TWorkerResult : std::uint8_t {
    Success = 0,
    ServiceMessage = 1,
    ServiceError = 2,
    Cancelled = 3,
    ConnectionFailed = 4,
};

// Runs a call on the main thread and returns once it has run there. Workers reset their
// connection through it; tests may simply call the function.
using TRunOnMainThread = std::function<void(const std::function<void()>&)>;

// A host parameter followed by a script parameter. A host that names its scheme
// ("https://" or "http://", in any case) is the base as it stands; a bare host is
// reached over "http://", as the shipped parameters file has always meant.
std::string ServiceURL(const std::string& host, const std::string& script);

// The failing HTTP status of a request when the service itself answered with it; 0 when
// no answer came, and for a proxy that refused its credentials (407), as that is down to
// the proxy settings.
long ServiceFailureStatus(long httpStatus);
// What the user is told when the service answered a request with a failing HTTP status.
std::string ServiceAnsweredErrorText(long status);

} // namespace quillon
