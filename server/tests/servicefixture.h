#pragma once

// The service started in-process on 127.0.0.1 (a free port) over a fresh data folder, or
// over the config's own one to start again on the same data.
#include "core/credentials.h"
#include "core/service.h"
#include "support/tempdir.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon::server::test {

class TRunningService {
public:
    // prepareData runs on the data folder's path before the service opens it.
    explicit TRunningService(TServiceConfig config = {},
                             const std::function<void(const std::filesystem::path&)>& prepareData = {})
    {
        InitCredentials();
        if (config.dataDir.empty())
            config.dataDir = dir_.Path() / "data";
        dataDir_ = config.dataDir;
        if (prepareData)
            prepareData(config.dataDir);
        config.listenAddress = "127.0.0.1";
        config.port = 0;
        if (config.currentVersion.empty())
            config.currentVersion = "1.1.2";
        service_ = std::make_unique<TService>(config, [this](const std::string& line) {
            std::lock_guard lock(logMutex_);
            log_.push_back(line);
        });
        port_ = service_->Bind();
        thread_ = std::thread([this] { service_->Run(); });
    }
    ~TRunningService()
    {
        service_->Stop();
        thread_.join();
    }

    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    int Port() const { return port_; }
    std::string PublicUrl() const { return service_->PublicUrl(); }
    TStore& Store() { return service_->Store(); }
    // The data folder: the SQLite store and the outbox, or the outbox alone beside a
    // PostgreSQL store.
    const std::filesystem::path& DataDir() const { return dataDir_; }
    httplib::Client Client() const
    {
        httplib::Client c("127.0.0.1", port_);
        c.set_read_timeout(30);
        return c;
    }
    void AddMember(const std::string& login, const std::string& password, bool confirmed = true)
    {
        Store().AddAccount(login, HashPassword(password), login + "@example.org", confirmed);
    }
    std::vector<std::string> Log() const
    {
        std::lock_guard lock(logMutex_);
        return log_;
    }
    // The access log line of a request is written after its answer has gone out.
    bool WaitForLog(const std::string& text) const
    {
        for (int i = 0; i < 500; ++i) {
            for (const std::string& line : Log())
                if (line.find(text) != std::string::npos)
                    return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // The mails in the outbox, oldest first.
    std::vector<std::string> Outbox() const;

private:
    quillon::test::TTempDir dir_;
    std::filesystem::path dataDir_;
    std::unique_ptr<TService> service_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex logMutex_;
    std::vector<std::string> log_;
};

inline std::vector<std::string> TRunningService::Outbox() const
{
    std::vector<std::filesystem::path> files;
    std::filesystem::path outbox = DataDir() / "outbox";
    if (std::filesystem::exists(outbox))
        for (const auto& e : std::filesystem::directory_iterator(outbox))
            if (e.path().extension() == ".eml")
                files.push_back(e.path());
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
        return std::filesystem::last_write_time(a) < std::filesystem::last_write_time(b);
    });
    std::vector<std::string> mails;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        mails.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return mails;
}

// The picture identifier of the first phone URL in an answer: what follows "?id=" up
// to the end of its line.
inline std::string IdIn(const std::string& answer)
{
    size_t at = answer.find("?id=");
    if (at == std::string::npos)
        return "";
    at += 4;
    return answer.substr(at, answer.find_first_of("\r\n", at) - at);
}

// Sends the raw request to 127.0.0.1:port from the source address given (any loopback
// address) and returns all that comes back.
inline std::string RawExchange(int port, const std::string& request, const char* source = "127.0.0.1")
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{15, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string answer;
    if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
        connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        (void)!write(fd, request.data(), request.size());
        // A request that asks to close is answered in full before the server closes;
        // others get the end of their input instead.
        if (request.find("\r\nConnection: close\r\n") == std::string::npos)
            shutdown(fd, SHUT_WR);
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0)
            answer.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return answer;
}

// A form post from the loopback address given, answered in full: its status and body.
struct TRawAnswer {
    int status = 0;
    std::string head;
    std::string body;
};

inline TRawAnswer PostFrom(int port, const std::string& source, const std::string& path, const std::string& form)
{
    std::string raw = RawExchange(port,
                                  "POST " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                  "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                      std::to_string(form.size()) + "\r\n\r\n" + form,
                                  source.c_str());
    TRawAnswer a;
    if (raw.rfind("HTTP/1.1 ", 0) == 0)
        a.status = std::stoi(raw.substr(9, 3));
    size_t end = raw.find("\r\n\r\n");
    a.head = raw.substr(0, end);
    a.body = end == std::string::npos ? "" : raw.substr(end + 4);
    return a;
}

// A small JPEG-looking file: the service checks the first bytes only.
inline std::string FakeJpeg(const std::string& tag)
{
    return std::string("\xFF\xD8\xFF\xE0", 4) + "logo " + tag + std::string("\0\r\n\xFF\xD9", 5);
}

} // namespace quillon::server::test
