#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace quillon::server {

// What one connection may cost. A connection holds memory while it waits, never a thread;
// these bound that memory and how long a peer may take over each step.
struct THttpLimits {
    // The request line and every header line together; beyond: 431 and the connection closed.
    std::size_t maxHeaderBytes = 16 * 1024;
    std::size_t maxHeaderFields = 100;
    // The request line's target; beyond: 414.
    std::size_t maxTargetBytes = 8 * 1024;
    // A body beyond this is refused while it streams (whatever its framing) with 413, and a
    // declared length beyond it before a byte of the body is read.
    std::size_t maxBodyBytes = 1 << 20;
    // Bodies being received at once, over all connections; beyond: 503 at once.
    std::size_t maxBodyBytesInFlight = 256u << 20;
    // The whole header section, from the request's first byte.
    std::chrono::milliseconds headerTimeout{10000};
    // A kept-alive connection with no request on its way, and a new one before its first byte.
    std::chrono::milliseconds idleTimeout{30000};
    // A body, and an answer going out, get this much time plus one second for each
    // minBytesPerSecond they carry: a slow phone network is fine, a trickle is not.
    std::chrono::milliseconds transferGrace{10000};
    std::size_t minBytesPerSecond = 4096;
    // Open connections from one peer address; the exempt address (a trusted proxy that
    // carries everybody's requests) has none. Beyond: 503 and closed.
    std::size_t maxConnectionsPerAddress = 32;
    std::string exemptAddress;
    // Open connections in all; 0: what the process's file limit leaves room for.
    std::size_t maxConnections = 0;
    // Threads for the work that may block (the store, password checks, mail).
    std::size_t workers = 16;
    // Threads that move bytes; 0: one a core.
    std::size_t networkThreads = 0;
};

} // namespace quillon::server
