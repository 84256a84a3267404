// Peers that are slow, silent, greedy or many: each costs the service a little memory for
// a bounded time, and none of them delays a phone fetching its logo.
#include "servicefixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>

#include <atomic>
#include <chrono>

using namespace quillon::server;
using namespace quillon::server::test;
using namespace std::chrono_literals;

namespace {

using TClock = std::chrono::steady_clock;

// A connection to 127.0.0.1:port from the loopback source address given; -1 on failure.
int ConnectFrom(int port, const std::string& source)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// What the peer sends until it closes or the time is up; closed tells which.
std::string ReadUntilClosed(int fd, std::chrono::milliseconds limit, bool* closed = nullptr)
{
    std::string got;
    const auto end = TClock::now() + limit;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - TClock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0)
            break;
        char buf[4096];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            if (closed)
                *closed = true;
            return got;
        }
        got.append(buf, static_cast<size_t>(n));
    }
    if (closed)
        *closed = false;
    return got;
}

// One answer: its head and as much body as its Content-Length says, or what came before the
// peer closed or the time was up.
std::string ReadAnswer(int fd, std::chrono::milliseconds limit)
{
    std::string got;
    const auto end = TClock::now() + limit;
    for (;;) {
        size_t head = got.find("\r\n\r\n");
        if (head != std::string::npos) {
            size_t length = 0;
            if (size_t at = got.find("Content-Length: "); at != std::string::npos && at < head)
                length = std::stoul(got.substr(at + 16));
            if (got.size() >= head + 4 + length)
                return got;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - TClock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0)
            return got;
        char buf[4096];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return got;
        got.append(buf, static_cast<size_t>(n));
    }
}

int StatusOf(const std::string& answer)
{
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

std::string UploadGuestPicture(TRunningService& service)
{
    auto res = service.Client().Post("/upload.php", httplib::MultipartFormDataItems{
                                                        {"login", "guest", "", ""},
                                                        {"password", "x", "", ""},
                                                        {"logofile", FakeJpeg("phone"), "a.jpg", ""}});
    return res ? IdIn(res->body) : "";
}

TServiceConfig QuickDeadlines()
{
    TServiceConfig config;
    config.http.headerTimeout = 1500ms;
    config.http.idleTimeout = 2500ms;
    config.http.transferGrace = 1000ms;
    return config;
}

TEST(Connections, SlowAndSilentPeersDelayNoPhoneAndAreClosedOnTime)
{
    TRunningService service(QuickDeadlines());
    const std::string id = UploadGuestPicture(service);
    ASSERT_FALSE(id.empty());

    // 200 peers that send a header line now and then and never finish, and 200 that send
    // nothing, from 20 addresses of their own (an address may hold 32 connections).
    std::vector<int> slow, silent;
    for (int i = 0; i < 200; ++i) {
        slow.push_back(ConnectFrom(service.Port(), "127.0.0." + std::to_string(2 + i % 10)));
        silent.push_back(ConnectFrom(service.Port(), "127.0.0." + std::to_string(12 + i % 10)));
        ASSERT_GE(slow.back(), 0);
        ASSERT_GE(silent.back(), 0);
        SendAll(slow.back(), "GET /guest/?id=" + id + " HTTP/1.1\r\n");
    }
    std::atomic<bool> done{false};
    std::thread trickle([&] {
        while (!done) {
            for (int fd : slow)
                send(fd, "X-Wait: 1\r\n", 11, MSG_NOSIGNAL | MSG_DONTWAIT);
            std::this_thread::sleep_for(200ms);
        }
    });

    auto client = service.Client();
    std::vector<double> ms;
    for (int i = 0; i < 40; ++i) {
        const auto start = TClock::now();
        auto res = client.Get("/guest/?id=" + id);
        ms.push_back(std::chrono::duration<double, std::milli>(TClock::now() - start).count());
        ASSERT_TRUE(res) << "request " << i;
        EXPECT_EQ(res->status, 200);
        EXPECT_EQ(res->body, FakeJpeg("phone"));
    }
    std::sort(ms.begin(), ms.end());
    // Generous for a loaded machine; a server that gives each connection a thread answers
    // none of these within 8 s.
    EXPECT_LT(ms.back(), 2000.0) << "median " << ms[ms.size() / 2] << " ms";

    // The header deadline closes the slow ones with 408 whatever they keep sending, the idle
    // deadline the silent ones.
    const auto deadline = TClock::now() + 15s;
    int slowClosed = 0, silentClosed = 0, told408 = 0;
    for (int fd : slow) {
        bool closed = false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        std::string got = ReadUntilClosed(fd, std::max(left, 1ms), &closed);
        slowClosed += closed;
        told408 += StatusOf(got) == 408;
    }
    for (int fd : silent) {
        bool closed = false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        std::string got = ReadUntilClosed(fd, std::max(left, 1ms), &closed);
        silentClosed += closed && got.empty();
    }
    done = true;
    trickle.join();
    for (int fd : slow)
        close(fd);
    for (int fd : silent)
        close(fd);
    EXPECT_EQ(slowClosed, 200);
    EXPECT_EQ(told408, 200);
    EXPECT_EQ(silentClosed, 200);
}

TEST(Connections, OversizedHeadersAndTargetsAreRefused)
{
    TRunningService service;
    auto headerLines = [](int count, size_t length) {
        std::string lines;
        for (int i = 0; i < count; ++i)
            lines += "X-Line-" + std::to_string(i) + ": " + std::string(length, 'v') + "\r\n";
        return lines;
    };
    struct Case {
        const char* what;
        std::string request;
        int status;
    } cases[] = {
        {"90 short lines", "GET /curversion.php HTTP/1.1\r\nHost: x\r\n" + headerLines(89, 10) + "\r\n", 200},
        {"101 lines", "GET /curversion.php HTTP/1.1\r\nHost: x\r\n" + headerLines(100, 10) + "\r\n", 431},
        {"20 KB of header", "GET /curversion.php HTTP/1.1\r\nHost: x\r\n" + headerLines(2, 10000) + "\r\n", 431},
        {"an endless header line", "GET /curversion.php HTTP/1.1\r\nX-Long: " + std::string(1 << 20, 'v'), 431},
        {"9 KB target", "GET /guest/?id=" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", 414},
        {"not HTTP", "HELLO THERE\r\n\r\n", 400},
    };
    for (const Case& c : cases) {
        const auto start = TClock::now();
        std::string answer = RawExchange(service.Port(), c.request);
        EXPECT_EQ(StatusOf(answer), c.status) << c.what << ": " << answer.substr(0, 200);
        EXPECT_LT(TClock::now() - start, 5s) << c.what;
    }
}

TEST(Connections, BodiesAreCappedWhileTheyStreamWhateverTheirFraming)
{
    TServiceConfig config = QuickDeadlines();
    config.http.maxBodyBytes = 64 * 1024;
    TRunningService service(config);
    const std::string head = "POST /upload.php HTTP/1.1\r\nHost: x\r\n"
                             "Content-Type: multipart/form-data; boundary=b\r\n";

    // A declared length above the cap is refused before any of the body is sent.
    {
        int fd = ConnectFrom(service.Port(), "127.0.0.1");
        ASSERT_TRUE(SendAll(fd, head + "Content-Length: 1073741824\r\n\r\n"));
        bool closed = false;
        std::string answer = ReadUntilClosed(fd, 5s, &closed);
        close(fd);
        EXPECT_EQ(StatusOf(answer), 413);
        EXPECT_TRUE(closed);
    }

    // Bodies that never say how long they are: sent on and on until the service answers.
    // Whatever the socket buffers hold, the answer must come long before 64 MB.
    struct Case {
        const char* what;
        std::string header;
        bool chunked;
        int status;
    } cases[] = {
        {"chunked", head + "Transfer-Encoding: chunked\r\n\r\n", true, 413},
        // Without a length a request has no body: the bytes that follow are no request.
        {"no length, closing", head + "Connection: close\r\n\r\n", false, 200},
    };
    for (const Case& c : cases) {
        int fd = ConnectFrom(service.Port(), "127.0.0.1");
        ASSERT_TRUE(SendAll(fd, c.header));
        fcntl(fd, F_SETFL, O_NONBLOCK);
        const std::string chunk(16 * 1024, 'z');
        const std::string piece = c.chunked ? "4000\r\n" + chunk + "\r\n" : chunk;
        size_t sent = 0;
        std::string answer;
        const auto end = TClock::now() + 20s;
        while (sent < (64u << 20) && TClock::now() < end && answer.find("\r\n\r\n") == std::string::npos) {
            pollfd p{fd, POLLIN | POLLOUT, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            if (p.revents & POLLIN) {
                char buf[4096];
                ssize_t n = recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                answer.append(buf, static_cast<size_t>(n));
            } else if (p.revents & POLLOUT) {
                ssize_t n = send(fd, piece.data(), piece.size(), MSG_NOSIGNAL);
                if (n < 0 && errno != EAGAIN)
                    break;
                if (n > 0)
                    sent += static_cast<size_t>(n);
            } else {
                break;
            }
        }
        close(fd);
        EXPECT_EQ(StatusOf(answer), c.status) << c.what << ": " << answer.substr(0, 200);
        EXPECT_LT(sent, 16u << 20) << c.what;
    }

    // A body that trickles in is cut off at its minimum rate.
    {
        int fd = ConnectFrom(service.Port(), "127.0.0.1");
        ASSERT_TRUE(SendAll(fd, head + "Content-Length: 60000\r\n\r\n"));
        const auto start = TClock::now();
        std::string answer;
        while (TClock::now() - start < 10s && answer.empty()) {
            send(fd, "0123456789", 10, MSG_NOSIGNAL);
            answer = ReadAnswer(fd, 100ms);
        }
        close(fd);
        EXPECT_EQ(StatusOf(answer), 408) << answer.substr(0, 200);
    }
    EXPECT_TRUE(std::filesystem::is_empty(service.DataDir() / "pictures"));
}

TEST(Connections, OneAddressHoldsAFewConnectionsAndTheTrustedProxyAnyNumber)
{
    TServiceConfig config;
    config.http.maxConnectionsPerAddress = 4;
    config.trustedProxy = "127.0.0.9";
    TRunningService service(config);
    const std::string ask = "GET /curversion.php HTTP/1.1\r\nHost: x\r\n\r\n";

    std::vector<int> held;
    for (int i = 0; i < 4; ++i) {
        held.push_back(ConnectFrom(service.Port(), "127.0.0.7"));
        ASSERT_TRUE(SendAll(held.back(), ask));
        EXPECT_EQ(StatusOf(ReadAnswer(held.back(), 5s)), 200);
    }
    int fifth = ConnectFrom(service.Port(), "127.0.0.7");
    bool closed = false;
    std::string refused = ReadUntilClosed(fifth, 5s, &closed);
    close(fifth);
    EXPECT_EQ(StatusOf(refused), 503);
    EXPECT_NE(refused.find("Retry-After:"), std::string::npos);
    EXPECT_TRUE(closed);
    // Others are served meanwhile.
    EXPECT_EQ(StatusOf(RawExchange(service.Port(), ask, "127.0.0.1")), 200);

    // A connection given up makes room again.
    close(held.back());
    held.pop_back();
    bool served = false;
    for (auto end = TClock::now() + 5s; !served && TClock::now() < end;) {
        served = StatusOf(RawExchange(service.Port(), ask, "127.0.0.7")) == 200;
        if (!served)
            std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(served);

    std::vector<int> proxy;
    for (int i = 0; i < 10; ++i) {
        proxy.push_back(ConnectFrom(service.Port(), "127.0.0.9"));
        ASSERT_TRUE(SendAll(proxy.back(), ask));
    }
    for (int fd : proxy)
        EXPECT_EQ(StatusOf(ReadAnswer(fd, 5s)), 200);
    for (int fd : held)
        close(fd);
    for (int fd : proxy)
        close(fd);
}

TEST(Connections, ContinueHeadPipeliningAndAPromptStop)
{
    auto service = std::make_unique<TRunningService>();
    const int port = service->Port();
    const std::string form = "login=guest&password=x";

    // A client that waits for "100 Continue" gets it before it sends the body.
    int fd = ConnectFrom(port, "127.0.0.1");
    ASSERT_TRUE(SendAll(fd, "POST /memberstatus.php HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\n"
                            "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                std::to_string(form.size()) + "\r\n\r\n"));
    std::string interim = ReadAnswer(fd, 5s);
    EXPECT_EQ(StatusOf(interim), 100) << interim;
    ASSERT_TRUE(SendAll(fd, form));
    std::string status = ReadAnswer(fd, 5s);
    EXPECT_EQ(StatusOf(status), 200) << status;
    EXPECT_NE(status.find("SUCCESS\r\n0\r\n"), std::string::npos) << status;
    close(fd);

    // Two requests in one write, answered in order; HEAD gets the length and no body.
    std::string two = RawExchange(port, "GET /curversion.php HTTP/1.1\r\nHost: x\r\n\r\n"
                                        "HEAD /curversion.php HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(two, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\n1.1.2"
                   "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\n");

    // Idle connections do not hold up a stop.
    std::vector<int> idle;
    for (int i = 0; i < 20; ++i)
        idle.push_back(ConnectFrom(port, "127.0.0.1"));
    const auto start = TClock::now();
    service.reset();
    EXPECT_LT(TClock::now() - start, 3s);
    for (int f : idle)
        close(f);
}

} // namespace
