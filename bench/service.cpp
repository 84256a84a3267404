// The reference service on loopback beside nginx serving the same file statically:
// requests per second for a phone fetching a 20 KB logo at its phone URL, and for
// uploads of that logo. Both servers are started here on 127.0.0.1 and stopped at the
// end; each batch is a fixed number of requests over four keep-alive connections, and
// the two servers take turns batch by batch, so both see the same machine load.
// Counters: rps (median of the batches), nginx_rps, x_nginx = rps / nginx_rps.
// Install nginx with bench/setup.sh.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kConnections = 4;
constexpr size_t kLogoBytes = 20 * 1024;

// A 20 KB file that starts like a JPEG (the service checks only the first bytes).
std::string Logo()
{
    std::string bytes(kLogoBytes, '\0');
    std::mt19937 random(7);
    for (char& c : bytes)
        c = static_cast<char>(random());
    bytes[0] = '\xFF', bytes[1] = '\xD8', bytes[2] = '\xFF';
    return bytes;
}

int FreePort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// One keep-alive connection that sends a request and reads its whole answer.
class TConnection {
public:
    explicit TConnection(int port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        timeval tv{10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("cannot connect");
    }
    ~TConnection() { close(fd_); }

    // The status of the answer, after reading its body in full; 0 on a broken connection.
    int Exchange(const std::string& request, std::string* body = nullptr)
    {
        for (size_t done = 0; done < request.size();) {
            ssize_t n = write(fd_, request.data() + done, request.size() - done);
            if (n <= 0)
                return 0;
            done += static_cast<size_t>(n);
        }
        size_t headerEnd;
        while ((headerEnd = buf_.find("\r\n\r\n")) == std::string::npos)
            if (!Fill())
                return 0;
        std::string head = buf_.substr(0, headerEnd);
        for (char& c : head)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        size_t cl = head.find("content-length:");
        size_t length = cl == std::string::npos ? 0 : std::stoul(head.substr(cl + 15));
        while (buf_.size() < headerEnd + 4 + length)
            if (!Fill())
                return 0;
        if (body)
            *body = buf_.substr(headerEnd + 4, length);
        int status = std::stoi(buf_.substr(9, 3));
        buf_.erase(0, headerEnd + 4 + length);
        return status;
    }

private:
    bool Fill()
    {
        char chunk[65536];
        ssize_t n = read(fd_, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        buf_.append(chunk, static_cast<size_t>(n));
        return true;
    }
    int fd_;
    std::string buf_;
};

pid_t Spawn(const std::vector<std::string>& args, int* outFd)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    *outFd = fds[0];
    return pid;
}

bool WaitForPort(int port)
{
    for (int i = 0; i < 100; ++i) {
        try {
            TConnection c(port);
            return true;
        } catch (const std::exception&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    return false;
}

// Both servers, started once for the whole run and stopped when the program ends.
class TPeers {
public:
    static TPeers& Get()
    {
        static TPeers peers;
        return peers;
    }
    std::string error;
    int servicePort = 0;
    int nginxPort = 0;
    std::string phonePath;  // the phone URL's path and query on the service
    std::string logo = Logo();

    ~TPeers()
    {
        for (pid_t pid : {servicePid_, nginxPid_}) {
            if (pid > 0) {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
        for (int fd : {serviceOut_, nginxOut_})
            if (fd >= 0)
                close(fd);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

private:
    TPeers()
    {
        std::string tmpl = (fs::temp_directory_path() / "quillon-bench-XXXXXX").string();
        dir_ = mkdtemp(tmpl.data());
        // nginx's workers drop root rights and must still read the file.
        fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        StartService();
        if (error.empty())
            StartNginx();
    }

    void StartService()
    {
        servicePort = FreePort();
        servicePid_ = Spawn({QUILLON_SERVICE_EXE, "--data", (dir_ / "data").string(), "--listen", "127.0.0.1",
                             "--port", std::to_string(servicePort), "--quiet"},
                            &serviceOut_);
        if (!WaitForPort(servicePort)) {
            error = "quillon-service did not start";
            return;
        }
        TConnection c(servicePort);
        std::string body;
        if (c.Exchange(UploadRequest(), &body) != 200 || body.find("?id=") == std::string::npos) {
            error = "the first upload failed: " + body;
            return;
        }
        size_t path = body.find("/guest/?id=");
        phonePath = body.substr(path, body.find('\r', path) - path);
        std::string served;
        if (c.Exchange(GetRequest(phonePath), &served) != 200 || served != logo)
            error = "the phone URL does not serve the logo";
    }

    void StartNginx()
    {
        fs::path www = dir_ / "www";
        fs::create_directories(www);
        fs::permissions(www, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                                 fs::perms::group_read | fs::perms::others_read);
        std::ofstream(www / "logo.jpg", std::ios::binary) << logo;
        fs::permissions(www / "logo.jpg", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                              fs::perms::others_read);
        nginxPort = FreePort();
        std::string d = dir_.string();
        std::ofstream(dir_ / "nginx.conf")
            << "daemon off;\nworker_processes auto;\npid " << d << "/nginx.pid;\nerror_log " << d
            << "/error.log;\nevents { worker_connections 256; }\nhttp {\n access_log off;\n"
            << " client_body_temp_path " << d << "/body;\n proxy_temp_path " << d << "/proxy;\n"
            << " fastcgi_temp_path " << d << "/fastcgi;\n uwsgi_temp_path " << d << "/uwsgi;\n"
            << " scgi_temp_path " << d << "/scgi;\n keepalive_requests 100000;\n"
            << " types { image/jpeg jpg; }\n"
            << " server { listen 127.0.0.1:" << nginxPort << "; root " << www.string() << "; }\n}\n";
        const char* nginx = fs::exists("/usr/sbin/nginx") ? "/usr/sbin/nginx" : "nginx";
        nginxPid_ = Spawn({nginx, "-e", d + "/error.log", "-p", d, "-c", d + "/nginx.conf"}, &nginxOut_);
        if (!WaitForPort(nginxPort)) {
            error = "nginx did not start: run bench/setup.sh";
            return;
        }
        std::string served;
        TConnection c(nginxPort);
        if (c.Exchange(GetRequest("/logo.jpg"), &served) != 200 || served != logo)
            error = "nginx does not serve the logo";
    }

public:
    static std::string GetRequest(const std::string& path)
    {
        return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: bench\r\nAccept: */*\r\n\r\n";
    }
    std::string UploadRequest() const
    {
        const std::string boundary = "----quillonbench";
        std::string body;
        auto field = [&](const char* name, const std::string& value) {
            body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value +
                    "\r\n";
        };
        field("login", "guest");
        field("password", "guest");
        body += "--" + boundary +
                "\r\nContent-Disposition: form-data; name=\"logofile\"; filename=\"/home/u/Temp/logo.jpg\"\r\n"
                "Content-Type: image/unknown\r\n\r\n" +
                logo + "\r\n--" + boundary + "--\r\n";
        return "POST /upload.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=" +
               boundary + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }

private:
    fs::path dir_;
    pid_t servicePid_ = -1, nginxPid_ = -1;
    int serviceOut_ = -1, nginxOut_ = -1;
};

// Requests per second of one batch over kConnections connections; 0 when any failed.
double Batch(int port, const std::string& request, int requests)
{
    std::vector<std::thread> threads;
    std::atomic<bool> failed{false};
    auto start = std::chrono::steady_clock::now();
    for (int t = 0; t < kConnections; ++t) {
        threads.emplace_back([&] {
            try {
                TConnection c(port);
                for (int i = 0; i < requests / kConnections; ++i)
                    if (c.Exchange(request) != 200)
                        failed = true;
            } catch (const std::exception&) {
                failed = true;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return failed ? 0.0 : requests / seconds;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void Compare(benchmark::State& state, const std::string& serviceRequest, int requests)
{
    TPeers& peers = TPeers::Get();
    if (!peers.error.empty()) {
        state.SkipWithError(peers.error.c_str());
        return;
    }
    const std::string nginxRequest = TPeers::GetRequest("/logo.jpg");
    std::vector<double> ours, nginx;
    for (auto _ : state) {
        double rate = Batch(peers.servicePort, serviceRequest, requests);
        double peer = Batch(peers.nginxPort, nginxRequest, requests);
        if (rate == 0 || peer == 0) {
            state.SkipWithError("a request failed");
            return;
        }
        state.SetIterationTime(requests / rate);
        ours.push_back(rate);
        nginx.push_back(peer);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * requests);
    state.counters["rps"] = Median(ours);
    state.counters["nginx_rps"] = Median(nginx);
    state.counters["x_nginx"] = Median(ours) / Median(nginx);
}

void BM_PhoneUrlGet20KB(benchmark::State& state)
{
    Compare(state, TPeers::GetRequest(TPeers::Get().phonePath), 4000);
}
BENCHMARK(BM_PhoneUrlGet20KB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(15);

void BM_Upload20KB(benchmark::State& state)
{
    Compare(state, TPeers::Get().UploadRequest(), 400);
}
BENCHMARK(BM_Upload20KB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);

} // namespace
