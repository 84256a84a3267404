// The reference service under wrk's load beside nginx serving the same 20 KB logo
// statically, both on 127.0.0.1, started here and stopped at the end:
// - BM_PhoneUrl/N: phones fetching the logo at its phone URL over N keep-alive
//   connections; short wrk rounds alternate between the two servers, so both see the
//   same machine. Counters: rps, nginx_rps, x_nginx (median of the rounds' ratios),
//   p99_ms, nginx_p99_ms, p99_x_nginx (likewise), errors (socket errors and failing
//   statuses over the service's rounds).
// - BM_MixedLoad: a minute of fetches with one upload in ten (QUILLON_BENCH_MIXED_SECONDS
//   shortens it), the service's resident memory read every second. Counters: rps,
//   upload_rps, p99_ms, errors (socket errors, failing statuses and uploads not answered
//   with success), rss_start_mb, rss_end_mb, rss_max_mb.
// - BM_SlowConnections: 1,000 clients that send a request header a line every 2 s and
//   never finish it, 25 from each of 40 loopback source addresses, while a probe from
//   127.0.0.1 fetches the logo one fresh connection at a time; the same against nginx.
//   Counters: p50_ms, p99_ms, errors, slow_connected, slow_open (slow clients the server
//   still holds 20 s after they connected), and nginx_ beside them.
// Where the service should get to: rps >= 0.8 x nginx and p99 <= 2 x nginx's on the
// phone URL, and a probe p99 under 100 ms among the slow clients.
// Every wrk round ends by -d and --timeout, and is killed if it overruns, so a server that
// stalls gives figures (timeouts and errors), never a hang. A summary table goes to
// stderr at the end; QUILLON_BENCH_VERBOSE=1 adds each wrk run's own output.
// Needs wrk and nginx: bench/setup.sh installs them.
#include "peer_support.h"
#include "service_support.h"
#include "wrk_support.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace quillon::bench;
using TClock = std::chrono::steady_clock;

constexpr int kRoundSeconds = 3;
constexpr int kMixedConnections = 32;
constexpr int kUploadEvery = 10;
constexpr int kSlowClients = 1000;
constexpr int kSlowPerSource = 25; // within the service's cap per source address
constexpr auto kSlowLineEvery = std::chrono::seconds(2);
constexpr auto kSlowSettle = std::chrono::seconds(3);
constexpr auto kSlowHold = std::chrono::seconds(20);
constexpr int kProbeRequests = 500;
constexpr auto kProbeTime = std::chrono::seconds(10);

TPeers& Peers()
{
    // Before the servers start: they inherit the limit, and the slow clients need it here.
    static const rlim_t files = RaiseFileLimit();
    (void)files;
    // The phone URL is the first upload, and must outlive every upload of the mixed load.
    // wrk opens all its connections from one address, as phones behind a proxy would.
    static TPeers peers(TPeerOptions{{"--keep-guest", "100000", "--connections-per-address", "4096"}, 4096});
    return peers;
}

// Lines for the table printed to stderr when the program ends.
struct TSummary {
    std::vector<std::string> rows;
    ~TSummary()
    {
        if (rows.empty())
            return;
        std::fprintf(stderr, "\nquillon-service beside nginx\n");
        for (const std::string& row : rows)
            std::fprintf(stderr, "  %s\n", row.c_str());
    }
} summary;

// Peers and wrk are both there, or the benchmark says what is missing.
bool Ready(benchmark::State& state)
{
    TPeers& peers = Peers();
    if (!peers.error.empty()) {
        state.SkipWithError(peers.error.c_str());
        return false;
    }
    static const std::string wrkError = [] {
        const TRun run = RunBounded({"wrk", "-v"}, std::chrono::seconds(5));
        return run.output.find("wrk") == std::string::npos ? "wrk is not available: run bench/setup.sh" : "";
    }();
    if (!wrkError.empty()) {
        state.SkipWithError(wrkError.c_str());
        return false;
    }
    return true;
}

void BM_PhoneUrl(benchmark::State& state)
{
    if (!Ready(state))
        return;
    TPeers& peers = Peers();
    const int connections = static_cast<int>(state.range(0));
    const std::string ours = Url(peers.servicePort, peers.phonePath);
    const std::string theirs = Url(peers.nginxPort, "/logo.jpg");
    std::vector<double> rps, nginxRps, ratio, p99, nginxP99, p99Ratio;
    long errors = 0, nginxErrors = 0;
    int round = 0;
    for (auto _ : state) {
        // Either goes first in turn, so neither always meets the other's leftovers.
        TWrk service, nginx;
        if (round++ % 2 == 0) {
            service = RunWrk(connections, kRoundSeconds, ours);
            nginx = RunWrk(connections, kRoundSeconds, theirs);
        } else {
            nginx = RunWrk(connections, kRoundSeconds, theirs);
            service = RunWrk(connections, kRoundSeconds, ours);
        }
        rps.push_back(service.rps);
        nginxRps.push_back(nginx.rps);
        if (nginx.rps > 0)
            ratio.push_back(service.rps / nginx.rps);
        p99.push_back(service.p99Ms);
        nginxP99.push_back(nginx.p99Ms);
        p99Ratio.push_back(service.p99Ms / std::max(nginx.p99Ms, 0.001));
        errors += service.Errors();
        nginxErrors += nginx.Errors();
    }
    state.counters["rps"] = Median(rps);
    state.counters["nginx_rps"] = Median(nginxRps);
    state.counters["x_nginx"] = Median(ratio);
    state.counters["p99_ms"] = Median(p99);
    state.counters["nginx_p99_ms"] = Median(nginxP99);
    state.counters["p99_x_nginx"] = Median(p99Ratio);
    state.counters["errors"] = static_cast<double>(errors);
    state.counters["nginx_errors"] = static_cast<double>(nginxErrors);
    summary.rows.push_back(Format("phone URL, %3d connections: %8.0f rps (nginx %8.0f, x %.2f), p99 %7.2f ms "
                                  "(nginx %7.2f, x %.2f), errors %ld (nginx %ld)",
                                  connections, Median(rps), Median(nginxRps), Median(ratio), Median(p99),
                                  Median(nginxP99), Median(p99Ratio), errors, nginxErrors));
}
BENCHMARK(BM_PhoneUrl)
    ->Arg(16)
    ->Arg(64)
    ->Arg(256)
    ->Iterations(5)
    ->Unit(benchmark::kSecond);

// Resident memory of a process in MB; 0 when it has gone.
double ResidentMb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024;
    return 0;
}

// Fetches at the phone URL with an upload as the guest every tenth request. Each wrk
// thread has its own Lua state, so the answers are counted per thread and added up in
// done(), which runs in yet another one. An upload is known by its answer: a fetch brings
// the logo's JPEG bytes. Failing statuses are wrk's own count, so only 200s are looked at.
std::string MixedScript(const std::string& bodyFile, const std::string& phonePath)
{
    return "local file = assert(io.open(\"" + bodyFile +
           "\", \"rb\"))\n"
           "local uploadBody = file:read(\"*a\")\n"
           "file:close()\n"
           "local threads = {}\n"
           "function setup(thread)\n"
           "  table.insert(threads, thread)\n"
           "end\n"
           "function init(args)\n"
           "  sent, uploads, failed = 0, 0, 0\n"
           "  fetch = wrk.format(\"GET\", \"" +
           phonePath +
           "\")\n"
           "  upload = wrk.format(\"POST\", \"/upload.php\", {[\"Host\"] = wrk.headers[\"Host\"],\n"
           "    [\"Content-Type\"] = \"multipart/form-data; boundary=" +
           kUploadBoundary +
           "\"}, uploadBody)\n"
           "end\n"
           "function request()\n"
           "  sent = sent + 1\n"
           "  if sent % " +
           std::to_string(kUploadEvery) +
           " == 0 then return upload end\n"
           "  return fetch\n"
           "end\n"
           "function response(status, headers, body)\n"
           "  if status ~= 200 then return end\n"
           "  if body:sub(1, 3) == \"\\255\\216\\255\" then\n"
           "    if #body ~= " +
           std::to_string(kLogoBytes) +
           " then failed = failed + 1 end\n"
           "  else\n"
           "    uploads = uploads + 1\n"
           "    if body:match(\"^[^\\r\\n]*\") ~= \"SUCCESS\" then failed = failed + 1 end\n"
           "  end\n"
           "end\n"
           "function done(summary, latency, requests)\n"
           "  local u, f = 0, 0\n"
           "  for _, t in ipairs(threads) do\n"
           "    u = u + t:get(\"uploads\")\n"
           "    f = f + t:get(\"failed\")\n"
           "  end\n"
           "  io.write(string.format(\"mixed answers: uploads %d failed %d\\n\", u, f))\n"
           "end\n";
}

int MixedSeconds()
{
    const char* text = std::getenv("QUILLON_BENCH_MIXED_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 60;
    return std::clamp(seconds > 0 ? seconds : 60, 1, 3600);
}

void BM_MixedLoad(benchmark::State& state)
{
    if (!Ready(state))
        return;
    TPeers& peers = Peers();
    const fs::path bodyFile = peers.Dir() / "mixed-upload.body";
    const fs::path script = peers.Dir() / "mixed.lua";
    std::ofstream(bodyFile, std::ios::binary) << UploadBody(peers.logo);
    std::ofstream(script) << MixedScript(bodyFile.string(), peers.phonePath);
    const int seconds = MixedSeconds();
    for (auto _ : state) {
        const pid_t pid = peers.ServicePid();
        const double rssStart = ResidentMb(pid);
        double rssMax = rssStart;
        TWrk w = RunWrk(kMixedConnections, seconds, Url(peers.servicePort, peers.phonePath), script.string(),
                        [&] { rssMax = std::max(rssMax, ResidentMb(pid)); });
        const double rssEnd = ResidentMb(pid);
        rssMax = std::max(rssMax, rssEnd);
        long uploads = 0, failed = 0;
        const size_t line = w.output.find("mixed answers:");
        if (line == std::string::npos ||
            std::sscanf(w.output.c_str() + line, "mixed answers: uploads %ld failed %ld", &uploads, &failed) != 2)
            failed = 0; // wrk did not get to done(): its socket errors already stand for the run
        const long errors = w.Errors() + failed;
        state.counters["rps"] = w.rps;
        state.counters["upload_rps"] = static_cast<double>(uploads) / seconds;
        state.counters["p99_ms"] = w.p99Ms;
        state.counters["errors"] = static_cast<double>(errors);
        state.counters["rss_start_mb"] = rssStart;
        state.counters["rss_end_mb"] = rssEnd;
        state.counters["rss_max_mb"] = rssMax;
        summary.rows.push_back(Format("mixed load, %d s: %8.0f rps (%.0f uploads/s), p99 %.2f ms, errors %ld, "
                                      "RSS %.1f -> %.1f MB (max %.1f)",
                                      seconds, w.rps, static_cast<double>(uploads) / seconds, w.p99Ms, errors,
                                      rssStart, rssEnd, rssMax));
    }
}
BENCHMARK(BM_MixedLoad)->Iterations(1)->Unit(benchmark::kSecond);

// Clients that open a request and never finish its header: a line every 2 s, never the
// blank line. They run on a thread of their own, all on one poll().
class TSlowClients {
public:
    TSlowClients(int port, std::string requestLine) : port_(port), requestLine_(std::move(requestLine))
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~TSlowClients()
    {
        stop_ = true;
        thread_.join();
        for (const TClient& c : clients_)
            if (c.fd >= 0)
                close(c.fd);
    }
    TSlowClients(const TSlowClients&) = delete;
    TSlowClients& operator=(const TSlowClients&) = delete;

    // Waits until every client has connected or failed to, for at most `limit`.
    void WaitConnected(std::chrono::milliseconds limit) const
    {
        const auto deadline = TClock::now() + limit;
        while (!started_ || connecting_ > 0) {
            if (TClock::now() >= deadline)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    int Open() const { return open_; }
    int Connected() const { return connected_; }

private:
    enum class EState { Connecting, Open, Closed };
    struct TClient {
        int fd = -1;
        EState state = EState::Connecting;
        int lines = 0;
        TClock::time_point next;
    };

    void Start()
    {
        for (int i = 0; i < kSlowClients; ++i) {
            TClient c;
            c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (c.fd < 0) {
                c.state = EState::Closed;
                clients_.push_back(c);
                continue;
            }
            int one = 1;
            // The port is picked at connect(), so 40 addresses share the ephemeral range.
            setsockopt(c.fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof one);
            sockaddr_in source{};
            source.sin_family = AF_INET;
            source.sin_addr.s_addr = htonl(INADDR_LOOPBACK + 1 + static_cast<uint32_t>(i / kSlowPerSource));
            sockaddr_in server{};
            server.sin_family = AF_INET;
            server.sin_port = htons(static_cast<uint16_t>(port_));
            server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (bind(c.fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
                (connect(c.fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0 && errno != EINPROGRESS)) {
                close(c.fd);
                c.fd = -1;
                c.state = EState::Closed;
            } else {
                ++connecting_;
            }
            clients_.push_back(c);
        }
        started_ = true;
    }

    void Send(TClient& c, TClock::time_point now)
    {
        const std::string line = c.lines == 0   ? requestLine_
                                 : c.lines == 1 ? std::string("Host: 127.0.0.1\r\n")
                                                : "X-Slow-" + std::to_string(c.lines) + ": waiting\r\n";
        if (send(c.fd, line.data(), line.size(), MSG_NOSIGNAL) < 0 && errno != EAGAIN) {
            Close(c);
            return;
        }
        ++c.lines;
        c.next = now + kSlowLineEvery;
    }

    void Close(TClient& c)
    {
        if (c.state == EState::Open)
            --open_;
        if (c.state == EState::Connecting)
            --connecting_;
        c.state = EState::Closed;
        close(c.fd);
        c.fd = -1;
    }

    void Run()
    {
        Start();
        std::vector<pollfd> fds;
        std::vector<size_t> which;
        while (!stop_) {
            fds.clear();
            which.clear();
            for (size_t i = 0; i < clients_.size(); ++i) {
                if (clients_[i].state == EState::Closed)
                    continue;
                fds.push_back({clients_[i].fd, static_cast<short>(clients_[i].state == EState::Connecting ? POLLOUT
                                                                                                          : POLLIN),
                               0});
                which.push_back(i);
            }
            poll(fds.data(), fds.size(), 50);
            const auto now = TClock::now();
            for (size_t k = 0; k < fds.size(); ++k) {
                TClient& c = clients_[which[k]];
                if (fds[k].revents == 0)
                    continue;
                if (c.state == EState::Connecting) {
                    int error = 0;
                    socklen_t length = sizeof error;
                    getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &length);
                    if (error != 0) {
                        Close(c);
                        continue;
                    }
                    --connecting_;
                    ++connected_;
                    ++open_;
                    c.state = EState::Open;
                    Send(c, now);
                    continue;
                }
                // An answer (a timeout's 408, say) is read and dropped; the end of the
                // stream or a reset is the server letting go.
                char chunk[4096];
                const ssize_t n = recv(c.fd, chunk, sizeof chunk, 0);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                    Close(c);
            }
            for (TClient& c : clients_)
                if (c.state == EState::Open && c.next <= now)
                    Send(c, now);
        }
    }

    const int port_;
    const std::string requestLine_;
    std::vector<TClient> clients_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> started_{false};
    std::atomic<int> connecting_{0}, connected_{0}, open_{0};
};

// One fetch on a fresh connection, as a phone arriving would make; -1 when it failed or
// did not end within the timeout.
double FetchMs(int port, const std::string& request)
{
    const auto start = TClock::now();
    const auto deadline = start + std::chrono::seconds(kTimeoutSeconds);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(port));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto waitFor = [&](short events) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
        pollfd p{fd, events, 0};
        return left > 0 && poll(&p, 1, static_cast<int>(left)) > 0;
    };
    const bool pending = connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0;
    bool ok = !pending || errno == EINPROGRESS;
    if (ok && pending) {
        int error = 0;
        socklen_t length = sizeof error;
        ok = waitFor(POLLOUT) && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    for (size_t done = 0; ok && done < request.size();) {
        const ssize_t n = send(fd, request.data() + done, request.size() - done, MSG_NOSIGNAL);
        if (n > 0)
            done += static_cast<size_t>(n);
        else
            ok = n < 0 && errno == EAGAIN && waitFor(POLLOUT);
    }
    std::string answer;
    size_t headerEnd = std::string::npos, length = 0;
    while (ok) {
        if (headerEnd == std::string::npos && (headerEnd = answer.find("\r\n\r\n")) != std::string::npos) {
            std::string head = answer.substr(0, headerEnd);
            for (char& c : head)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const size_t at = head.find("content-length:");
            length = at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 15, nullptr, 10);
        }
        if (headerEnd != std::string::npos && answer.size() >= headerEnd + 4 + length)
            break;
        char chunk[65536];
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n > 0)
            answer.append(chunk, static_cast<size_t>(n));
        else
            ok = n < 0 && errno == EAGAIN && waitFor(POLLIN);
    }
    close(fd);
    if (!ok || answer.size() < 12 || answer.compare(9, 3, "200") != 0 || length != kLogoBytes)
        return -1;
    return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

struct TSlowFigures {
    double p50Ms = kTimeoutMs, p99Ms = kTimeoutMs;
    long errors = 0;
    int connected = 0, open = 0;
};

// A failed or timed-out fetch counts as the timeout in the percentiles: it took at least
// that long for the phone.
double Percentile(std::vector<double> values, double q)
{
    if (values.empty())
        return kTimeoutMs;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(q * static_cast<double>(values.size())))];
}

TSlowFigures UnderSlowClients(int port, const std::string& path)
{
    TSlowFigures f;
    TSlowClients slow(port, "GET " + path + " HTTP/1.1\r\n");
    slow.WaitConnected(std::chrono::seconds(10));
    const auto held = TClock::now();
    std::this_thread::sleep_for(kSlowSettle);
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    std::vector<double> ms;
    const auto probeEnd = TClock::now() + kProbeTime;
    while (static_cast<int>(ms.size()) < kProbeRequests && TClock::now() < probeEnd) {
        const double one = FetchMs(port, request);
        if (one < 0)
            ++f.errors;
        ms.push_back(one < 0 ? kTimeoutMs : one);
    }
    f.p50Ms = Percentile(ms, 0.5);
    f.p99Ms = Percentile(ms, 0.99);
    std::this_thread::sleep_until(held + kSlowHold);
    f.connected = slow.Connected();
    f.open = slow.Open();
    return f;
}

void BM_SlowConnections(benchmark::State& state)
{
    if (!Ready(state))
        return;
    TPeers& peers = Peers();
    // The slow clients, the probe and a little more, and the same again at each server.
    if (RaiseFileLimit() < static_cast<rlim_t>(kSlowClients + 200)) {
        state.SkipWithError("the open-file limit is too low for 1,000 connections");
        return;
    }
    for (auto _ : state) {
        const TSlowFigures ours = UnderSlowClients(peers.servicePort, peers.phonePath);
        // Time for the service to let go of the closed connections before nginx's turn.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const TSlowFigures nginx = UnderSlowClients(peers.nginxPort, "/logo.jpg");
        state.counters["p50_ms"] = ours.p50Ms;
        state.counters["p99_ms"] = ours.p99Ms;
        state.counters["errors"] = static_cast<double>(ours.errors);
        state.counters["slow_connected"] = ours.connected;
        state.counters["slow_open"] = ours.open;
        state.counters["nginx_p50_ms"] = nginx.p50Ms;
        state.counters["nginx_p99_ms"] = nginx.p99Ms;
        state.counters["nginx_errors"] = static_cast<double>(nginx.errors);
        state.counters["nginx_slow_open"] = nginx.open;
        summary.rows.push_back(Format("1,000 slow clients: probe p50 %.2f ms, p99 %.2f ms, errors %ld, slow clients "
                                      "held %d of %d (nginx: p50 %.2f ms, p99 %.2f ms, errors %ld, held %d of %d)",
                                      ours.p50Ms, ours.p99Ms, ours.errors, ours.open, ours.connected, nginx.p50Ms,
                                      nginx.p99Ms, nginx.errors, nginx.open, nginx.connected));
    }
}
BENCHMARK(BM_SlowConnections)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
