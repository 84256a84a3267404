#pragma once

// Running wrk against a server on loopback and reading its summary: requests a second,
// latency percentiles, and every kind of failure it counts.
#include "service_support.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace quillon::bench {

inline constexpr int kTimeoutSeconds = 2;
inline constexpr double kTimeoutMs = kTimeoutSeconds * 1000.0;

inline std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string Format(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// wrk's text for a duration ("797.00us", "0.94ms", "2.00s", "1.50m") in milliseconds.
inline double DurationMs(const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    const std::string unit = end;
    if (unit == "us")
        return value / 1000;
    if (unit == "s")
        return value * 1000;
    if (unit == "m")
        return value * 60000;
    if (unit == "h")
        return value * 3600000;
    return value;
}

struct TWrk {
    bool ran = false; // wrk ended by itself and printed its summary
    long requests = 0;
    double rps = 0;
    double p50Ms = kTimeoutMs, p99Ms = kTimeoutMs;
    long connect = 0, read = 0, write = 0, timeout = 0, status = 0;
    std::string output;

    long Errors() const { return connect + read + write + timeout + status; }
};

inline TWrk ParseWrk(const std::string& output)
{
    TWrk w;
    w.output = output;
    double p50 = -1, p99 = -1;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const size_t first = line.find_first_not_of(' ');
        const std::string trimmed = first == std::string::npos ? "" : line.substr(first);
        char value[64];
        if (std::sscanf(trimmed.c_str(), "50%% %63s", value) == 1)
            p50 = DurationMs(value);
        else if (std::sscanf(trimmed.c_str(), "99%% %63s", value) == 1)
            p99 = DurationMs(value);
        else if (trimmed.find(" requests in ") != std::string::npos)
            w.requests = std::atol(trimmed.c_str());
        else if (trimmed.rfind("Socket errors:", 0) == 0)
            std::sscanf(trimmed.c_str(), "Socket errors: connect %ld, read %ld, write %ld, timeout %ld", &w.connect,
                        &w.read, &w.write, &w.timeout);
        else if (trimmed.rfind("Non-2xx or 3xx responses:", 0) == 0)
            w.status = std::atol(trimmed.c_str() + std::strlen("Non-2xx or 3xx responses:"));
        else if (trimmed.rfind("Requests/sec:", 0) == 0) {
            w.rps = std::atof(trimmed.c_str() + std::strlen("Requests/sec:"));
            w.ran = true;
        }
    }
    // wrk leaves the answers slower than --timeout out of its latencies and counts them
    // as timeouts: when they are more than the part above a percentile, that percentile
    // is at least the timeout, which is what stands for it then.
    const double all = static_cast<double>(w.requests + w.timeout);
    if (p50 >= 0 && w.timeout <= 0.5 * all && w.requests > 0)
        w.p50Ms = p50;
    if (p99 >= 0 && w.timeout <= 0.01 * all && w.requests > 0)
        w.p99Ms = p99;
    return w;
}

// One wrk run; one that did not end in time stands as every connection failing.
inline TWrk RunWrk(int connections, int seconds, const std::string& url, const std::string& script = "",
            const std::function<void()>& tick = {})
{
    std::vector<std::string> args = {"wrk",
                                     "-t2",
                                     "-c" + std::to_string(connections),
                                     "-d" + std::to_string(seconds) + "s",
                                     "--timeout",
                                     std::to_string(kTimeoutSeconds) + "s",
                                     "--latency"};
    if (!script.empty())
        args.insert(args.end(), {"-s", script});
    args.push_back(url);
    const TRun run = RunBounded(args, std::chrono::seconds(seconds + 15), tick);
    static const bool verbose = std::getenv("QUILLON_BENCH_VERBOSE") != nullptr;
    if (verbose)
        std::fprintf(stderr, "%s\n%s\n", url.c_str(), run.output.c_str());
    TWrk w = ParseWrk(run.output);
    if (!run.finished || !w.ran) {
        w.ran = false;
        w.rps = 0;
        w.p50Ms = w.p99Ms = kTimeoutMs;
        w.connect = std::max<long>(w.connect, connections);
    } else if (w.requests == 0) {
        // wrk counts as timeouts only the answers that came later than --timeout, and
        // never sees a request that got none: a round without a single answer has every
        // connection failing.
        w.timeout = std::max<long>(w.timeout, connections);
    }
    return w;
}

inline std::string Url(int port, const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

} // namespace quillon::bench
