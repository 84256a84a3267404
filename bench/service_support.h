#pragma once

// The reference service and nginx on loopback, both serving the same 20 KB logo, for the
// service benchmarks. Both run from a temporary folder that goes away with them; their
// output goes to log files there, so a chatty server never blocks on a full pipe. Every
// child dies with this process (PR_SET_PDEATHSIG), so a benchmark that crashes leaves no
// server behind.
// Install nginx with bench/setup.sh.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quillon::bench {

inline constexpr size_t kLogoBytes = 20 * 1024;
inline constexpr const char* kUploadBoundary = "----quillonbench";

// A 20 KB file that starts like a JPEG (the service checks only the first bytes).
inline std::string Logo()
{
    std::string bytes(kLogoBytes, '\0');
    std::mt19937 random(7);
    for (char& c : bytes)
        c = static_cast<char>(random());
    bytes[0] = '\xFF', bytes[1] = '\xD8', bytes[2] = '\xFF';
    return bytes;
}

inline int FreePort()
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

// Raises this process's open-file limit to its hard limit; the servers started afterwards
// inherit it. Returns the new soft limit.
inline rlim_t RaiseFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur != limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur;
}

// One keep-alive connection that sends a request and reads its whole answer.
class TConnection {
public:
    explicit TConnection(int port, int timeoutSeconds = 10)
    {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        timeval tv{timeoutSeconds, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(fd_);
            throw std::runtime_error("cannot connect");
        }
    }
    ~TConnection() { close(fd_); }
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    // The status of the answer, after reading its body in full; 0 on a broken connection.
    int Exchange(const std::string& request, std::string* body = nullptr)
    {
        for (size_t done = 0; done < request.size();) {
            ssize_t n = send(fd_, request.data() + done, request.size() - done, MSG_NOSIGNAL);
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
        int status = buf_.size() > 12 ? std::atoi(buf_.substr(9, 3).c_str()) : 0;
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

// Starts a program with its output going to `outFd` (a file or a pipe's end). The child
// gets SIGTERM when this process dies, however it dies.
inline pid_t Spawn(const std::vector<std::string>& args, int outFd)
{
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        if (devNull > 2)
            close(devNull);
        dup2(outFd, 1);
        dup2(outFd, 2);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// SIGTERM, then SIGKILL when the child has not gone within `grace`.
inline void Stop(pid_t pid, std::chrono::milliseconds grace = std::chrono::seconds(5))
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (waitpid(pid, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

struct TRun {
    bool finished = false; // exited by itself before the deadline
    int status = -1;       // its exit code when it finished
    std::string output;    // standard output and error together
};

// Runs a program to its end or to `limit`, whichever comes first (then it is killed),
// collecting its output. `tick` runs about once a second meanwhile.
inline TRun RunBounded(const std::vector<std::string>& args, std::chrono::milliseconds limit,
                       const std::function<void()>& tick = {})
{
    TRun run;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return run;
    const pid_t pid = Spawn(args, fds[1]);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return run;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + limit;
    auto nextTick = start + std::chrono::seconds(1);
    bool open = true;
    while (open) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            break;
        if (tick && now >= nextTick) {
            tick();
            nextTick += std::chrono::seconds(1);
        }
        const auto until = std::min(deadline, tick ? nextTick : deadline);
        const int wait = static_cast<int>(
            std::max<long long>(1, std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count()));
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, wait) > 0) {
            char chunk[4096];
            ssize_t n = read(fds[0], chunk, sizeof chunk);
            if (n > 0)
                run.output.append(chunk, static_cast<size_t>(n));
            else if (n == 0 || errno != EINTR)
                open = false;
        }
    }
    close(fds[0]);
    if (open) {
        Stop(pid, std::chrono::milliseconds(500));
        return run;
    }
    // Its output is closed, so it is ending: still bounded, in case it lingers.
    const auto grace = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int status = 0;
    pid_t waited;
    while ((waited = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < grace)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (waited == pid) {
        run.finished = true;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else {
        Stop(pid, std::chrono::milliseconds(500));
    }
    return run;
}

inline bool WaitForPort(int port)
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

inline std::string GetRequest(const std::string& path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: bench\r\nAccept: */*\r\n\r\n";
}

// The multipart body of the program's upload of `logo` as the guest.
inline std::string UploadBody(const std::string& logo)
{
    const std::string boundary = kUploadBoundary;
    std::string body;
    auto field = [&](const char* name, const std::string& value) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    };
    field("login", "guest");
    field("password", "guest");
    body += "--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"logofile\"; filename=\"/home/u/Temp/logo.jpg\"\r\n"
            "Content-Type: image/unknown\r\n\r\n" +
            logo + "\r\n--" + boundary + "--\r\n";
    return body;
}

inline std::string UploadRequest(const std::string& logo)
{
    const std::string body = UploadBody(logo);
    return "POST /upload.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=" +
           std::string(kUploadBoundary) + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct TPeerOptions {
    // Given to the service after its data folder, address, port and --quiet.
    std::vector<std::string> serviceArgs;
    // nginx's worker_connections, per worker.
    int nginxConnections = 256;
};

// Both servers, started together and stopped when this object goes.
class TPeers {
public:
    std::string error;
    int servicePort = 0;
    int nginxPort = 0;
    std::string phonePath; // the phone URL's path and query on the service
    std::string logo = Logo();

    explicit TPeers(TPeerOptions options = {}) : options_(std::move(options))
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quillon-bench-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) {
            error = "cannot make a temporary folder";
            return;
        }
        dir_ = tmpl;
        // nginx's workers drop root rights and must still read the file.
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all | std::filesystem::perms::group_exec |
                                               std::filesystem::perms::others_exec);
        StartService();
        if (error.empty())
            StartNginx();
    }

    ~TPeers()
    {
        Stop(servicePid_);
        Stop(nginxPid_);
        std::error_code ec;
        if (!dir_.empty())
            std::filesystem::remove_all(dir_, ec);
    }
    TPeers(const TPeers&) = delete;
    TPeers& operator=(const TPeers&) = delete;

    pid_t ServicePid() const { return servicePid_; }
    const std::filesystem::path& Dir() const { return dir_; }
    std::string UploadRequest() const { return bench::UploadRequest(logo); }

    // The end of the service's log, for a failure's message.
    std::string ServiceLogTail(size_t bytes = 2000) const
    {
        std::ifstream in(dir_ / "service.log", std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        std::string text = all.str();
        return text.size() > bytes ? text.substr(text.size() - bytes) : text;
    }

private:
    int OpenLog(const char* name) const
    {
        return open((dir_ / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }

    void StartService()
    {
        servicePort = FreePort();
        std::vector<std::string> args = {QUILLON_SERVICE_EXE, "--data", (dir_ / "data").string(), "--listen",
                                         "127.0.0.1", "--port", std::to_string(servicePort), "--quiet"};
        args.insert(args.end(), options_.serviceArgs.begin(), options_.serviceArgs.end());
        int log = OpenLog("service.log");
        servicePid_ = Spawn(args, log);
        close(log);
        if (!WaitForPort(servicePort)) {
            error = "quillon-service did not start: " + ServiceLogTail();
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
        namespace fs = std::filesystem;
        fs::path www = dir_ / "www";
        fs::create_directories(www);
        fs::permissions(www, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                                 fs::perms::group_read | fs::perms::others_read);
        std::ofstream(www / "logo.jpg", std::ios::binary) << logo;
        fs::permissions(www / "logo.jpg", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                              fs::perms::others_read);
        nginxPort = FreePort();
        const std::string d = dir_.string();
        // Each connection takes a file for its socket and, while a file is sent, one more.
        std::ofstream(dir_ / "nginx.conf")
            << "daemon off;\nworker_processes auto;\nworker_rlimit_nofile " << 2 * options_.nginxConnections + 64
            << ";\npid " << d << "/nginx.pid;\nerror_log " << d << "/error.log;\nevents { worker_connections "
            << options_.nginxConnections << "; }\nhttp {\n access_log off;\n"
            << " client_body_temp_path " << d << "/body;\n proxy_temp_path " << d << "/proxy;\n"
            << " fastcgi_temp_path " << d << "/fastcgi;\n uwsgi_temp_path " << d << "/uwsgi;\n"
            << " scgi_temp_path " << d << "/scgi;\n keepalive_requests 100000;\n"
            << " types { image/jpeg jpg; }\n"
            << " server { listen 127.0.0.1:" << nginxPort << "; root " << www.string() << "; }\n}\n";
        const char* nginx = fs::exists("/usr/sbin/nginx") ? "/usr/sbin/nginx" : "nginx";
        int log = OpenLog("nginx.log");
        nginxPid_ = Spawn({nginx, "-e", d + "/error.log", "-p", d, "-c", d + "/nginx.conf"}, log);
        close(log);
        if (!WaitForPort(nginxPort)) {
            error = "nginx did not start: run bench/setup.sh";
            return;
        }
        std::string served;
        TConnection c(nginxPort);
        if (c.Exchange(GetRequest("/logo.jpg"), &served) != 200 || served != logo)
            error = "nginx does not serve the logo";
    }

    TPeerOptions options_;
    std::filesystem::path dir_;
    pid_t servicePid_ = -1, nginxPid_ = -1;
};

} // namespace quillon::bench
