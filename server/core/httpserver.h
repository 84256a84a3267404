#pragma once

#include "http.h"
#include "httplimits.h"

#include <functional>
#include <memory>
#include <string>

namespace quillon::server {

// An HTTP/1.1 server on an event loop: connections are read and written by a few network
// threads, and each complete request is handed to a bounded pool of workers, so a peer
// that is slow or silent costs a little memory and holds up nobody.
class THttpServer {
public:
    // Runs on a worker; may block.
    using THandler = std::function<void(const THttpRequest&, THttpResponse&)>;
    // Runs on a network thread first, so must not block; false passes the request on to
    // the handler. Answers that are ready in memory (a cached picture, a fixed page) go out
    // without a trip to a worker.
    using TQuickHandler = std::function<bool(const THttpRequest&, THttpResponse&)>;
    // After each answer, also the ones the server gives itself (the request may then be
    // partly filled in).
    using TAccessLog = std::function<void(const THttpRequest&, const THttpResponse&)>;
    using TLog = std::function<void(const std::string&)>;

    THttpServer(THttpLimits limits, TQuickHandler quick, THandler handler, TLog log);
    ~THttpServer();
    THttpServer(const THttpServer&) = delete;
    THttpServer& operator=(const THttpServer&) = delete;

    // Serves TLS with this certificate chain and key; throws when they cannot be used.
    void UseTls(const std::string& certFile, const std::string& keyFile);
    void SetAccessLog(TAccessLog log);
    // Listens; port 0 takes a free one. Returns the port; throws when it cannot listen.
    int Bind(const std::string& address, int port);
    // Serves on this thread and the other network threads until Stop; then lets the
    // requests in progress finish (for a few seconds at most) and returns.
    void Run();
    // From any thread, also before Run.
    void Stop();

    std::size_t OpenConnections() const;

    // Shared with the connections, which live in the implementation file.
    struct TImpl;

private:
    std::unique_ptr<TImpl> impl_;
};

// The reason phrase the service shows in the body of an error answer that has none.
std::string StatusText(int status);

} // namespace quillon::server
