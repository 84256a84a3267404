#include "httpserver.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quillon::server {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using TClock = std::chrono::steady_clock;

namespace {

// A peer whose connection ends after an answer may still be sending (an upload refused
// half way); reading on for a moment lets the answer reach it instead of being lost to
// the reset that closing on unread data sends.
// Bounded by time alone: a byte limit would cut off (and so lose the answer to) exactly the
// fast sender this is for.
constexpr std::chrono::seconds kLingerTime{5};
constexpr std::chrono::seconds kStopGrace{10};
constexpr int kConnectionsRetrySeconds = 5;
constexpr int kBodiesRetrySeconds = 2;
// File descriptors kept for the store, the mail and the logs.
constexpr std::size_t kReservedFiles = 64;

std::string PeerAddress(const tcp::socket& socket)
{
    boost::system::error_code ec;
    tcp::endpoint peer = socket.remote_endpoint(ec);
    if (ec)
        return {};
    net::ip::address a = peer.address();
    if (a.is_v6() && a.to_v6().is_v4_mapped())
        a = net::ip::make_address_v4(net::ip::v4_mapped, a.to_v6());
    return a.to_string();
}

// Raises the soft limit of open files to the hard one: each connection is a file, and the
// default soft limit (1024) is far below what an event loop can hold.
std::size_t RaiseFileLimit()
{
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) != 0)
        return 1024;
    if (rl.rlim_cur < rl.rlim_max) {
        rlimit raised = rl;
        raised.rlim_cur = rl.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            rl = raised;
    }
    return static_cast<std::size_t>(std::min<rlim_t>(rl.rlim_cur, 1 << 20));
}

} // namespace

std::string StatusText(int status)
{
    switch (status) {
    case 400: return "Bad request";
    case 403: return "Forbidden";
    case 404: return "Not found";
    case 405: return "Method not allowed";
    case 408: return "The request took too long to arrive";
    case 413: return "The request is too large";
    case 414: return "The address is too long";
    case 429: return "Too many requests";
    case 431: return "The request's header is too large";
    case 501: return "Not implemented";
    case 503: return "The service is busy. Please try again in a moment";
    default: return "Error " + std::to_string(status);
    }
}

class TSessionBase;

struct THttpServer::TImpl {
    THttpLimits limits;
    TQuickHandler quick;
    THandler handler;
    TLog log;
    TAccessLog accessLog;
    std::size_t maxConnections = 0;

    std::atomic<bool> stopping{false};
    std::atomic<std::size_t> bodyBytesInFlight{0};
    TClock::time_point stopDeadline;

    // Connections still queued on the loop when it is destroyed unregister themselves then:
    // everything they touch is declared before the loop.
    mutable std::mutex sessionsMutex;
    std::unordered_map<TSessionBase*, std::weak_ptr<TSessionBase>> sessions;
    std::unordered_map<std::string, std::size_t> perAddress;

    // One loop a network thread, each connection on one of them for its whole life: no
    // locks between the threads on the way of a request. The first loop also accepts.
    std::vector<std::unique_ptr<net::io_context>> loops;
    std::size_t nextLoop = 0;
    std::vector<net::executor_work_guard<net::io_context::executor_type>> running;
    std::optional<net::ssl::context> tls;
    tcp::acceptor acceptor{*loops[0]};
    net::steady_timer acceptRetry{*loops[0]};
    net::steady_timer stopTimer{*loops[0]};
    net::thread_pool workers;

    TImpl(THttpLimits l, TQuickHandler q, THandler h, TLog lg)
        : limits(std::move(l)), quick(std::move(q)), handler(std::move(h)), log(std::move(lg)),
          loops(MakeLoops(limits.networkThreads)), workers(std::max<std::size_t>(1, limits.workers))
    {
    }

    static std::vector<std::unique_ptr<net::io_context>> MakeLoops(std::size_t count)
    {
        if (count == 0)
            count = std::max(1u, std::thread::hardware_concurrency());
        std::vector<std::unique_ptr<net::io_context>> made;
        for (std::size_t i = 0; i < count; ++i)
            made.push_back(std::make_unique<net::io_context>(1));
        return made;
    }
    net::io_context& Main() { return *loops[0]; }
    ~TImpl() { workers.join(); }

    void Accept();
    void OnAccepted(tcp::socket socket, net::io_context& loop);
    void Refuse(tcp::socket socket, const char* why);
    void Register(const std::shared_ptr<TSessionBase>& session);
    void Unregister(TSessionBase* session, const std::string& peer);
    void BeginStop();
    void WaitForSessions();

    bool ReserveBody(std::size_t bytes)
    {
        std::size_t now = bodyBytesInFlight.load();
        do {
            if (now + bytes > limits.maxBodyBytesInFlight)
                return false;
        } while (!bodyBytesInFlight.compare_exchange_weak(now, now + bytes));
        return true;
    }
    void ReleaseBody(std::size_t bytes) { bodyBytesInFlight -= bytes; }
};

// What the server needs of a connection without knowing whether it is TLS.
class TSessionBase {
public:
    virtual ~TSessionBase() = default;
    // Closes the connection unless it is busy with a request; a busy one closes after its
    // answer.
    virtual void Wind() = 0;
};

template <class Stream>
class TSession : public TSessionBase, public std::enable_shared_from_this<TSession<Stream>> {
public:
    template <class... Args>
    TSession(THttpServer::TImpl& server, net::io_context& loop, std::string peer, Args&&... args)
        : server_(server), loop_(loop), peer_(std::move(peer)), stream_(std::forward<Args>(args)...),
          deadline_(loop)
    {
    }

    ~TSession() override
    {
        if (reservedBody_)
            server_.ReleaseBody(reservedBody_);
        server_.Unregister(this, peer_);
    }

    void Start()
    {
        if constexpr (std::is_same_v<Stream, beast::ssl_stream<beast::tcp_stream>>) {
            Lowest().expires_after(server_.limits.headerTimeout);
            stream_.async_handshake(net::ssl::stream_base::server,
                                    [self = this->shared_from_this()](beast::error_code ec) {
                                        if (ec)
                                            return self->Close();
                                        self->WaitForRequest();
                                    });
        } else {
            WaitForRequest();
        }
    }

    void Wind() override
    {
        net::post(loop_, [self = this->shared_from_this()] {
            if (!self->busy_)
                self->Close();
        });
    }

private:
    beast::tcp_stream& Lowest() { return beast::get_lowest_layer(stream_); }

    // The header's and the body's deadlines are kept here rather than by the stream, which
    // would close the connection at once: a peer that is merely slow is told why (408).
    void Arm(TClock::time_point at)
    {
        Lowest().expires_never();
        timedOut_ = false;
        deadline_.expires_at(at);
        deadline_.async_wait([self = this->shared_from_this(), generation = ++generation_](beast::error_code ec) {
            if (ec || generation != self->generation_)
                return;
            self->timedOut_ = true;
            beast::error_code ignored;
            self->Lowest().socket().cancel(ignored);
        });
    }
    void Disarm()
    {
        ++generation_;
        deadline_.cancel();
    }
    bool TimedOut(beast::error_code ec) const { return ec == net::error::operation_aborted && timedOut_; }
    const THttpLimits& Limits() const { return server_.limits; }

    static std::chrono::milliseconds TransferTime(std::size_t bytes, const THttpLimits& limits)
    {
        return limits.transferGrace +
               std::chrono::milliseconds(bytes * 1000 / std::max<std::size_t>(1, limits.minBytesPerSecond));
    }

    // Before a request's first byte the idle time counts; from it, the header's own deadline.
    void WaitForRequest()
    {
        if (server_.stopping)
            return Close();
        busy_ = false;
        request_ = THttpRequest{};
        request_.remoteAddress = peer_;
        head_ = false;
        if (buffer_.size() > 0)
            return ReadHeader();
        Lowest().expires_after(Limits().idleTimeout);
        stream_.async_read_some(buffer_.prepare(4096),
                                [self = this->shared_from_this()](beast::error_code ec, std::size_t n) {
                                    if (ec)
                                        return self->Close();
                                    self->buffer_.commit(n);
                                    self->ReadHeader();
                                });
    }

    void ReadHeader()
    {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(Limits().maxHeaderBytes));
        parser_->body_limit(Limits().maxBodyBytes);
        // The whole header usually came with the first read: taken from the buffer at once,
        // it needs no deadline and no trip through the loop.
        beast::error_code ec;
        while (buffer_.size() > 0 && !parser_->is_header_done()) {
            const std::size_t used = parser_->put(buffer_.data(), ec);
            buffer_.consume(used);
            if (ec || used == 0)
                break;
        }
        if (ec == http::error::need_more)
            ec = {};
        if (ec || parser_->is_header_done())
            return OnHeader(ec);
        Arm(TClock::now() + Limits().headerTimeout);
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                                    self->Disarm();
                                    self->OnHeader(ec);
                                });
    }

    void OnHeader(beast::error_code ec)
    {
        if (TimedOut(ec))
            return Refuse(408);
        if (ec == http::error::header_limit || ec == http::error::buffer_overflow)
            return Refuse(431);
        if (ec == http::error::body_limit)
            return Refuse(413);
        if (ec == http::error::end_of_stream || ec == net::error::eof || ec == net::error::connection_reset ||
            ec == net::error::operation_aborted)
            return Close();
        if (ec)
            return Refuse(400);

        auto& message = parser_->get();
        request_.method = std::string(message.method_string());
        request_.target = std::string(message.target());
        std::size_t fields = 0;
        for (const auto& field : message) {
            if (++fields > Limits().maxHeaderFields)
                return Refuse(431);
            request_.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        }
        if (request_.target.size() > Limits().maxTargetBytes)
            return Refuse(414);
        if (request_.method == "HEAD") {
            head_ = true;
            request_.method = "GET";
        }
        if (parser_->is_done())
            return Dispatch();

        // The body: its room is taken from the budget of all bodies first, so many large
        // uploads at once cannot exhaust the memory.
        const std::size_t room =
            parser_->content_length() ? static_cast<std::size_t>(*parser_->content_length()) : Limits().maxBodyBytes;
        if (!server_.ReserveBody(room))
            return Refuse(503, kBodiesRetrySeconds);
        reservedBody_ = room;
        bodyStart_ = TClock::now();
        if (beast::iequals(message[http::field::expect], "100-continue")) {
            auto going = std::make_shared<http::response<http::empty_body>>(http::status::continue_, message.version());
            Lowest().expires_after(Limits().transferGrace);
            return http::async_write(stream_, *going,
                                     [self = this->shared_from_this(), going](beast::error_code e, std::size_t) {
                                         if (e)
                                             return self->Close();
                                         self->ReadBody();
                                     });
        }
        ReadBody();
    }

    void ReadBody()
    {
        // The deadline grows with what has arrived: a minimum average rate, not a fixed time.
        const std::size_t received = parser_->get().body().size();
        const TClock::time_point deadline = bodyStart_ + TransferTime(received, Limits());
        if (deadline <= TClock::now())
            return Refuse(408);
        Arm(deadline);
        http::async_read_some(stream_, buffer_, *parser_,
                              [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                                  self->Disarm();
                                  if (self->TimedOut(ec))
                                      return self->Refuse(408);
                                  if (ec == http::error::body_limit)
                                      return self->Refuse(413);
                                  if (ec == http::error::end_of_stream || ec == net::error::eof ||
                                      ec == net::error::connection_reset || ec == net::error::operation_aborted)
                                      return self->Close();
                                  if (ec)
                                      return self->Refuse(400);
                                  if (self->parser_->is_done())
                                      return self->Dispatch();
                                  self->ReadBody();
                              });
    }

    void Dispatch()
    {
        // From here the request is in progress: a stop lets it finish.
        busy_ = true;
        Lowest().expires_never();
        auto& message = parser_->get();
        keepAlive_ = message.keep_alive();
        version_ = message.version();
        request_.body = std::move(message.body());
        parser_.reset();
        if (reservedBody_) {
            server_.ReleaseBody(reservedBody_);
            reservedBody_ = 0;
        }
        if (!ParseRequestContent(request_))
            return Refuse(400);
        response_ = THttpResponse{};
        try {
            if (server_.quick && server_.quick(request_, response_))
                return Write();
        } catch (const std::exception& e) {
            server_.log("failed on " + request_.path + ": " + e.what());
            response_ = THttpResponse{};
            response_.status = 500;
            return Write();
        }
        response_ = THttpResponse{};
        // The worker keeps the loop alive until the answer is back on this connection.
        net::post(server_.workers, [self = this->shared_from_this(), guard = net::make_work_guard(loop_)] {
            THttpResponse response;
            try {
                self->server_.handler(self->request_, response);
            } catch (const std::exception& e) {
                self->server_.log("failed on " + self->request_.path + ": " + e.what());
                response = THttpResponse{};
                response.status = 500;
            }
            net::post(self->loop_, [self, response = std::move(response)]() mutable {
                self->response_ = std::move(response);
                self->Write();
            });
        });
    }

    // An answer the server gives itself; the connection closes after it.
    void Refuse(int status, int retryAfter = 0)
    {
        parser_.reset();
        if (reservedBody_) {
            server_.ReleaseBody(reservedBody_);
            reservedBody_ = 0;
        }
        response_ = THttpResponse{};
        response_.status = status;
        if (retryAfter > 0)
            response_.SetHeader("Retry-After", std::to_string(retryAfter));
        keepAlive_ = false;
        version_ = 11;
        Write();
    }

    void Write()
    {
        busy_ = true;
        if (response_.BodySize() == 0 && response_.status >= 400)
            response_.SetContent(StatusText(response_.status) + "\r\n", "text/plain; charset=utf-8");
        body_ = response_.body;
        message_ = {};
        auto* message = &message_;
        message->version(version_);
        message->result(static_cast<unsigned>(response_.status));
        if (!response_.contentType.empty())
            message->set(http::field::content_type, response_.contentType);
        for (const auto& [name, value] : response_.headers)
            message->set(name, value);
        const std::size_t size = response_.BodySize();
        if (!head_ && body_)
            message->body() = http::span_body<const char>::value_type(body_->data(), body_->size());
        message->content_length(size);
        const bool keep = keepAlive_ && !server_.stopping;
        message->keep_alive(keep);
        if (server_.accessLog)
            server_.accessLog(request_, response_);
        Lowest().expires_after(TransferTime(size, Limits()));
        http::async_write(stream_, *message,
                          [self = this->shared_from_this(), keep](beast::error_code ec, std::size_t) {
                              self->body_.reset();
                              if (ec)
                                  return self->Close();
                              if (!keep)
                                  return self->Linger();
                              self->WaitForRequest();
                          });
    }

    // Sends no more and reads on for a moment, so that a peer still sending gets the answer.
    void Linger()
    {
        // The answer is out: a stop need not wait for this.
        busy_ = false;
        beast::error_code ignored;
        Lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
        lingerDeadline_ = TClock::now() + kLingerTime;
        Drain();
    }

    void Drain()
    {
        Lowest().expires_at(lingerDeadline_);
        Lowest().async_read_some(net::buffer(drain_), [self = this->shared_from_this()](beast::error_code ec,
                                                                                       std::size_t) {
            if (ec)
                return self->Close();
            self->Drain();
        });
    }

    void Close()
    {
        busy_ = false;
        Disarm();
        beast::error_code ignored;
        Lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        Lowest().close();
    }

    THttpServer::TImpl& server_;
    net::io_context& loop_;
    const std::string peer_;
    Stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    THttpRequest request_;
    THttpResponse response_;
    std::shared_ptr<const std::string> body_;
    http::response<http::span_body<const char>> message_;
    std::size_t reservedBody_ = 0;
    TClock::time_point bodyStart_;
    TClock::time_point lingerDeadline_;
    std::array<char, 16384> drain_{};
    net::steady_timer deadline_;
    std::uint64_t generation_ = 0;
    bool timedOut_ = false;
    unsigned version_ = 11;
    bool keepAlive_ = false;
    bool head_ = false;
    bool busy_ = false;
};

void THttpServer::TImpl::Register(const std::shared_ptr<TSessionBase>& session)
{
    std::lock_guard lock(sessionsMutex);
    sessions.emplace(session.get(), session);
}

void THttpServer::TImpl::Unregister(TSessionBase* session, const std::string& peer)
{
    std::lock_guard lock(sessionsMutex);
    sessions.erase(session);
    if (auto it = perAddress.find(peer); it != perAddress.end() && --it->second == 0)
        perAddress.erase(it);
}

void THttpServer::TImpl::Accept()
{
    net::io_context& loop = *loops[nextLoop++ % loops.size()];
    acceptor.async_accept(loop, [this, &loop](beast::error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted || !acceptor.is_open())
            return;
        if (ec) {
            // Out of files or memory for a moment: try again shortly rather than spin.
            acceptRetry.expires_after(std::chrono::milliseconds(100));
            acceptRetry.async_wait([this](beast::error_code e) {
                if (!e)
                    Accept();
            });
            return;
        }
        OnAccepted(std::move(socket), loop);
        Accept();
    });
}

void THttpServer::TImpl::Refuse(tcp::socket socket, const char* why)
{
    static const std::string answer =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\nRetry-After: " +
        std::to_string(kConnectionsRetrySeconds) +
        "\r\nConnection: close\r\nContent-Length: 45\r\n\r\nToo many connections. Please try again later.";
    (void)why;
    auto s = std::make_shared<beast::tcp_stream>(std::move(socket));
    s->expires_after(std::chrono::seconds(2));
    net::async_write(*s, net::buffer(answer), [s](beast::error_code, std::size_t) {
        beast::error_code ignored;
        s->socket().shutdown(tcp::socket::shutdown_both, ignored);
        s->close();
    });
}

void THttpServer::TImpl::OnAccepted(tcp::socket socket, net::io_context& loop)
{
    const std::string peer = PeerAddress(socket);
    {
        std::lock_guard lock(sessionsMutex);
        const bool exempt = !limits.exemptAddress.empty() && peer == limits.exemptAddress;
        std::size_t& mine = perAddress[peer];
        if (sessions.size() >= maxConnections || (!exempt && mine >= limits.maxConnectionsPerAddress)) {
            if (mine == 0)
                perAddress.erase(peer);
            return Refuse(std::move(socket), "too many connections");
        }
        ++mine;
    }
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    std::shared_ptr<TSessionBase> base;
    if (tls) {
        auto session = std::make_shared<TSession<beast::ssl_stream<beast::tcp_stream>>>(*this, loop, peer,
                                                                                        std::move(socket), *tls);
        base = session;
        Register(base);
        session->Start();
    } else {
        auto session = std::make_shared<TSession<beast::tcp_stream>>(*this, loop, peer, std::move(socket));
        base = session;
        Register(base);
        session->Start();
    }
}

void THttpServer::TImpl::BeginStop()
{
    beast::error_code ignored;
    acceptor.close(ignored);
    acceptRetry.cancel();
    std::vector<std::shared_ptr<TSessionBase>> open;
    {
        std::lock_guard lock(sessionsMutex);
        for (auto& [raw, weak] : sessions)
            if (auto s = weak.lock())
                open.push_back(std::move(s));
        if (sessions.empty())
            return running.clear();
    }
    for (auto& s : open)
        s->Wind();
    stopDeadline = TClock::now() + kStopGrace;
    WaitForSessions();
}

// Requests in progress may finish; whatever is still open at the deadline is cut off.
void THttpServer::TImpl::WaitForSessions()
{
    {
        std::lock_guard lock(sessionsMutex);
        if (sessions.empty())
            return running.clear();
    }
    if (TClock::now() >= stopDeadline) {
        for (auto& loop : loops)
            loop->stop();
        return;
    }
    stopTimer.expires_after(std::chrono::milliseconds(50));
    stopTimer.async_wait([this](beast::error_code ec) {
        if (!ec)
            WaitForSessions();
    });
}

THttpServer::THttpServer(THttpLimits limits, TQuickHandler quick, THandler handler, TLog log)
    : impl_(std::make_unique<TImpl>(std::move(limits), std::move(quick), std::move(handler), std::move(log)))
{
    const std::size_t files = RaiseFileLimit();
    impl_->maxConnections = impl_->limits.maxConnections
                                ? impl_->limits.maxConnections
                                : (files > 2 * kReservedFiles ? files - kReservedFiles : files / 2);
}

THttpServer::~THttpServer() = default;

void THttpServer::UseTls(const std::string& certFile, const std::string& keyFile)
{
    net::ssl::context context(net::ssl::context::tls_server);
    context.set_options(net::ssl::context::default_workarounds | net::ssl::context::no_sslv2 |
                        net::ssl::context::no_sslv3 | net::ssl::context::no_tlsv1 | net::ssl::context::no_tlsv1_1);
    beast::error_code ec;
    context.use_certificate_chain_file(certFile, ec);
    if (!ec)
        context.use_private_key_file(keyFile, net::ssl::context::pem, ec);
    if (ec)
        throw std::runtime_error("Cannot use the certificate " + certFile + " with the key " + keyFile);
    impl_->tls.emplace(std::move(context));
}

void THttpServer::SetAccessLog(TAccessLog log)
{
    impl_->accessLog = std::move(log);
}

int THttpServer::Bind(const std::string& address, int port)
{
    beast::error_code ec;
    net::ip::address ip = net::ip::make_address(address, ec);
    auto fail = [&] {
        return std::runtime_error("Cannot listen on " + address + " port " + std::to_string(port));
    };
    if (ec || port < 0 || port > 65535)
        throw fail();
    tcp::endpoint endpoint(ip, static_cast<unsigned short>(port));
    tcp::acceptor& a = impl_->acceptor;
    a.open(endpoint.protocol(), ec);
    if (!ec)
        a.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec)
        a.bind(endpoint, ec);
    if (!ec)
        a.listen(net::socket_base::max_listen_connections, ec);
    if (ec) {
        beast::error_code ignored;
        a.close(ignored);
        throw fail();
    }
    return a.local_endpoint().port();
}

void THttpServer::Run()
{
    if (!impl_->acceptor.is_open())
        return;
    // Every loop runs until the stop has let the last connection go.
    for (auto& loop : impl_->loops)
        impl_->running.push_back(net::make_work_guard(*loop));
    impl_->Accept();
    std::vector<std::thread> more;
    for (std::size_t i = 1; i < impl_->loops.size(); ++i)
        more.emplace_back([this, i] { impl_->loops[i]->run(); });
    impl_->Main().run();
    for (auto& t : more)
        t.join();
}

void THttpServer::Stop()
{
    if (impl_->stopping.exchange(true))
        return;
    net::post(impl_->Main(), [this] { impl_->BeginStop(); });
}

std::size_t THttpServer::OpenConnections() const
{
    std::lock_guard lock(impl_->sessionsMutex);
    return impl_->sessions.size();
}

} // namespace quillon::server
